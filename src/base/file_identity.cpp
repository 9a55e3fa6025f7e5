#include "base/file_identity.h"

#include <QFile>

#include <sys/stat.h>

namespace taurelin {
namespace {

FileIdentity IdentityOf(const struct stat& status) {
  return {static_cast<unsigned long long>(status.st_dev),
          static_cast<unsigned long long>(status.st_ino)};
}

}  // namespace

std::optional<FileIdentity> IdentityOfPath(const QString& path) {
  struct stat status {};
  if (::stat(QFile::encodeName(path).constData(), &status) != 0) return std::nullopt;
  return IdentityOf(status);
}

std::optional<FileIdentity> IdentityOfDescriptor(int descriptor) {
  struct stat status {};
  if (descriptor < 0 || ::fstat(descriptor, &status) != 0) return std::nullopt;
  return IdentityOf(status);
}

}  // namespace taurelin
