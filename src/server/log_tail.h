#pragma once

// Follows the day's log file for the log view, so that the view takes in only what was
// added since it last read. The first read gives the whole file; each later read gives the
// complete lines appended since, until the file is another one: the next day's, one put in
// the place of the one read, or one shorter than what was read. Then the read gives the
// whole file again, marked as such.

#include "base/file_identity.h"

#include <QString>

#include <optional>

namespace taurelin {

class LogTail {
 public:
  struct Text {
    bool whole = false;  // the text is the whole file, not an addition to what was read
    QString text;
  };

  // Reads the file at `path`. Throws LogWriteError when it cannot be opened.
  Text read(const QString& path);
  // Forgets what was read: the next read gives the whole file.
  void reset();

 private:
  QString path_;
  std::optional<FileIdentity> identity_;
  qint64 offset_ = 0;  // how many of the file's bytes have been read
};

}  // namespace taurelin
