#include "store/write_transaction.h"

#include "store/connection.h"
#include "store/postgres/postgres_test_database.h"
#include "store/read_snapshot.h"
#include "store/sqlite/sqlite_driver.h"
#include "store/statement.h"
#include "store/test_database.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace taurelin {
namespace {

class WriteTransactionTest : public ::testing::Test {
 protected:
  WriteTransactionTest() {
    QString error;
    EXPECT_TRUE(connection_.open(db_.alias(), &error)) << error.toStdString();
  }

  void Insert(int akode) {
    Statement insert(connection_);
    insert.add(QStringLiteral("INSERT INTO AGENT (AKODE) VALUES (:AKODE)"));
    insert.bindInteger(QStringLiteral("AKODE"), akode);
    insert.run();
  }
  QString Agents() {
    Statement agents(connection_);
    agents.add(QStringLiteral("SELECT IFNULL(group_concat(AKODE), '') A FROM AGENT")).run();
    EXPECT_TRUE(agents.next());
    return agents.text(QStringLiteral("A"));
  }

  TestDatabase db_;
  Connection connection_{QStringLiteral("transaction_test")};
};

TEST_F(WriteTransactionTest, CommitKeepsAndEveryOtherExitUndoes) {
  {
    WriteTransaction transaction(connection_);
    Insert(1);
    transaction.commit();
  }
  {
    WriteTransaction transaction(connection_);
    Insert(2);
  }
  try {
    WriteTransaction transaction(connection_);
    Insert(3);
    Insert(1);  // a duplicate key: the scope is left by the failure
    transaction.commit();
  } catch (const DatabaseError&) {
  }
  EXPECT_EQ(Agents(), "1");
}

TEST_F(WriteTransactionTest, RefusalsThrow) {
  {
    WriteTransaction outer(connection_);
    EXPECT_THROW(WriteTransaction inner(connection_), DatabaseError);
  }
  Connection never{QStringLiteral("never_opened")};
  EXPECT_THROW(WriteTransaction none(never), DatabaseError);

  // A constraint checked at commit refuses the commit; the transaction is undone all the same
  // and the connection is free for the next one.
  db_.run(QStringLiteral("CREATE TABLE LATE (AKODE INTEGER REFERENCES AGENT (AKODE) "
                         "DEFERRABLE INITIALLY DEFERRED)"));
  {
    WriteTransaction transaction(connection_);
    Insert(5);
    Statement orphan(connection_);
    orphan.add(QStringLiteral("INSERT INTO LATE (AKODE) VALUES (99)")).run();
    EXPECT_THROW(transaction.commit(), DatabaseError);
  }
  EXPECT_EQ(Agents(), "");
  WriteTransaction next(connection_);
  Insert(6);
  next.commit();
  EXPECT_EQ(Agents(), "6");
}

// The reads of one question see one state of the file; the next question sees what another
// connection wrote meanwhile. Inside a write transaction the snapshot opens nothing of its own.
TEST_F(WriteTransactionTest, AReadSnapshotSeesOneStateAndEndsWithItsQuestion) {
  Insert(1);
  Connection other{QStringLiteral("transaction_test_other")};
  QString error;
  ASSERT_TRUE(other.open(db_.alias(), &error)) << error.toStdString();
  {
    const ReadSnapshot reads(connection_);
    EXPECT_EQ(Agents(), "1");
    Statement insert(other);
    insert.add(QStringLiteral("INSERT INTO AGENT (AKODE) VALUES (2)")).run();
    EXPECT_EQ(Agents(), "1");
  }
  EXPECT_EQ(Agents(), "1,2");
  {
    WriteTransaction transaction(connection_);
    const ReadSnapshot reads(connection_);
    Insert(3);
    transaction.commit();
  }
  EXPECT_EQ(Agents(), "1,2,3");
}

// A database file deleted or replaced under an open connection is written no more: the
// write is refused, and the connection opens again on the file its path names now, or stays
// refused while there is none.
TEST(ReplacedFileTest, AWriteGoesOnlyIntoTheFileThePathNames) {
  TestDatabase db;
  TestDatabase other;
  Connection connection{QStringLiteral("replaced_test")};
  QString error;
  ASSERT_TRUE(connection.open(db.alias(), &error, /*createMissingFile=*/false))
      << error.toStdString();
  const auto insert = [&connection](int akode) {
    WriteTransaction transaction(connection);
    Statement s(connection);
    s.add(QStringLiteral("INSERT INTO AGENT (AKODE) VALUES (:AKODE)"));
    s.bindInteger(QStringLiteral("AKODE"), akode);
    s.run();
    transaction.commit();
  };
  const auto agents = [](const QString& file) {
    QSqlDatabase look = QSqlDatabase::addDatabase(QLatin1String(kSqliteDriver), "look");
    look.setDatabaseName(file);
    EXPECT_TRUE(look.open());
    QSqlQuery query(look);
    EXPECT_TRUE(query.exec(QStringLiteral("SELECT IFNULL(group_concat(AKODE), '') FROM AGENT")));
    const QString found = query.next() ? query.value(0).toString() : QStringLiteral("?");
    query = QSqlQuery();
    look.close();
    look = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("look"));
    return found;
  };
  insert(1);

  ASSERT_TRUE(QFile::remove(db.file()));
  QFile::remove(db.file() + QStringLiteral("-wal"));
  QFile::remove(db.file() + QStringLiteral("-shm"));
  try {
    insert(2);
    ADD_FAILURE() << "a write into a deleted file was taken";
  } catch (const DatabaseError& failure) {
    EXPECT_TRUE(failure.connectionLost());
    EXPECT_TRUE(QString::fromUtf8(failure.what()).contains(QStringLiteral("deleted")));
  }
  EXPECT_THROW(insert(3), DatabaseError);  // nothing there to open

  ASSERT_TRUE(QFile::copy(other.file(), db.file()));
  insert(4);
  EXPECT_EQ(agents(db.file()), "4");
}

// A reservation's lock holds back another connection's reservation of the same facility and
// rental type only, and only until the transaction ends, however it ends.
TEST(ReservationLockTest, PostgresLocksOneFacilityAndTypeUntilTheEnd) {
  if (!PostgresTestDatabase::Available()) GTEST_SKIP() << PostgresTestDatabase::kSkip;
  PostgresTestDatabase db;
  Connection mine{QStringLiteral("lock_mine")};
  Connection other{QStringLiteral("lock_other")};
  QString error;
  ASSERT_TRUE(mine.open(db.alias(), &error)) << error.toStdString();
  ASSERT_TRUE(other.open(db.alias(), &error)) << error.toStdString();
  const auto free = [&other](int facility, int type) {
    Statement s(other);
    s.add(QStringLiteral(
        "SELECT CASE WHEN pg_try_advisory_xact_lock(:A, :U) THEN 1 ELSE 0 END FREE"));
    s.bindInteger(QStringLiteral("A"), facility);
    s.bindInteger(QStringLiteral("U"), type);
    s.run();
    EXPECT_TRUE(s.next());
    return s.integer(QStringLiteral("FREE")) == 1;
  };
  {
    WriteTransaction transaction(mine);
    transaction.lockReservation(1, 5);
    EXPECT_FALSE(free(1, 5));
    EXPECT_TRUE(free(1, 6));
    EXPECT_TRUE(free(2, 5));
    transaction.commit();
  }
  EXPECT_TRUE(free(1, 5));
  {
    WriteTransaction transaction(mine);
    transaction.lockReservation(1, 5);
    EXPECT_FALSE(free(1, 5));
  }
  EXPECT_TRUE(free(1, 5));
}

}  // namespace
}  // namespace taurelin
