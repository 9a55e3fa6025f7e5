#pragma once

// The time-out register: the file "TimeOut.API" of provisional reservations and the moment
// each one expires, shared by every server instance started in the same directory.
//
// The file is a plain run of 38-byte records (see TimeOutRecord), numbered in file order.
// A new reservation takes the first free record or is appended; the file never shrinks.
// Each operation opens the file, holds the lock file "TimeOut.API.lock" beside it while it
// reads and writes, and closes both again, so instances sharing the directory never lose or
// mangle each other's entries; each record is written with one write call. A trailing piece
// shorter than a record (a write cut off by a crash) is no entry: the next record written
// at the end replaces it.

#include "expiry/timeout_record.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <stdexcept>
#include <vector>

namespace taurelin {

// The register file could not be locked, opened, read or written.
class TimeOutRegisterError : public std::runtime_error {
 public:
  explicit TimeOutRegisterError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

class TimeOutRegister {
 public:
  using Clock = std::function<QDateTime()>;
  using Log = std::function<void(const QString& line)>;
  // Cancels the expired reservation of that number; true when its entry is to be freed,
  // false when it stays for the next sweep to try again.
  using Cancel = std::function<bool(const QString& refnr)>;

  static const QString kFileName;
  // The expiry time's form; fixed width, so expiry times compare correctly as texts.
  static const QString kExpiryFormat;

  // The register in `directory`; the empty text means the process's current directory at
  // the time of each operation.
  explicit TimeOutRegister(QString directory = QString());

  // Replaces the local clock (tests).
  void setClock(Clock clock) { clock_ = std::move(clock); }
  // Where the register tells what it refused or could not do; empty: nowhere.
  void setLog(Log log) { log_ = std::move(log); }
  void log(const QString& line) const;

  QString filePath() const;

  // Keeps the entry of reservation `refnr` after a reservation or a booking.
  // `requestRefnr` "*" makes it a new entry (in the first free record, or appended);
  // anything else updates the entry of `refnr`, and when there is none nothing is written.
  // A positive `timeOut` (whole seconds) sets the expiry to now + timeOut; 0 or less frees
  // the entry. False, and nothing written, when `refnr` is "ERROR", when `timeOut` is no
  // integer, when `refnr` does not fit the record (logged), or when the file fails (logged).
  bool SetTimeOut(const QString& requestRefnr, const QString& refnr, const QString& timeOut);

  // The sweep: hands every entry whose expiry time is before the current second to
  // `cancel`, in file order, and frees the entry when `cancel` says so. Returns how many
  // expired entries were handed over. A file failure, or an exception from `cancel`, ends
  // the sweep at that record and is thrown; what was freed before stays freed, and the
  // next sweep starts again from the first record.
  int sweep(const Cancel& cancel);

  // The records in file order. Throws TimeOutRegisterError.
  std::vector<TimeOutRecord> entries() const;

 private:
  QString directory_;
  Clock clock_ = [] { return QDateTime::currentDateTime(); };
  Log log_;
};

}  // namespace taurelin
