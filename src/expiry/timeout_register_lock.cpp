#include "expiry/timeout_register_lock.h"

#include "expiry/timeout_register_error.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

namespace taurelin {

const QByteArray TimeOutRegisterLock::kContent =
    QByteArrayLiteral("locked by the servers that share TimeOut.API; never removed\n");

namespace {

// An operation on the register takes well under a millisecond, so short even pauses hand
// the lock over promptly.
constexpr int kPollMs = 2;
// An older server writes its owner into the lock file as soon as it has made it, and removes
// the file right after it lets go; one that no flock() holds and nobody touched for this
// long was left by an older server that died.
constexpr qint64 kLeftOverMs = 2000;

QString LastError() { return QString::fromLocal8Bit(std::strerror(errno)); }

// Whether `path` still names the file `held` describes.
bool Names(const QByteArray& path, dev_t device, ino_t inode) {
  struct stat named {};
  return ::stat(path.constData(), &named) == 0 && named.st_dev == device &&
         named.st_ino == inode;
}

bool LeftOver(const struct stat& file) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const qint64 ageMs = (now.tv_sec - file.st_mtim.tv_sec) * 1000 +
                       (now.tv_nsec - file.st_mtim.tv_nsec) / 1000000;
  return ageMs > kLeftOverMs;
}

// An open-file-description lock on the whole file: `type` F_WRLCK or F_UNLCK.
bool SetLock(int handle, short type) {
  struct flock whole {};
  whole.l_type = type;
  whole.l_whence = SEEK_SET;
  return ::fcntl(handle, F_OFD_SETLK, &whole) == 0;
}

}  // namespace

TimeOutRegisterLock::TimeOutRegisterLock(QString path) : path_(std::move(path)) {}

TimeOutRegisterLock::~TimeOutRegisterLock() { close(); }

void TimeOutRegisterLock::lock() {
  if (!threads_.try_lock_for(std::chrono::milliseconds(kWaitMs))) {
    throw TimeOutRegisterError(
        QStringLiteral("%1 stayed locked by another thread").arg(path_));
  }
  try {
    lockFile();
  } catch (...) {
    threads_.unlock();
    throw;
  }
}

void TimeOutRegisterLock::unlock() {
  // Closing lets go all the same; the next operation opens the file again.
  if (!SetLock(handle_, F_UNLCK)) close();
  threads_.unlock();
}

void TimeOutRegisterLock::lockFile() {
  const QByteArray path = QFile::encodeName(path_);
  const QDeadlineTimer deadline(kWaitMs);
  while (true) {
    if (handle_ >= 0 || open()) {
      if (SetLock(handle_, F_WRLCK)) {
        if (Names(path, device_, inode_)) return;
        // Deleted or replaced under us: whoever opens it now gets the other file.
        close();
        continue;
      }
      if (errno != EAGAIN && errno != EACCES) {
        throw TimeOutRegisterError(
            QStringLiteral("cannot lock %1: %2").arg(path_, LastError()));
      }
    }
    if (deadline.hasExpired()) {
      throw TimeOutRegisterError(
          QStringLiteral("%1 stayed locked by another process").arg(path_));
    }
    QThread::msleep(kPollMs);
  }
}

bool TimeOutRegisterLock::open() {
  const QByteArray path = QFile::encodeName(path_);
  bool made = true;
  int handle = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (handle < 0 && errno == EEXIST) {
    made = false;
    // Never through a symbolic link: the file is locked, and written, by us alone.
    handle = ::open(path.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (handle < 0 && errno == ENOENT) return false;  // an older server's, let go meanwhile
  }
  if (handle < 0) {
    throw TimeOutRegisterError(
        QStringLiteral("cannot open the lock file %1: %2").arg(path_, LastError()));
  }
  const auto letGo = [handle] {
    ::close(handle);
    return false;
  };
  const auto fail = [&](const char* what) {
    const QString why = LastError();
    ::close(handle);
    throw TimeOutRegisterError(
        QStringLiteral("cannot %1 the lock file %2: %3").arg(QLatin1String(what), path_, why));
  };

  if (::flock(handle, LOCK_SH | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return letGo();  // an older server's operation
    fail("lock");
  }
  struct stat held {};
  if (::fstat(handle, &held) != 0) fail("read");
  if (!Names(path, held.st_dev, held.st_ino)) return letGo();
  QByteArray content(kContent.size() + 1, '\0');
  const ssize_t read = ::pread(handle, content.data(), content.size(), 0);
  if (read < 0) fail("read");
  content.truncate(read);
  if (content != kContent) {
    // Made by an older server that may still remove it, or by one of us a moment ago.
    if (!made && !LeftOver(held)) return letGo();
    if (::ftruncate(handle, 0) != 0 ||
        ::pwrite(handle, kContent.constData(), kContent.size(), 0) != kContent.size()) {
      fail("write");
    }
  }
  handle_ = handle;
  device_ = held.st_dev;
  inode_ = held.st_ino;
  return true;
}

void TimeOutRegisterLock::close() {
  if (handle_ >= 0) ::close(handle_);
  handle_ = -1;
}

}  // namespace taurelin
