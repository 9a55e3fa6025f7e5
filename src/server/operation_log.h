#pragma once

// The operation log: one text file per calendar day and server instance, a line per event.
//
// Each line is "dd.mm.yyyy hh:mm:ss - message" and CR LF, in UTF-8; the message is written as
// it stands, LFs inside it included, but for card numbers, which are masked (see
// MaskCardNumbers). The file is readable and writable by its owner only. The file "yyyymmdd - BASENAME" lives in the log's
// directory (the current directory unless told otherwise) and is opened, appended to and
// closed for every line, so another program may read it between lines and the first line
// after midnight starts the new day's file. Nothing is written while logging is off.

#include <QDateTime>
#include <QString>

#include <functional>
#include <stdexcept>

namespace taurelin {

class LogWriteError : public std::runtime_error {
 public:
  explicit LogWriteError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

class OperationLog {
 public:
  using Clock = std::function<QDateTime()>;

  // The log's base name for an instance: "API.LOG" without one, else "API_" + instance + ".LOG".
  static QString BaseNameFor(const QString& instance);

  bool enabled() const { return enabled_; }
  void setEnabled(bool on) { enabled_ = on; }
  QString baseName() const { return baseName_; }
  void setBaseName(const QString& name) { baseName_ = name; }
  void setDirectory(const QString& directory) { directory_ = directory; }
  // Replaces the local clock; tests use it to cross midnight.
  void setClock(Clock clock) { clock_ = std::move(clock); }

  // The path of the file that a line written at `when` goes to.
  QString filePathFor(const QDateTime& when) const;
  // The path of today's file.
  QString currentFilePath() const;

  // Appends one line when logging is on. Throws LogWriteError when the file cannot be
  // opened or written.
  void write(const QString& message) const;

 private:
  bool enabled_ = false;
  QString baseName_;
  QString directory_;
  Clock clock_ = [] { return QDateTime::currentDateTime(); };
  mutable QString checkedFile_;  // the file whose permissions were last made sure of
};

// The process's log, steered by start-up and the log controls.
OperationLog& ProcessLog();

// Appends one line to the process's log when logging is on; throws LogWriteError on failure.
void WriteLogLine(const QString& message);

}  // namespace taurelin
