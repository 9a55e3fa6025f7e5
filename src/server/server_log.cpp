#include "server/server_log.h"

#include "server/operation_log.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <sys/statvfs.h>

#include <utility>

namespace taurelin {
namespace {

std::optional<qint64> FreeBytes(const QString& folder) {
  struct statvfs disk {};
  if (::statvfs(QFile::encodeName(folder).constData(), &disk) != 0) return std::nullopt;
  return static_cast<qint64>(disk.f_bavail) * static_cast<qint64>(disk.f_frsize);
}

constexpr qint64 kMegabyte = 1024 * 1024;

}  // namespace

ServerLog::ServerLog(OperatorInterface& face, QSettings& settings, QString instance)
    : face_(face), settings_(settings), instance_(std::move(instance)), freeSpace_(FreeBytes) {
  summaryTimer_.setInterval(1000);
  summaryTimer_.callOnTimeout([this] { writeSummaries(); });
}

void ServerLog::nameFile() { ProcessLog().setBaseName(OperationLog::BaseNameFor(instance_)); }

void ServerLog::start(const ServerConfiguration& configuration) {
  logging_ = configuration.logging;
  face_.setLogfileChecked(logging_);
  OperationLog& operationLog = ProcessLog();
  operationLog.setRetentionDays(configuration.logRetentionDays);
  minFreeBytes_ = qint64{configuration.logMinFreeMB} * kMegabyte;
  guard_.setLinesPerSecond(configuration.logLinesPerSecond);
  operationLog.setEnabled(logging_);
}

void ServerLog::tell(const QString& message) {
  log(message);
  face_.showNotice(message);
}

void ServerLog::log(const QString& message) {
  try {
    WriteLogLine(message);
  } catch (const LogWriteError& error) {
    face_.showNotice(QStringLiteral("The log cannot be written: ") +
                     QString::fromStdString(error.what()));
  }
}

bool ServerLog::admitRequest(const QString& kind, int lines) {
  if (!logging_) return false;
  watchDisk();
  if (guard_.admit(kind, lines, QDateTime::currentMSecsSinceEpoch())) return true;
  if (guard_.pending() && !summaryTimer_.isActive()) summaryTimer_.start();
  return false;
}

void ServerLog::logRequest(const QString& kind, const QString& message) {
  if (admitRequest(kind, 1)) log(message);
}

QByteArray ServerLog::metrics() const {
  QByteArray text =
      "# HELP taurelin_log_unlogged_total Requests and connections not logged one by one: "
      "summed up in a flood (why=\"flood\") or left out while the log's disk is low "
      "(why=\"disk\").\n"
      "# TYPE taurelin_log_unlogged_total counter\n";
  const auto add = [&text](const QMap<QString, qint64>& totals, const char* why) {
    for (auto kind = totals.cbegin(); kind != totals.cend(); ++kind) {
      text += "taurelin_log_unlogged_total{kind=\"" +
              kind.key().toLower().replace(u' ', u'_').toUtf8() + "\",why=\"" + why + "\"} " +
              QByteArray::number(kind.value()) + '\n';
    }
  };
  add(guard_.unlogged(RequestLogGuard::Why::kFlood), "flood");
  add(guard_.unlogged(RequestLogGuard::Why::kLowDisk), "disk");
  text += "# HELP taurelin_log_disk_low 1 while the log's disk has less free space than "
          "LogMinFreeMB, so that requests are not logged.\n"
          "# TYPE taurelin_log_disk_low gauge\n"
          "taurelin_log_disk_low " + QByteArray(guard_.diskLow() ? "1" : "0") + '\n';
  return text;
}

void ServerLog::writeSummaries() {
  for (const QString& line : guard_.takeSummaries(QDateTime::currentMSecsSinceEpoch())) {
    log(line);
  }
  if (!guard_.pending()) summaryTimer_.stop();
}

void ServerLog::watchDisk() {
  if (minFreeBytes_ <= 0 || (diskLooked_.isValid() && diskLooked_.elapsed() < 1000)) return;
  diskLooked_.start();
  const QString folder = QFileInfo(ProcessLog().currentFilePath()).absolutePath();
  const std::optional<qint64> free = freeSpace_ ? freeSpace_(folder) : std::nullopt;
  if (!free) return;  // not to be told: the log goes on as it was
  const bool low = *free < minFreeBytes_;
  if (low == guard_.diskLow()) return;
  if (low) {
    // Told before the guard turns, so that the log has the reason as its last request-time line.
    tell(QStringLiteral("The log's disk (%1) has %2 MB free, less than LogMinFreeMB (%3): "
                        "requests are not logged until it has more; the server goes on serving")
             .arg(folder)
             .arg(*free / kMegabyte)
             .arg(minFreeBytes_ / kMegabyte));
    guard_.setDiskLow(true);
    return;
  }
  guard_.setDiskLow(false);
  qint64 unlogged = 0;
  for (const qint64 count : guard_.unlogged(RequestLogGuard::Why::kLowDisk)) unlogged += count;
  tell(QStringLiteral("The log's disk (%1) has %2 MB free again: requests are logged again "
                      "(%3 were not, since start)")
           .arg(folder)
           .arg(*free / kMegabyte)
           .arg(unlogged));
}

void ServerLog::toggleLogging() {
  logging_ = !logging_;
  if (!WriteLogSwitch(settings_, instance_, logging_)) {
    face_.showNotice(QStringLiteral("The log switch cannot be stored in ") + settings_.fileName());
  }
  face_.setLogfileChecked(logging_);
  ProcessLog().setEnabled(logging_);
}

void ServerLog::toggleLogView() {
  logViewShown_ = !logViewShown_;
  face_.setShowLogfileChecked(logViewShown_);
  if (!logViewShown_) {
    face_.hideLogView();
    return;
  }
  logTail_.reset();
  showLog();
}

void ServerLog::showLog() {
  const LogTail::Text read = logTail_.read(ProcessLog().currentFilePath());
  if (read.whole) {
    face_.showLogView(read.text);
  } else if (!read.text.isEmpty()) {
    face_.appendLogView(read.text);
  }
}

void ServerLog::refreshLogView() {
  if (!logViewShown_) return;
  try {
    showLog();
  } catch (const LogWriteError& error) {
    face_.showNotice(QString::fromStdString(error.what()));
  }
}

}  // namespace taurelin
