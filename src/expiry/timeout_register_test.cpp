// The register file: where entries go, what frees them, the sweep's due rule, the layout
// read and written byte for byte, and two processes sharing one file.

#include "expiry/timeout_register.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <ostream>
#include <thread>

namespace taurelin {

void PrintTo(const TimeOutRecord& record, std::ostream* out) {
  *out << '{' << record.refnr.toStdString() << ", " << record.expiry.toStdString() << ", "
       << record.timeOut.toStdString() << '}';
}

namespace {

const QDateTime kRegisterNow(QDate(2024, 3, 5), QTime(10, 20, 30));

TimeOutRecord Entry(const char* refnr, const QDateTime& expiry, const char* timeOut) {
  return {QString::fromLatin1(refnr), expiry.toString(TimeOutRegister::kExpiryFormat),
          QString::fromLatin1(timeOut)};
}

// One field as it lies in the file: its length byte, the text, then `filler` up to its room.
QByteArray Field(const QByteArray& text, int room, char filler) {
  return char(text.size()) + text + QByteArray(room - text.size(), filler);
}

QByteArray Record(const QByteArray& refnr, const QByteArray& expiry, const QByteArray& timeOut,
                  char filler = '\0') {
  return Field(refnr, 10, filler) + Field(expiry, 20, filler) + Field(timeOut, 5, filler);
}

class TimeOutRegisterTest : public ::testing::Test {
 protected:
  TimeOutRegisterTest() {
    register_.setClock([this] { return now_; });
    register_.setLog([this](const QString& line) { log_ << line; });
  }

  QByteArray Bytes() const {
    QFile file(register_.filePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  void WriteBytes(const QByteArray& bytes) {
    QFile file(register_.filePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  bool New(const char* refnr, const char* timeOut) {
    return register_.SetTimeOut(QStringLiteral("*"), QString::fromLatin1(refnr),
                                QString::fromLatin1(timeOut));
  }
  // What a booking does to the entry of its reservation.
  bool Booked(const char* refnr) {
    return register_.SetTimeOut(QString::fromLatin1(refnr), QString::fromLatin1(refnr),
                                QStringLiteral("0"));
  }
  // A sweep that records what it was handed and frees every entry.
  QStringList Sweep() {
    QStringList handed;
    register_.sweep([&handed](const QString& refnr) {
      handed << refnr;
      return true;
    });
    return handed;
  }

  QTemporaryDir dir_;
  TimeOutRegister register_{dir_.path()};
  QDateTime now_ = kRegisterNow;
  QStringList log_;
};

TEST_F(TimeOutRegisterTest, NewReservationsTakeTheFirstFreeRecordOrAppend) {
  EXPECT_TRUE(New("1001", "900"));
  EXPECT_TRUE(New("1002", "60"));
  EXPECT_TRUE(New("1003", "60"));
  EXPECT_EQ(register_.entries(),
            (std::vector<TimeOutRecord>{Entry("1001", kRegisterNow.addSecs(900), "900"),
                                        Entry("1002", kRegisterNow.addSecs(60), "60"),
                                        Entry("1003", kRegisterNow.addSecs(60), "60")}));
  EXPECT_EQ(register_.entries()[0].expiry, "20240305103530");

  // A booking frees its entry in place; the file keeps its size.
  EXPECT_TRUE(Booked("1002"));
  EXPECT_EQ(register_.entries()[1], TimeOutRecord());
  EXPECT_EQ(Bytes().mid(38, 38), QByteArray(38, '\0'));
  EXPECT_EQ(Bytes().size(), 3 * 38);

  EXPECT_TRUE(New("1004", "120"));
  EXPECT_EQ(register_.entries()[1], Entry("1004", kRegisterNow.addSecs(120), "120"));
  EXPECT_EQ(Bytes().size(), 3 * 38);
  EXPECT_TRUE(log_.isEmpty());
}

TEST_F(TimeOutRegisterTest, UpdateMovesTheExpiryOfItsEntryOnly) {
  ASSERT_TRUE(New("1001", "900"));
  ASSERT_TRUE(New("1002", "900"));
  now_ = kRegisterNow.addSecs(100);
  EXPECT_TRUE(register_.SetTimeOut(QStringLiteral("1002"), QStringLiteral("1002"),
                                    QStringLiteral("30")));
  EXPECT_EQ(register_.entries(),
            (std::vector<TimeOutRecord>{Entry("1001", kRegisterNow.addSecs(900), "900"),
                                        Entry("1002", kRegisterNow.addSecs(130), "30")}));

  // A number without an entry: nothing is written, neither by an update nor by a booking.
  const QByteArray before = Bytes();
  EXPECT_TRUE(register_.SetTimeOut(QStringLiteral("4711"), QStringLiteral("4711"),
                                   QStringLiteral("300")));
  EXPECT_TRUE(Booked("4711"));
  EXPECT_EQ(Bytes(), before);
}

TEST_F(TimeOutRegisterTest, TimeOutOfZeroOrLessLeavesAFreeEntry) {
  ASSERT_TRUE(New("1001", "900"));
  EXPECT_TRUE(register_.SetTimeOut(QStringLiteral("1001"), QStringLiteral("1001"),
                                   QStringLiteral("-5")));
  EXPECT_EQ(register_.entries(), std::vector<TimeOutRecord>{TimeOutRecord()});
  // A new reservation without a time-out writes a free entry: in the free record, or
  // appended when there is none.
  EXPECT_TRUE(New("1002", "0"));
  EXPECT_EQ(Bytes(), QByteArray(38, '\0'));
  ASSERT_TRUE(New("1003", "60"));
  EXPECT_TRUE(New("1004", "0"));
  EXPECT_EQ(
      register_.entries(),
      (std::vector<TimeOutRecord>{Entry("1003", kRegisterNow.addSecs(60), "60"), TimeOutRecord()}));
}

TEST_F(TimeOutRegisterTest, WhatCannotBeRegisteredWritesNothing) {
  for (const char* timeOut : {"abc", "", " 900", "9.5", "99999999999"}) {
    EXPECT_FALSE(New("1001", timeOut)) << timeOut;
  }
  EXPECT_FALSE(New("ERROR", "900"));
  EXPECT_TRUE(register_.entries().empty());
  EXPECT_TRUE(log_.isEmpty());

  // A number longer than the record holds is refused and logged, not cut to fit.
  EXPECT_FALSE(New("12345678901", "900"));
  EXPECT_TRUE(register_.entries().empty());
  ASSERT_EQ(log_.size(), 1);
  EXPECT_TRUE(log_[0].contains(u"12345678901")) << log_[0].toStdString();
  EXPECT_TRUE(New("1234567890", "900"));
  EXPECT_EQ(register_.entries()[0].refnr, "1234567890");

  // The time-out is kept as the client sent it, cut to its room.
  EXPECT_TRUE(New("1002", "+000060"));
  EXPECT_EQ(register_.entries()[1], Entry("1002", kRegisterNow.addSecs(60), "+0000"));
}

TEST_F(TimeOutRegisterTest, SweepHandsOverWhatExpiredBeforeTheCurrentSecond) {
  ASSERT_TRUE(New("1001", "10"));
  ASSERT_TRUE(New("1002", "20"));
  ASSERT_TRUE(New("1003", "30"));
  // 1002 expires in this very second: not due yet, also late in the second.
  now_ = kRegisterNow.addSecs(20).addMSecs(999);
  EXPECT_EQ(Sweep(), QStringList{"1001"});
  EXPECT_EQ(register_.entries()[0], TimeOutRecord());
  now_ = kRegisterNow.addSecs(21);
  EXPECT_EQ(Sweep(), QStringList{"1002"});
  EXPECT_EQ(register_.entries()[2], Entry("1003", kRegisterNow.addSecs(30), "30"));

  // A cancellation that asks to keep its entry gets it again at the next sweep.
  now_ = kRegisterNow.addSecs(60);
  int handed = 0;
  EXPECT_EQ(register_.sweep([&handed](const QString&) { return ++handed > 1; }), 1);
  EXPECT_EQ(register_.entries()[2].refnr, "1003");
  EXPECT_EQ(register_.sweep([&handed](const QString&) { return ++handed > 1; }), 1);
  EXPECT_EQ(register_.entries()[2], TimeOutRecord());
  EXPECT_EQ(Bytes().size(), 3 * 38);
}

TEST_F(TimeOutRegisterTest, FailedSweepEndsThereAndTheNextStartsFromTheFirstRecord) {
  // No file yet: the sweep creates it empty.
  EXPECT_EQ(Sweep(), QStringList());
  EXPECT_TRUE(QFile::exists(register_.filePath()));

  ASSERT_TRUE(New("1001", "10"));
  ASSERT_TRUE(New("1002", "10"));
  ASSERT_TRUE(New("1003", "10"));
  now_ = kRegisterNow.addSecs(60);
  QStringList handed;
  EXPECT_THROW(register_.sweep([&handed](const QString& refnr) {
    handed << refnr;
    if (refnr == u"1002") throw std::runtime_error("lost connection");
    return true;
  }),
               std::runtime_error);
  EXPECT_EQ(handed, (QStringList{"1001", "1002"}));
  EXPECT_EQ(Sweep(), (QStringList{"1002", "1003"}));

  // A register that cannot be opened: the sweep throws, a registration fails and is logged.
  TimeOutRegister missing(dir_.filePath(QStringLiteral("no such directory")));
  missing.setLog([this](const QString& line) { log_ << line; });
  EXPECT_THROW(missing.sweep([](const QString&) { return true; }), TimeOutRegisterError);
  EXPECT_FALSE(missing.SetTimeOut(QStringLiteral("*"), QStringLiteral("1004"),
                                  QStringLiteral("60")));
  ASSERT_EQ(log_.size(), 1);
  EXPECT_TRUE(log_[0].contains(u"1004")) << log_[0].toStdString();
}

// A file another program wrote in this layout, with bytes past each text's length that mean
// nothing: read as it stands, and written back without disturbing a byte of the others.
TEST_F(TimeOutRegisterTest, HandWrittenFileIsReadAndWrittenByteForByte) {
  const QByteArray expired = Record("1001", "20240305100000", "900", 'x');
  const QByteArray free = Record("", "", "", 'y');
  const QByteArray later = Record("1003", "20990101000000", "60", 'z');
  // A length byte beyond its room reads as the room, never into the next field.
  QByteArray overlong = Record("1234567890", "20990101000000", "12345");
  overlong[0] = char(0xff);
  overlong[32] = char(40);
  WriteBytes(expired + free + later + overlong);

  EXPECT_EQ(register_.entries(),
            (std::vector<TimeOutRecord>{
                {"1001", "20240305100000", "900"},
                {},
                {"1003", "20990101000000", "60"},
                {"1234567890", "20990101000000", "12345"}}));

  ASSERT_TRUE(New("1004", "900"));
  EXPECT_EQ(Bytes(),
            expired + Record("1004", "20240305103530", "900") + later + overlong);

  EXPECT_EQ(Sweep(), QStringList{"1001"});
  EXPECT_EQ(Bytes(), QByteArray(38, '\0') + Record("1004", "20240305103530", "900") + later +
                         overlong);
}

TEST_F(TimeOutRegisterTest, TrailingPieceOfARecordIsReplacedByTheNextAppended) {
  const QByteArray first = Record("1001", "20990101000000", "60");
  WriteBytes(first + QByteArray("\x04" "1002", 5));
  EXPECT_EQ(register_.entries().size(), 1u);
  ASSERT_TRUE(New("1003", "60"));
  EXPECT_EQ(Bytes(), first + Record("1003", "20240305102130", "60"));
}

// A number given back by a reservation rolled back after it registered comes again with the
// next reservation: that one's entry takes the old entry's place, or the old expiry would
// cancel the new reservation before its time.
TEST_F(TimeOutRegisterTest, NewEntryForANumberThatHasOneReplacesIt) {
  ASSERT_TRUE(New("1001", "900"));
  ASSERT_TRUE(New("1002", "60"));
  now_ = kRegisterNow.addSecs(30);
  EXPECT_TRUE(New("1002", "600"));
  EXPECT_EQ(register_.entries(),
            (std::vector<TimeOutRecord>{Entry("1001", kRegisterNow.addSecs(900), "900"),
                                        Entry("1002", kRegisterNow.addSecs(630), "600")}));
}

// The lock is free while a reservation is cancelled: a reservation on another instance
// registers while it holds the database, which the cancellation waits for.
TEST_F(TimeOutRegisterTest, ARegistrationDuringACancellationDoesNotWaitForTheSweep) {
  ASSERT_TRUE(New("1001", "10"));
  now_ = kRegisterNow.addSecs(60);
  bool registered = false;
  EXPECT_EQ(register_.sweep([&](const QString&) {
    registered = New("1002", "900");
    return true;
  }),
            1);
  EXPECT_TRUE(registered);
  EXPECT_EQ(register_.entries(),
            (std::vector<TimeOutRecord>{TimeOutRecord(), Entry("1002", now_.addSecs(900), "900")}));

  // An entry renewed while its reservation was being cancelled is not freed.
  ASSERT_TRUE(New("1003", "10"));
  now_ = now_.addSecs(60);
  register_.sweep([&](const QString& refnr) {
    register_.SetTimeOut(refnr, refnr, QStringLiteral("300"));
    return true;
  });
  EXPECT_EQ(register_.entries()[0], Entry("1003", now_.addSecs(300), "300"));
}

// An older server killed between creating its lock file and writing its owner into it leaves
// an empty lock file. That one is taken over, and kept; an empty one that another open file
// still locks natively is an owner at work, and is waited for until the register gives up.
TEST_F(TimeOutRegisterTest, AnEmptyLockLeftByAKilledInstanceIsTakenOverAndAHeldOneIsNot) {
  const QString lockPath = register_.filePath() + QStringLiteral(".lock");
  QFile lock(lockPath);
  ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
  ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addSecs(-5),
                               QFileDevice::FileModificationTime));
  ASSERT_EQ(::flock(lock.handle(), LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(New("1001", "600"));
  EXPECT_TRUE(log_.join(u'|').contains(u"stayed locked by another process"));
  EXPECT_TRUE(QFile::exists(lockPath));

  lock.close();  // the owner is gone, its empty file stays
  ASSERT_TRUE(QFile::exists(lockPath));
  EXPECT_TRUE(New("1001", "600"));
  EXPECT_EQ(register_.entries(),
            std::vector<TimeOutRecord>{Entry("1001", kRegisterNow.addSecs(600), "600")});
  QFile kept(lockPath);
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), TimeOutRegisterLock::kContent);
}

// Damage is told at each check and each sweep that meets it; an entry whose expiry cannot be
// read is taken as expired rather than holding its units for good.
TEST_F(TimeOutRegisterTest, DamageIsReportedAndAnUnreadableExpiryIsTakenAsExpired) {
  QStringList alerts;
  register_.setAlert([&alerts](const QString& line) { alerts << line; });
  register_.check();  // no file yet: nothing to tell
  EXPECT_TRUE(alerts.isEmpty());

  QByteArray overlong = Record("1003", "20990101000000", "60");
  overlong[0] = char(0xff);
  WriteBytes(Record("1001", "20990101000000", "60") + Record("1002", "2099x101000000", "60") +
             overlong + QByteArray("\x04" "10", 3));
  register_.check();
  ASSERT_EQ(alerts.size(), 3) << alerts.join(u'|').toStdString();
  EXPECT_TRUE(alerts[0].contains(u"record 1 (reservation \"1002\"): its expiry time "
                                 u"\"2099x101000000\" is no time"));
  EXPECT_TRUE(alerts[1].contains(u"record 2 (reservation \"1003"));
  EXPECT_TRUE(alerts[1].contains(u"its reservation number claims 255 characters"));
  EXPECT_TRUE(alerts[2].contains(u"the last 3 bytes are no whole record"));

  alerts.clear();
  EXPECT_EQ(Sweep(), QStringList{"1002"});
  EXPECT_EQ(alerts.size(), 3);
  EXPECT_TRUE(log_.isEmpty());
}

// What start-up does to a register of mostly free records: the damage is told first, then
// the free records go and the set ones stay as they were, byte for byte and in their order.
TEST_F(TimeOutRegisterTest, CompactionKeepsTheSetEntriesByteForByteAndWaitsForTheLock) {
  QStringList alerts;
  register_.setAlert([&alerts](const QString& line) { alerts << line; });
  const QByteArray expired = Record("1001", "20240305100000", "900", 'x');
  const QByteArray damaged = Record("1002", "2099x101000000", "60");
  const QByteArray later = Record("1003", "20990101000000", "60", 'z');
  QByteArray overlong = Record("1234567890", "20990101000000", "12345");
  overlong[0] = char(0xff);
  QByteArray bytes;
  for (int i = 0; i < 100; ++i) {
    if (i == 3) {
      bytes += expired;
    } else if (i == 40) {
      bytes += damaged;
    } else if (i == 41) {
      bytes += later;
    } else if (i == 97) {
      bytes += overlong;
    } else {
      bytes += i % 2 == 0 ? QByteArray(38, '\0') : Record("", "", "", 'y');
    }
  }
  WriteBytes(bytes + QByteArray("\x04" "10", 3));
  const auto inUse = [this] {
    std::vector<TimeOutRecord> set;
    for (const TimeOutRecord& record : register_.entries()) {
      if (!record.isFree()) set.push_back(record);
    }
    return set;
  };
  const std::vector<TimeOutRecord> before = inUse();
  ASSERT_EQ(before.size(), 4u);
  register_.check();
  EXPECT_EQ(alerts.size(), 3) << alerts.join(u'|').toStdString();

  // Another register's operation under way: the compaction waits until it lets go.
  TimeOutRegisterLock held(register_.filePath() + QStringLiteral(".lock"));
  held.lock();
  // Started before the holder's pause, so that the wait it measures cannot come out short.
  QElapsedTimer waited;
  waited.start();
  std::thread letGo([&held] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    held.unlock();
  });
  const bool compacted = register_.compact();
  const qint64 waitedMs = waited.elapsed();
  letGo.join();
  EXPECT_GE(waitedMs, 300);
  EXPECT_TRUE(compacted);

  EXPECT_EQ(Bytes(), expired + damaged + later + overlong);
  EXPECT_EQ(inUse(), before);
  ASSERT_EQ(log_.size(), 1);
  EXPECT_TRUE(log_[0].endsWith(u"TimeOut.API compacted: 100 records, 4 in use; the last 3 "
                               u"bytes, no whole record, dropped"))
      << log_[0].toStdString();
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList{"TimeOut.API", "TimeOut.API.lock"}));
  // The damaged entry is still taken as expired.
  EXPECT_EQ(Sweep(), (QStringList{"1001", "1002"}));
  EXPECT_EQ(alerts.size(), 5) << alerts.join(u'|').toStdString();
}

// A register too small, or not more than half free, is not touched at all; nor is one whose
// new file cannot be written, and no temporary file stays behind.
TEST_F(TimeOutRegisterTest, CompactionLeavesTheFileAsItWasWhenThereIsNothingToGainOrItFails) {
  const QByteArray set = Record("1001", "20990101000000", "60");
  const QByteArray free(38, '\0');
  const auto repeated = [](const QByteArray& pattern, int times) {
    QByteArray bytes;
    for (int i = 0; i < times; ++i) bytes += pattern;
    return bytes;
  };
  const auto inode = [this] {
    struct stat status {};
    ::stat(QFile::encodeName(register_.filePath()).constData(), &status);
    return status.st_ino;
  };
  EXPECT_FALSE(register_.compact());  // no file: none is made
  EXPECT_FALSE(QFile::exists(register_.filePath()));

  const QByteArray atTheFloor =
      set + repeated(free, TimeOutRegister::kCompactionFloor - 1) + QByteArray("\x04" "10", 3);
  const QByteArray halfInUse = repeated(set + free, 100);
  for (const QByteArray& bytes : {atTheFloor, halfInUse}) {
    WriteBytes(bytes);
    const ino_t before = inode();
    EXPECT_FALSE(register_.compact());
    EXPECT_EQ(Bytes(), bytes);
    EXPECT_EQ(inode(), before);
  }
  EXPECT_TRUE(log_.isEmpty()) << log_.join(u'|').toStdString();

  // A disk that fills up while the new file is written.
  const QByteArray tenInUse = repeated(set, 10) + repeated(free, 190);
  WriteBytes(tenInUse);
  const ino_t before = inode();
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const rlimit small{200, saved.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  QString failure;
  try {
    register_.compact();
  } catch (const TimeOutRegisterError& error) {
    failure = QString::fromUtf8(error.what());
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(failure.contains(u"TimeOut.API not compacted: cannot write"))
      << failure.toStdString();
  EXPECT_EQ(Bytes(), tenInUse);
  EXPECT_EQ(inode(), before);
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList{"TimeOut.API", "TimeOut.API.lock"}));
  EXPECT_TRUE(log_.isEmpty()) << log_.join(u'|').toStdString();
}

TEST(TimeOutRecordTest, ANumberIsFoundExactlyWhereDecodingWouldFindIt) {
  // A reservation looks for its number in the raw bytes; that must agree with the decoded
  // record for every length byte, 8-bit characters and numbers no record can hold.
  const QStringList numbers = {"",
                               "1",
                               "1234567890",
                               "12345678901",
                               QString::fromUtf8("\xc3\xa6" "7"),
                               QString::fromUtf8("\xc4\x80" "7")};
  for (int length = 0; length < 256; ++length) {
    QByteArray bytes = TimeOutRecord{"1234567890", "20270101120000", "600"}.encode();
    bytes[0] = static_cast<char>(length);
    if (length == 2) bytes[1] = '\xe6';  // U+00E6 as one 8-bit character
    if (length == 2) bytes[2] = '7';
    const QString decoded = TimeOutRecord::Decode(bytes).refnr;
    for (const QString& number : numbers + QStringList{decoded}) {
      EXPECT_EQ(TimeOutRecord::HoldsRefnr(bytes, number), decoded == number)
          << "length byte " << length << ", number " << number.toStdString();
    }
  }
}

// What two writers, each working the register of `dir` as timeout_register_writer does with
// prefixes 7 and 8, must leave: the entry of every odd number of each, and only once.
void ExpectNoEntryLost(const QTemporaryDir& dir, int count) {
  QSet<QString> expected;
  for (const char* prefix : {"7", "8"}) {
    for (int i = 1; i < count; i += 2) {
      expected << QLatin1String(prefix) + QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0'));
    }
  }
  QStringList found;
  for (const TimeOutRecord& record : TimeOutRegister(dir.path()).entries()) {
    if (!record.isFree()) found << record.refnr;
  }
  const QSet<QString> distinct(found.begin(), found.end());
  EXPECT_EQ(found.size(), distinct.size()) << "an entry stands twice";
  EXPECT_TRUE(distinct == expected)
      << "lost: " << QStringList((expected - distinct).values()).join(u' ').toStdString();
}

// Two processes register and free entries in one file at the same time. Without the lock
// both would take the same free record, or append at the same end, and lose entries.
TEST(TimeOutRegisterSharingTest, TwoProcessesLoseNoEntry) {
  QTemporaryDir dir;
  constexpr int kCount = 1000;
  QProcess first;
  QProcess second;
  first.start(QStringLiteral(TIMEOUT_REGISTER_WRITER),
              {dir.path(), QStringLiteral("7"), QString::number(kCount)});
  second.start(QStringLiteral(TIMEOUT_REGISTER_WRITER),
               {dir.path(), QStringLiteral("8"), QString::number(kCount)});
  for (QProcess* writer : {&first, &second}) {
    ASSERT_TRUE(writer->waitForFinished(120000));
    EXPECT_EQ(writer->exitCode(), 0) << writer->readAllStandardError().toStdString();
  }
  ExpectNoEntryLost(dir, kCount);
}

// The same with two registers in one process, each on a thread of its own: a lock owned by
// the process rather than by each open file would let both in at once.
TEST(TimeOutRegisterSharingTest, TwoRegistersOfOneProcessLoseNoEntry) {
  QTemporaryDir dir;
  constexpr int kCount = 1000;
  std::atomic<int> failures = 0;
  const auto work = [&](const QString& prefix) {
    TimeOutRegister timeOuts(dir.path());
    const auto refnr = [&prefix](int i) {
      return prefix + QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0'));
    };
    for (int i = 0; i < kCount; ++i) {
      if (!timeOuts.SetTimeOut(QStringLiteral("*"), refnr(i), QStringLiteral("900"))) ++failures;
      if (i % 2 == 1 && !timeOuts.SetTimeOut(refnr(i - 1), refnr(i - 1), QStringLiteral("0"))) {
        ++failures;
      }
    }
  };
  std::thread first(work, QStringLiteral("7"));
  std::thread second(work, QStringLiteral("8"));
  first.join();
  second.join();
  EXPECT_EQ(failures, 0);
  ExpectNoEntryLost(dir, kCount);
}

}  // namespace
}  // namespace taurelin
