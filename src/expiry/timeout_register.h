#pragma once

// The time-out register: the file "TimeOut.API" of provisional reservations and the moment
// each one expires, shared by every server instance started in the same directory.
//
// The file is a plain run of 38-byte records (see TimeOutRecord), numbered in file order.
// A new reservation takes the first free record or is appended; the file shrinks only by
// compact(), which a server calls at start-up.
// Each operation opens the file, holds the register's lock (TimeOutRegisterLock, on the file
// "TimeOut.API.lock" beside it, kept open) while it reads and writes, and closes the file
// again, so instances sharing the directory never lose or mangle each other's entries; each
// record is written with one write call. A trailing piece
// shorter than a record (a write cut off by a crash) is no entry: the next record written
// at the end replaces it.
//
// The lock is never held while a reservation is cancelled: a reservation registers its
// entry while it holds the database's write lock, so a sweep that held the register's lock
// while it waited for the database would wait on a reservation that waits on it.
//
// Damage is never passed over in silence: a trailing piece, a length byte beyond its room
// or an expiry time that is no time is reported through the alert, at each check and at
// each sweep that meets it. An entry whose expiry time cannot be read is taken as expired,
// for nothing else tells when its hold should end.
//
// A record's number is its place in the file only until the next compaction; what an entry
// means lies in its bytes alone. Compaction moves set entries to lower numbers, so a sweep
// of another instance that meets an entry moved meanwhile passes it over (as one changed),
// and hands it over again at its next sweep.

#include "expiry/timeout_record.h"
#include "expiry/timeout_register_error.h"
#include "expiry/timeout_register_lock.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace taurelin {

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
  // Where the register reports damage to its file, for the operator; empty: the log.
  void setAlert(Log alert) { alert_ = std::move(alert); }

  QString filePath() const;

  // Keeps the entry of reservation `refnr` after a reservation or a booking.
  // `requestRefnr` "*" makes it a new entry (in the first free record, or appended);
  // anything else updates the entry of `refnr`, and when there is none nothing is written.
  // A positive `timeOut` (whole seconds) sets the expiry to now + timeOut; 0 or less frees
  // the entry. False, and nothing written, when `refnr` is "ERROR", when `timeOut` is no
  // integer, when `refnr` does not fit the record (logged), or when the file fails (logged).
  bool SetTimeOut(const QString& requestRefnr, const QString& refnr, const QString& timeOut);
  // The same, but a file that cannot be locked, read or written is thrown
  // (TimeOutRegisterError) rather than logged: for a reservation that must not be kept
  // without its entry. A new entry for a number that already has one (a number given back
  // by a reservation that was rolled back after it registered) replaces that entry.
  bool SetTimeOutOrThrow(const QString& requestRefnr, const QString& refnr,
                         const QString& timeOut);

  // The sweep: hands every entry whose expiry time is before the current second to
  // `cancel`, in file order, and frees the entry when `cancel` says so and the entry is
  // still the one handed over. An entry changed by another instance meanwhile is passed
  // over. Returns how many expired entries were handed over. A file failure, or an
  // exception from `cancel`, ends the sweep at that record and is thrown; what was freed
  // before stays freed, and the next sweep starts again from the first record.
  int sweep(const Cancel& cancel);

  // Reports damage to the file through the alert; nothing when there is no file. Throws
  // TimeOutRegisterError when the file cannot be read.
  void check() const;

  // Compaction leaves a register of at most this many records as it is, so that a small
  // register is not rewritten at every start.
  static constexpr int kCompactionFloor = 64;

  // Rewrites the file without its free records when it holds more than kCompactionFloor
  // records and more than half of them are free: the set entries stay byte for byte as
  // they were (damaged ones too) and in their order; a trailing piece goes. Under the
  // register's lock, the new file is written beside the old one under the name
  // "TimeOut.API.compacting", synced, given the old file's permissions and owner, and
  // renamed over it, so another instance sees either the old file or the new one, never a
  // part. Logs one line when it compacts and returns true; false, and the file untouched
  // (same bytes, same inode), when there is nothing to gain or no file. Damage is not
  // reported here: call check() first, while the damaged records are still where they were.
  // Throws TimeOutRegisterError when the file cannot be locked, read or replaced; the old
  // file then stays as it was, and no temporary file is left.
  bool compact();

  // The records in file order. Throws TimeOutRegisterError.
  std::vector<TimeOutRecord> entries() const;
  // When the hold of reservation `refnr` ends (local time), as its entry says; nothing when
  // it has no entry or the entry's time cannot be read. Throws TimeOutRegisterError.
  std::optional<QDateTime> expiryOf(const QString& refnr) const;

 private:
  void alert(const QStringList& damage) const;

  QString directory_;
  mutable TimeOutRegisterLock lock_;
  Clock clock_ = [] { return QDateTime::currentDateTime(); };
  Log log_;
  Log alert_;
};

}  // namespace taurelin
