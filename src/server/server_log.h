#pragma once

// The server's side of the operation log: the logging switch, the log view and the lines the
// other parts of the server log or tell.
//
// Promises: a line that cannot be written never ends what is being done; the operator is
// told instead, without waiting. The switch is stored for the next start (a switch that
// cannot be stored is told). While the view is shown it takes in only what was added to
// today's log since it last read, or the whole file when that is another one.

#include "server/configuration.h"
#include "server/log_tail.h"
#include "server/operator_interface.h"

#include <QString>

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

  OperatorInterface& face_;
  QSettings& settings_;
  QString instance_;
  bool logging_ = false;
  bool logViewShown_ = false;
  LogTail logTail_;  // what the shown view has read of the log
};

}  // namespace taurelin
