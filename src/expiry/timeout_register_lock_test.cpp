// The register's lock as other holders see it: an older server that locks by making and
// removing the file, a lock file deleted under a running server, and a holder that is killed.

#include "expiry/timeout_register_lock.h"

#include "expiry/timeout_register.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <functional>
#include <mutex>
#include <thread>

namespace taurelin {
namespace {

constexpr int kHeldMs = 300;

QByteArray Content(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// How long `operation` waits while `letGo` is called only kHeldMs from now.
qint64 WaitedUntilLetGo(const std::function<void()>& letGo,
                        const std::function<void()>& operation) {
  // Started before the holder's pause, so that the wait measured cannot come out short.
  QElapsedTimer waited;
  waited.start();
  std::thread holder([&letGo] {
    std::this_thread::sleep_for(std::chrono::milliseconds(kHeldMs));
    letGo();
  });
  operation();
  const qint64 ms = waited.elapsed();
  holder.join();
  return ms;
}

class TimeOutRegisterLockTest : public ::testing::Test {
 protected:
  QTemporaryDir dir_;
  const QString lockPath_ = dir_.filePath(QStringLiteral("TimeOut.API.lock"));
};

// An older server in the same directory during an upgrade: while a register holds the file
// the older one can neither make it nor take it over as left behind; when no register holds
// it any more, the older server takes it over by its own rule.
TEST_F(TimeOutRegisterLockTest, AnOlderServerIsKeptOutWhileARegisterHoldsTheFile) {
  {
    TimeOutRegisterLock ours(lockPath_);
    { std::lock_guard<TimeOutRegisterLock> operation(ours); }
    QLockFile older(lockPath_);
    older.setStaleLockTime(0);
    EXPECT_FALSE(older.tryLock(0));
    EXPECT_FALSE(older.removeStaleLockFile());
    EXPECT_EQ(Content(lockPath_), TimeOutRegisterLock::kContent);
  }
  QLockFile older(lockPath_);
  older.setStaleLockTime(0);
  EXPECT_TRUE(older.removeStaleLockFile());
  EXPECT_TRUE(older.tryLock(0));
}

// A new server starting while an older one is in the middle of an operation waits until the
// older one has let go and removed its file, then makes its own.
TEST_F(TimeOutRegisterLockTest, AnOlderServersOperationIsWaitedFor) {
  QLockFile older(lockPath_);
  ASSERT_TRUE(older.tryLock(0));
  TimeOutRegisterLock ours(lockPath_);
  const qint64 waited = WaitedUntilLetGo([&older] { older.unlock(); }, [&ours] {
    std::lock_guard<TimeOutRegisterLock> operation(ours);
  });
  EXPECT_GE(waited, kHeldMs);
  EXPECT_EQ(Content(lockPath_), TimeOutRegisterLock::kContent);
}

// A lock file deleted under a running server: its next operation locks the file there now,
// the one every other server locks, not the deleted one that nobody else can see.
TEST_F(TimeOutRegisterLockTest, ALockFileDeletedUnderARegisterIsNoticed) {
  TimeOutRegisterLock ours(lockPath_);
  { std::lock_guard<TimeOutRegisterLock> operation(ours); }
  ASSERT_TRUE(QFile::remove(lockPath_));
  TimeOutRegisterLock other(lockPath_);
  other.lock();
  const qint64 waited = WaitedUntilLetGo([&other] { other.unlock(); }, [&ours] {
    std::lock_guard<TimeOutRegisterLock> operation(ours);
  });
  EXPECT_GE(waited, kHeldMs);
}

// A server killed while it holds the lock lets go with its descriptors: an operation that
// waited for it goes ahead at once, with nothing left over to take over first.
TEST(TimeOutRegisterLockHolderTest, ALockDiesWithItsHolder) {
  QTemporaryDir dir;
  QProcess holder;
  holder.start(QStringLiteral(TIMEOUT_REGISTER_WRITER), {dir.path(), QStringLiteral("--hold")});
  ASSERT_TRUE(holder.waitForReadyRead(10000)) << holder.readAllStandardError().toStdString();
  ASSERT_EQ(holder.readLine().trimmed(), "held");

  TimeOutRegister timeOuts(dir.path());
  bool registered = false;
  const pid_t pid = static_cast<pid_t>(holder.processId());
  const qint64 waited = WaitedUntilLetGo([pid] { ::kill(pid, SIGKILL); }, [&] {
    registered = timeOuts.SetTimeOut(QStringLiteral("*"), QStringLiteral("1001"),
                                     QStringLiteral("600"));
  });
  holder.waitForFinished();
  EXPECT_TRUE(registered);
  EXPECT_GE(waited, kHeldMs);
  EXPECT_LT(waited, TimeOutRegisterLock::kWaitMs / 2);
}

}  // namespace
}  // namespace taurelin
