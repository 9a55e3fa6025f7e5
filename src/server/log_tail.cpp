#include "server/log_tail.h"

#include "server/operation_log.h"

#include <QFile>

namespace taurelin {

LogTail::Text LogTail::read(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    throw LogWriteError(QStringLiteral("cannot open the log file %1: %2")
                            .arg(file.fileName(), file.errorString()));
  }
  const std::optional<FileIdentity> identity = IdentityOfDescriptor(file.handle());
  const bool same = path == path_ && identity && identity == identity_ && file.size() >= offset_;
  if (!same) {
    const QByteArray bytes = file.readAll();
    path_ = path;
    identity_ = identity;
    offset_ = bytes.size();
    return {true, QString::fromUtf8(bytes)};
  }
  if (!file.seek(offset_)) return {};
  const QByteArray added = file.readAll();
  // A line still being written by another program waits for the next read: a character or a
  // CR LF cut in two would not join up again in the view.
  const qsizetype end = added.lastIndexOf('\n') + 1;
  offset_ += end;
  return {false, QString::fromUtf8(added.first(end))};
}

void LogTail::reset() {
  path_.clear();
  identity_.reset();
  offset_ = 0;
}

}  // namespace taurelin
