#pragma once

// The operation log: one text file per calendar day and server instance, a line per event.
//
// Each line is "dd.mm.yyyy hh:mm:ss - message" and CR LF, in UTF-8; the message is written as
// it stands, LFs inside it included, but for card numbers, which are masked (see
// MaskCardNumbers). The file is readable and writable by its owner only. The file
// "yyyymmdd - BASENAME" lives in the log's directory (the current directory unless told
// otherwise). It is kept open while logging is on, and each line reaches it in one write,
// unbuffered, so another program may read it between lines. Before each line the log makes
// sure that the path still names the file it holds: the first line after midnight starts
// the new day's file, and a file moved or deleted by an operator is made anew at its path.
// A failed write lets go of the file, so that the next line opens it again. Nothing is
// written, and no file is held, while logging is off. With a retention of N days, the first
// line of each day deletes this log's files of days more than N days before it.

#include "base/file_identity.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QString>

#include <functional>
#include <optional>
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
  void setEnabled(bool on);
  QString baseName() const { return baseName_; }
  void setBaseName(const QString& name);
  void setDirectory(const QString& directory);
  // Days a day's file is kept after its own; 0 keeps every file.
  void setRetentionDays(int days) { retentionDays_ = days; }
  // Replaces the local clock; tests use it to cross midnight.
  void setClock(Clock clock) { clock_ = std::move(clock); }

  // The path of the file that a line written at `when` goes to.
  QString filePathFor(const QDateTime& when) const;
  // The path of today's file.
  QString currentFilePath() const;

  // Appends one line when logging is on. Throws LogWriteError when the file cannot be
  // opened or written.
  void write(const QString& message);

 private:
  // Whether the open file is the one at `path`.
  bool holds(const QString& path) const;
  void open(const QString& path);
  void close();
  // Deletes this log's files of days before `oldestKept`; what cannot be deleted stays for
  // the next day's try.
  void deleteFilesBefore(const QDate& oldestKept) const;

  bool enabled_ = false;
  QString baseName_;
  QString directory_;
  Clock clock_ = [] { return QDateTime::currentDateTime(); };
  int retentionDays_ = 0;
  QDate retainedOn_;  // the day whose first line last deleted old files
  QFile file_;
  std::optional<FileIdentity> identity_;  // of the open file
};

// The process's log, steered by start-up and the log controls.
OperationLog& ProcessLog();

// Appends one line to the process's log when logging is on; throws LogWriteError on failure.
void WriteLogLine(const QString& message);

}  // namespace taurelin
