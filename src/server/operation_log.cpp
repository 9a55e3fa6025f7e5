#include "server/operation_log.h"

#include "server/card_number_mask.h"

#include <QDir>
#include <QFile>

namespace taurelin {

QString OperationLog::BaseNameFor(const QString& instance) {
  return instance.isEmpty() ? QStringLiteral("API.LOG")
                            : QStringLiteral("API_") + instance + QStringLiteral(".LOG");
}

QString OperationLog::filePathFor(const QDateTime& when) const {
  const QString name = when.date().toString(QStringLiteral("yyyyMMdd")) +
                       QStringLiteral(" - ") + baseName_;
  return directory_.isEmpty() ? name : QDir(directory_).filePath(name);
}

QString OperationLog::currentFilePath() const { return filePathFor(clock_()); }

void OperationLog::write(const QString& message) const {
  if (!enabled_) return;
  const QDateTime now = clock_();
  // Date and time are one value: at exactly midnight only the date is shown.
  QString line = now.date().toString(QStringLiteral("dd.MM.yyyy"));
  if (now.time() != QTime(0, 0)) line += u' ' + now.time().toString(QStringLiteral("HH:mm:ss"));
  line += QStringLiteral(" - ") + MaskCardNumbers(message) + QStringLiteral("\r\n");

  // The log holds bookers' names and addresses: for the server's user alone.
  constexpr QFileDevice::Permissions kOwnerOnly =
      QFileDevice::ReadOwner | QFileDevice::WriteOwner;
  constexpr QFileDevice::Permissions kOthers = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                               QFileDevice::ReadOther | QFileDevice::WriteOther;
  QFile file(filePathFor(now));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append, kOwnerOnly)) {
    throw LogWriteError(QStringLiteral("cannot open the log file %1: %2")
                            .arg(file.fileName(), file.errorString()));
  }
  // A file made by an earlier version, or copied in, is closed to others once.
  if (checkedFile_ != file.fileName()) {
    if (file.permissions() & kOthers) file.setPermissions(kOwnerOnly);
    checkedFile_ = file.fileName();
  }
  const QByteArray bytes = line.toUtf8();
  const bool written = file.write(bytes) == bytes.size() && file.flush();
  if (!written) {
    throw LogWriteError(QStringLiteral("cannot write the log file %1: %2")
                            .arg(file.fileName(), file.errorString()));
  }
}

OperationLog& ProcessLog() {
  static OperationLog log;
  return log;
}

void WriteLogLine(const QString& message) { ProcessLog().write(message); }

}  // namespace taurelin
