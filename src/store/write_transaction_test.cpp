#include "store/write_transaction.h"

#include "store/connection.h"
#include "store/postgres/postgres_test_database.h"
#include "store/sqlite/sqlite_backend.h"
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
    EXPECT_TRUE(OpenConnection(db_.alias(), kName, &error)) << error.toStdString();
  }
  ~WriteTransactionTest() override { QSqlDatabase::removeDatabase(kName); }

  void Insert(int akode) {
    Statement insert(kName);
    insert.add(QStringLiteral("INSERT INTO AGENT (AKODE) VALUES (:AKODE)"));
    insert.bindInteger(QStringLiteral("AKODE"), akode);
    insert.run();
  }
  QString Agents() {
    Statement agents(kName);
    agents.add(QStringLiteral("SELECT IFNULL(group_concat(AKODE), '') A FROM AGENT")).run();
    EXPECT_TRUE(agents.next());
    return agents.text(QStringLiteral("A"));
  }

  const QString kName = QStringLiteral("transaction_test");
  TestDatabase db_;
};

TEST_F(WriteTransactionTest, CommitKeepsAndEveryOtherExitUndoes) {
  {
    WriteTransaction transaction(kName);
    Insert(1);
    transaction.commit();
  }
  {
    WriteTransaction transaction(kName);
    Insert(2);
  }
  try {
    WriteTransaction transaction(kName);
    Insert(3);
    Insert(1);  // a duplicate key: the scope is left by the failure
    transaction.commit();
  } catch (const DatabaseError&) {
  }
  EXPECT_EQ(Agents(), "1");
}

TEST_F(WriteTransactionTest, RefusalsThrow) {
  {
    WriteTransaction outer(kName);
    EXPECT_THROW(WriteTransaction inner(kName), DatabaseError);
  }
  EXPECT_THROW(WriteTransaction none(QStringLiteral("no such connection")), DatabaseError);

  // A constraint checked at commit refuses the commit; the transaction is undone all the same
  // and the connection is free for the next one.
  db_.run(QStringLiteral("CREATE TABLE LATE (AKODE INTEGER REFERENCES AGENT (AKODE) "
                         "DEFERRABLE INITIALLY DEFERRED)"));
  {
    WriteTransaction transaction(kName);
    Insert(5);
    Statement orphan(kName);
    orphan.add(QStringLiteral("INSERT INTO LATE (AKODE) VALUES (99)")).run();
    EXPECT_THROW(transaction.commit(), DatabaseError);
  }
  EXPECT_EQ(Agents(), "");
  WriteTransaction next(kName);
  Insert(6);
  next.commit();
  EXPECT_EQ(Agents(), "6");
}

// A database file deleted or replaced under an open connection is written no more: the
// write is refused, and the connection opens again on the file its path names now, or stays
// refused while there is none.
TEST(ReplacedFileTest, AWriteGoesOnlyIntoTheFileThePathNames) {
  TestDatabase db;
  TestDatabase other;
  const QString name = QStringLiteral("replaced_test");
  QString error;
  ASSERT_TRUE(OpenConnection(db.alias(), name, &error, /*createMissingFile=*/false))
      << error.toStdString();
  const auto insert = [&name](int akode) {
    WriteTransaction transaction(name);
    Statement s(name);
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
  CloseConnection(name);
}

// A reservation's lock holds back another connection's reservation of the same facility and
// rental type only, and only until the transaction ends, however it ends.
TEST(ReservationLockTest, PostgresLocksOneFacilityAndTypeUntilTheEnd) {
  if (!PostgresTestDatabase::Available()) GTEST_SKIP() << PostgresTestDatabase::kSkip;
  PostgresTestDatabase db;
  const QString mine = QStringLiteral("lock_mine");
  const QString other = QStringLiteral("lock_other");
  QString error;
  ASSERT_TRUE(OpenConnection(db.alias(), mine, &error)) << error.toStdString();
  ASSERT_TRUE(OpenConnection(db.alias(), other, &error)) << error.toStdString();
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
  QSqlDatabase::database(mine, false).close();
  QSqlDatabase::database(other, false).close();
  QSqlDatabase::removeDatabase(mine);
  QSqlDatabase::removeDatabase(other);
}

}  // namespace
}  // namespace taurelin
