#pragma once

// The lock that makes each operation on the time-out register exclusive: between server
// instances sharing the register's directory, between TimeOutRegister objects of one
// process, and between threads using one object.
//
// It is an advisory lock on the file "TimeOut.API.lock" beside the register, held open for
// the lock's life. The register file itself cannot carry it: compaction renames a new file
// over it, and a lock on the old inode would stop excluding anyone. The lock file is never
// removed and never synced, so an operation costs two fcntl calls and a stat, not a file
// made, synced and removed. Each operation takes a whole-file open-file-description lock
// (F_OFD_SETLK): unlike a POSIX record lock it excludes two descriptors of one process, and
// it dies with the descriptor, so a holder that is killed lets go at once.
//
// The name is the one that servers of earlier versions lock by making the file and removing
// it again (QLockFile), so that such a server still running in the directory during an
// upgrade is kept out rather than let in beside a new one without exclusion. For its life
// the lock holds a shared flock() on the file: an earlier server finds the file there,
// cannot remove it as left behind (that takes an exclusive flock()), and gives up after its
// usual wait, so its reservations are refused instead of mangling entries. Once no new
// server holds the file, an earlier one removes it by its own rule and goes on. A file an
// earlier server made is not adopted while that server may still remove it: only a file
// that reads as ours, one this lock made, or a left-over (no exclusive flock() on it and
// untouched for two seconds) is kept and made to read as ours. (On a local file system
// flock() and fcntl() locks are independent, so the shared flock() never stands in the way
// of an operation's lock.)
//
// The file is opened at the first operation, not before, so that a register whose directory
// is missing fails at its operations as it always did. When the file is deleted or replaced
// under a running server, the next operation notices and takes the one there now.

#include <QByteArray>
#include <QString>

#include <mutex>

#include <sys/types.h>

namespace taurelin {

class TimeOutRegisterLock {
 public:
  // How long lock() waits for another holder before it gives up.
  static constexpr int kWaitMs = 10000;
  // What the lock file holds; an older server reads no owner in it.
  static const QByteArray kContent;

  // The lock file at `path`; nothing is opened yet.
  explicit TimeOutRegisterLock(QString path);
  ~TimeOutRegisterLock();
  TimeOutRegisterLock(const TimeOutRegisterLock&) = delete;
  TimeOutRegisterLock& operator=(const TimeOutRegisterLock&) = delete;

  // Waits up to kWaitMs for the lock. Throws TimeOutRegisterError when the file cannot be
  // opened or the lock stays taken.
  void lock();
  void unlock();

 private:
  void lockFile();
  // Opens the lock file and holds its shared flock(); false when it is not to be held yet.
  bool open();
  void close();

  const QString path_;
  std::timed_mutex threads_;
  int handle_ = -1;
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

}  // namespace taurelin
