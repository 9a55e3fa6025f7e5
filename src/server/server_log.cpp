#include "server/server_log.h"

#include "server/operation_log.h"

#include <QSettings>

#include <utility>

namespace taurelin {

ServerLog::ServerLog(OperatorInterface& face, QSettings& settings, QString instance)
    : face_(face), settings_(settings), instance_(std::move(instance)) {}

void ServerLog::nameFile() { ProcessLog().setBaseName(OperationLog::BaseNameFor(instance_)); }

void ServerLog::start(const ServerConfiguration& configuration) {
  logging_ = configuration.logging;
  face_.setLogfileChecked(logging_);
  OperationLog& operationLog = ProcessLog();
  operationLog.setRetentionDays(configuration.logRetentionDays);
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
