#pragma once

// Which file a path names, or an open descriptor holds: two equal identities are one file.
// A file renamed or deleted by another program, and one made in its place, differ from it.

#include <QString>

#include <optional>

namespace taurelin {

struct FileIdentity {
  unsigned long long device = 0;
  unsigned long long inode = 0;

  bool operator==(const FileIdentity&) const = default;
};

// The file at `path`; nothing when no file can be looked up there.
std::optional<FileIdentity> IdentityOfPath(const QString& path);
// The file an open descriptor holds; nothing when it cannot be looked up.
std::optional<FileIdentity> IdentityOfDescriptor(int descriptor);

}  // namespace taurelin
