#pragma once

// The server's side of the operation log: the logging switch, the log view and the lines the
// other parts of the server log or tell.
//
// Promises: a line that cannot be written never ends what is being done; the operator is
// told instead, without waiting. The switch is stored for the next start (a switch that
// cannot be stored is told). While the view is shown it takes in only what was added to
// today's log since it last read, or the whole file when that is another one. Requests'
// lines go through a guard (RequestLogGuard): past a readable rate they are summed up once a
// second by kind, and while the log's disk has less free space than its floor they are not
// written at all; the operator is told once when that begins and once when it ends. The free
// space is looked at no more than once a second.

#include "server/configuration.h"
#include "server/log_tail.h"
#include "server/operator_interface.h"
#include "server/request_log_guard.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

class QSettings;

namespace taurelin {

class ServerLog {
 public:
  // `settings` keeps the switch, in the group of `instance`.
  ServerLog(OperatorInterface& face, QSettings& settings, QString instance);

  // Names the process's log file after the instance; before anything of start-up is logged.
  void nameFile();
  // Takes the switch and the retention from the configuration and shows the switch.
  void start(const ServerConfiguration& configuration);

  // Logs a line; a failure is told to the operator instead of ending what is being done.
  void log(const QString& message);
  // Logs a line and tells the operator without waiting (a notice).
  void tell(const QString& message);

  // Whether a request of `kind` may write its `lines` lines now (see above); when logging is
  // off, nothing is written and nothing is counted.
  bool admitRequest(const QString& kind, int lines);
  // Logs a request's one line when the guard admits it.
  void logRequest(const QString& kind, const QString& message);
  // For /metrics: the requests not logged one by one, by kind and why, and whether the log's
  // disk is below its floor.
  QByteArray metrics() const;

  // The free bytes of the disk that holds a folder (nothing when it cannot be told); tests
  // give their own.
  using FreeSpace = std::function<std::optional<qint64>(const QString& folder)>;
  void setFreeSpace(FreeSpace freeSpace) { freeSpace_ = std::move(freeSpace); }

  // Turns logging on or off and stores the switch for the next start.
  void toggleLogging();
  // Shows or hides today's log. Throws LogWriteError when it should show a file that is
  // not there.
  void toggleLogView();
  // Brings the view up to today's log when it is shown; a failure is told to the operator.
  void refreshLogView();

  bool logging() const { return logging_; }
  bool logViewShown() const { return logViewShown_; }

 private:
  // Brings the shown view up to today's log: what was added, or the whole file when it is
  // another one. Throws LogWriteError.
  void showLog();
  // Looks at the log disk's free space, at most once a second, and tells a change of side.
  void watchDisk();
  void writeSummaries();

  OperatorInterface& face_;
  QSettings& settings_;
  QString instance_;
  bool logging_ = false;
  bool logViewShown_ = false;
  LogTail logTail_;  // what the shown view has read of the log
  RequestLogGuard guard_;
  QTimer summaryTimer_;  // writes the summaries of a flood's seconds as they end
  qint64 minFreeBytes_ = 0;
  QElapsedTimer diskLooked_;
  FreeSpace freeSpace_;
};

}  // namespace taurelin
