#include "server/operation_log.h"

#include "server/card_number_mask.h"

#include <QDate>
#include <QDir>
#include <QFile>

#include <algorithm>

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

void OperationLog::setEnabled(bool on) {
  enabled_ = on;
  if (!on) close();
}

void OperationLog::setBaseName(const QString& name) {
  baseName_ = name;
  close();
}

void OperationLog::setDirectory(const QString& directory) {
  directory_ = directory;
  close();
}

bool OperationLog::holds(const QString& path) const {
  // One look-up a line: a descriptor kept past a rename or delete would write where no
  // one reads.
  return file_.isOpen() && file_.fileName() == path && identity_ &&
         IdentityOfPath(path) == identity_;
}

void OperationLog::deleteFilesBefore(const QDate& oldestKept) const {
  const QDir directory(directory_.isEmpty() ? QStringLiteral(".") : directory_);
  const QString suffix = QStringLiteral(" - ") + baseName_;
  for (const QString& name : directory.entryList({QStringLiteral("*") + suffix}, QDir::Files)) {
    // Only "yyyymmdd - BASENAME" itself: another instance's log or any other file stays.
    if (name.size() != 8 + suffix.size() || !name.endsWith(suffix)) continue;
    if (!std::all_of(name.begin(), name.begin() + 8, [](QChar c) { return c.isDigit(); })) {
      continue;
    }
    const QDate day = QDate::fromString(name.left(8), QStringLiteral("yyyyMMdd"));
    if (day.isValid() && day < oldestKept) QFile::remove(directory.filePath(name));
  }
}

void OperationLog::open(const QString& path) {
  close();
  // The log holds bookers' names and addresses: for the server's user alone.
  constexpr QFileDevice::Permissions kOwnerOnly =
      QFileDevice::ReadOwner | QFileDevice::WriteOwner;
  constexpr QFileDevice::Permissions kOthers = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                               QFileDevice::ReadOther | QFileDevice::WriteOther;
  file_.setFileName(path);
  if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered,
                  kOwnerOnly)) {
    const QString error = file_.errorString();
    close();
    throw LogWriteError(QStringLiteral("cannot open the log file %1: %2").arg(path, error));
  }
  // A file made by an earlier version, or copied in, is closed to others.
  if (file_.permissions() & kOthers) file_.setPermissions(kOwnerOnly);
  identity_ = IdentityOfDescriptor(file_.handle());
}

void OperationLog::close() {
  file_.close();
  identity_.reset();
}

void OperationLog::write(const QString& message) {
  if (!enabled_) return;
  const QDateTime now = clock_();
  // Date and time are one value: at exactly midnight only the date is shown.
  QString line = now.date().toString(QStringLiteral("dd.MM.yyyy"));
  if (now.time() != QTime(0, 0)) line += u' ' + now.time().toString(QStringLiteral("HH:mm:ss"));
  line += QStringLiteral(" - ") + MaskCardNumbers(message) + QStringLiteral("\r\n");

  const QString path = filePathFor(now);
  if (!holds(path)) open(path);
  if (retentionDays_ > 0 && retainedOn_ != now.date()) {
    retainedOn_ = now.date();
    deleteFilesBefore(now.date().addDays(-retentionDays_));
  }
  const QByteArray bytes = line.toUtf8();
  if (file_.write(bytes) != bytes.size()) {
    const QString error = file_.errorString();
    close();
    throw LogWriteError(QStringLiteral("cannot write the log file %1: %2").arg(path, error));
  }
}

OperationLog& ProcessLog() {
  static OperationLog log;
  return log;
}

void WriteLogLine(const QString& message) { ProcessLog().write(message); }

}  // namespace taurelin
