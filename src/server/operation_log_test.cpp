#include "server/operation_log.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace taurelin {
namespace {

class OperationLogTest : public ::testing::Test {
 protected:
  OperationLogTest() {
    log_.setDirectory(dir_.path());
    log_.setBaseName(OperationLog::BaseNameFor(QString()));
    log_.setClock([this] { return now_; });
  }

  QByteArray Read(const QString& name) {
    QFile file(dir_.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QTemporaryDir dir_;
  QDateTime now_{QDate(2026, 12, 8), QTime(16, 5, 9)};
  OperationLog log_;
};

TEST_F(OperationLogTest, WritesNothingWhileOff) {
  log_.write(QStringLiteral("Listener started"));
  EXPECT_TRUE(QDir(dir_.path()).isEmpty());
}

TEST_F(OperationLogTest, AppendsDatedLinesWithCrLfInUtf8) {
  log_.setEnabled(true);
  log_.write(QStringLiteral("Listener started"));
  log_.write(QStringLiteral("I0 : æøå"));
  EXPECT_EQ(Read(QStringLiteral("20261208 - API.LOG")),
            QByteArray("08.12.2026 16:05:09 - Listener started\r\n"
                       "08.12.2026 16:05:09 - I0 : \xC3\xA6\xC3\xB8\xC3\xA5\r\n"));
}

TEST_F(OperationLogTest, MessageEndingWithLineFeedIsFollowedByAnEmptyLine) {
  log_.setEnabled(true);
  log_.write(QStringLiteral("U0 : messageID=1\n"));
  EXPECT_EQ(Read(QStringLiteral("20261208 - API.LOG")),
            QByteArray("08.12.2026 16:05:09 - U0 : messageID=1\n\r\n"));
}

// With a retention of 2 days, the first line of a day deletes this log's files of days more
// than 2 days before it, and nothing else: another instance's log, other files, and every
// file while the retention is 0.
TEST_F(OperationLogTest, TheFirstLineOfADayDeletesThisLogsFilesPastTheRetention) {
  const QStringList files = {"20261201 - API.LOG",   "20261205 - API.LOG", "20261206 - API.LOG",
                             "20261201 - API_B.LOG", "x0261201 - API.LOG", "20261201 - API.LOG.1",
                             "notes.txt"};
  for (const QString& name : files) {
    QFile file(dir_.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  log_.setEnabled(true);
  log_.write(QStringLiteral("kept: retention 0"));
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files).size(), files.size() + 1);

  log_.setRetentionDays(2);
  now_ = now_.addDays(-1);  // 7 December: its first line deletes the files of 4 December
  log_.write(QStringLiteral("a day earlier"));
  EXPECT_TRUE(QFile::exists(dir_.filePath(QStringLiteral("20261205 - API.LOG"))));
  now_ = now_.addDays(1);  // 8 December: before the 6th
  log_.write(QStringLiteral("first line of the day"));
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files),
            QStringList({"20261201 - API.LOG.1", "20261201 - API_B.LOG", "20261206 - API.LOG",
                         "20261207 - API.LOG", "20261208 - API.LOG", "notes.txt",
                         "x0261201 - API.LOG"}));
}

TEST_F(OperationLogTest, FirstLineAfterMidnightStartsTheNewDaysFile) {
  log_.setEnabled(true);
  now_ = QDateTime(QDate(2026, 12, 8), QTime(23, 59, 59, 999));
  log_.write(QStringLiteral("late"));
  now_ = QDateTime(QDate(2026, 12, 9), QTime(0, 0));
  log_.write(QStringLiteral("midnight"));
  now_ = QDateTime(QDate(2026, 12, 9), QTime(0, 0, 1));
  log_.write(QStringLiteral("early"));
  EXPECT_EQ(Read(QStringLiteral("20261208 - API.LOG")),
            QByteArray("08.12.2026 23:59:59 - late\r\n"));
  // At exactly midnight the time is left out, as the date-and-time value shows it.
  EXPECT_EQ(Read(QStringLiteral("20261209 - API.LOG")),
            QByteArray("09.12.2026 - midnight\r\n09.12.2026 00:00:01 - early\r\n"));
}

TEST_F(OperationLogTest, InstanceHasItsOwnFile) {
  EXPECT_EQ(OperationLog::BaseNameFor(QStringLiteral("Nord")), "API_Nord.LOG");
  log_.setBaseName(OperationLog::BaseNameFor(QStringLiteral("Nord")));
  log_.setEnabled(true);
  log_.write(QStringLiteral("x"));
  EXPECT_TRUE(QFile::exists(dir_.filePath(QStringLiteral("20261208 - API_Nord.LOG"))));
}

// The log holds bookers' details: only its owner reads it, also a file made before, and no
// card number stands in it in full.
TEST_F(OperationLogTest, IsTheOwnersAloneAndMasksCardNumbers) {
  constexpr QFileDevice::Permissions kOwnerOnly =
      QFileDevice::ReadOwner | QFileDevice::WriteOwner;
  const QString today = dir_.filePath(QStringLiteral("20261208 - API.LOG"));
  log_.setEnabled(true);
  log_.write(QStringLiteral("I0 : messageID=1&count=1&header=INSTRUKSJON;KREDITKORTNR"
                            "&data=BOOKING;4111111111111111"));
  EXPECT_EQ(QFile::permissions(today) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
            kOwnerOnly);
  EXPECT_TRUE(Read(QStringLiteral("20261208 - API.LOG")).endsWith("BOOKING;************1111\r\n"));

  now_ = now_.addDays(1);
  const QString tomorrow = dir_.filePath(QStringLiteral("20261209 - API.LOG"));
  QFile earlier(tomorrow);
  ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
  earlier.close();
  ASSERT_TRUE(QFile::setPermissions(tomorrow, kOwnerOnly | QFileDevice::ReadGroup |
                                                  QFileDevice::ReadOther));
  log_.write(QStringLiteral("x"));
  EXPECT_EQ(QFile::permissions(tomorrow) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
            kOwnerOnly);
}

// An operator may move the day's file away or delete it while the log holds it open: the
// next line starts the file at its path again, and a moved file keeps what it had.
TEST_F(OperationLogTest, FileMovedOrDeletedWhileHeldIsMadeAnew) {
  const QString today = dir_.filePath(QStringLiteral("20261208 - API.LOG"));
  log_.setEnabled(true);
  log_.write(QStringLiteral("one"));
  ASSERT_TRUE(QFile::rename(today, dir_.filePath(QStringLiteral("rotated"))));
  log_.write(QStringLiteral("two"));
  ASSERT_TRUE(QFile::remove(today));
  log_.write(QStringLiteral("three"));
  EXPECT_EQ(Read(QStringLiteral("rotated")), QByteArray("08.12.2026 16:05:09 - one\r\n"));
  EXPECT_EQ(Read(QStringLiteral("20261208 - API.LOG")),
            QByteArray("08.12.2026 16:05:09 - three\r\n"));
}

TEST_F(OperationLogTest, UnwritableFileThrowsAndTheNextLineTriesAgain) {
  const QString directory = dir_.filePath(QStringLiteral("missing/dir"));
  log_.setDirectory(directory);
  log_.setEnabled(true);
  EXPECT_THROW(log_.write(QStringLiteral("x")), LogWriteError);
  ASSERT_TRUE(QDir().mkpath(directory));
  log_.write(QStringLiteral("y"));
  QFile file(QDir(directory).filePath(QStringLiteral("20261208 - API.LOG")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("08.12.2026 16:05:09 - y\r\n"));
}

TEST(ProcessLogTest, UsesTheCurrentDirectoryAndStartsOff) {
  EXPECT_FALSE(ProcessLog().enabled());
  const QString name = ProcessLog().currentFilePath();
  EXPECT_FALSE(name.contains(u'/'));
}

}  // namespace
}  // namespace taurelin
