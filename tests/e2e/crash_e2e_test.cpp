// A server killed outright in the middle of a stream of reservations, and one killed while
// a reservation waits between its header and its lines: whatever the servers had written
// must be whole bookings, each header with both of its lines, on SQLite and on PostgreSQL.

#include "demo_requests.h"
#include "server_process.h"

#include "expiry/timeout_register.h"
#include "store/connection.h"

#include <gtest/gtest.h>

#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include <vector>

namespace taurelin {
namespace {

constexpr int kLastDemoRefnr = 1004;

struct Written {
  qint64 bookings = -1;    // headers written after the demo's
  qint64 incomplete = -1;  // of them, headers without exactly two lines
  qint64 orphans = -1;     // lines whose header is missing
  QStringList unregistered;  // bookings without an entry in the time-out register
};

Written Inspect(const DatabaseAlias& alias, const QString& registerDirectory) {
  Written written;
  {
    Connection connection{QStringLiteral("inspect")};
    QString error;
    if (!connection.open(alias, &error, false)) {
      ADD_FAILURE() << error.toStdString();
    } else {
      QSqlDatabase& database = connection.database();
      auto count = [&database](const QString& sql) -> qint64 {
        QSqlQuery query(database);
        if (query.exec(sql) && query.next()) return query.value(0).toLongLong();
        ADD_FAILURE() << sql.toStdString() << ": " << query.lastError().text().toStdString();
        return -1;
      };
      const QString after = QString::number(kLastDemoRefnr);
      written.bookings = count("SELECT count(*) FROM BOOKING WHERE REFNR > " + after);
      written.incomplete =
          count("SELECT count(*) FROM BOOKING b WHERE b.REFNR > " + after +
                " AND (SELECT count(*) FROM LEIE l WHERE l.REFNR = b.REFNR) <> 2");
      written.orphans = count(
          "SELECT count(*) FROM LEIE l WHERE NOT EXISTS "
          "(SELECT 1 FROM BOOKING b WHERE b.REFNR = l.REFNR)");
      QSet<QString> registered;
      for (const TimeOutRecord& entry : TimeOutRegister(registerDirectory).entries()) {
        registered << entry.refnr;
      }
      QSqlQuery refnrs(database);
      refnrs.exec("SELECT REFNR FROM BOOKING WHERE REFNR > " + after);
      while (refnrs.next()) {
        const QString refnr = QString::number(refnrs.value(0).toLongLong());
        if (!registered.contains(refnr)) written.unregistered << refnr;
      }
    }
  }
  return written;
}

// Four clients send reservations of stays that never run out of cabins; once the server has
// answered some, it is killed with the rest in flight. Each round waits a little longer
// before the kill, so that it lands at different points of a reservation's writes, and
// starts the server again on what the last one left.
void KillDuringReservations(ServerProcess& server, const DatabaseAlias& alias) {
  constexpr int kClients = 4;
  constexpr int kRequests = 400;
  constexpr int kAnswered = 10;
  qint64 before = 0;
  for (int round = 0; round < 4; ++round) {
    ASSERT_TRUE(server.start()) << server.standardError().toStdString();
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < kClients; ++i) clients.push_back(server.connect());
    for (int i = 0; i < kRequests; ++i) {
      clients[static_cast<size_t>(i % kClients)]->write(
          Reservation(QString::number(i), 1, 30 + round * 40 + i % 40));
    }
    for (auto& client : clients) client->flush();
    const QList<QByteArray> first = ReadAnswers(*clients.front(), kAnswered, 30000);
    ASSERT_EQ(first.size(), kAnswered);
    for (const QByteArray& answer : first) {
      ASSERT_TRUE(Reply(answer).startsWith(u"&count=1&")) << answer.toStdString();
    }
    QThread::usleep(static_cast<unsigned long>(round * 500));
    server.kill();

    const Written written = Inspect(alias, server.workingDirectory());
    EXPECT_GE(written.bookings, before + kAnswered) << "round " << round;
    EXPECT_LT(written.bookings, before + kRequests) << "the server finished before the kill";
    EXPECT_EQ(written.incomplete, 0) << "round " << round;
    EXPECT_EQ(written.orphans, 0) << "round " << round;
    // Every hold committed has its time-out registered, so none is held for good.
    EXPECT_EQ(written.unregistered, QStringList()) << "round " << round;
    before = written.bookings;
  }
}

TEST(CrashTest, KilledServerLeavesOnlyWholeBookingsOnSqlite) {
  TestDatabase database(true);
  ServerProcess server(database);
  KillDuringReservations(server, database.alias());
}

TEST(CrashTest, KilledServerLeavesOnlyWholeBookingsOnPostgres) {
  if (!PostgresTestDatabase::Available()) GTEST_SKIP() << PostgresTestDatabase::kSkip;
  PostgresTestDatabase database(PostgresTestDatabase::kDemo);
  ServerProcess server(database);
  KillDuringReservations(server, database.alias());
}

// Whether a connection other than `database`'s own is on its database and, with `waiting`
// set, waits for a lock on table LEIE.
bool OtherConnection(QSqlDatabase& database, bool waiting) {
  QSqlQuery query(database);
  const QString sql =
      waiting ? QStringLiteral("SELECT count(*) FROM pg_locks WHERE NOT granted "
                               "AND relation = CAST('leie' AS regclass)")
              : QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE "
                               "datname = current_database() AND pid <> pg_backend_pid()");
  return query.exec(sql) && query.next() && query.value(0).toInt() > 0;
}

// The kill lands exactly between a reservation's header and its lines: the test holds back
// every write to LEIE, so the server waits there, its header written, until it dies.
TEST(CrashTest, ServerKilledBetweenHeaderAndLinesLeavesNothingOnPostgres) {
  if (!PostgresTestDatabase::Available()) GTEST_SKIP() << PostgresTestDatabase::kSkip;
  PostgresTestDatabase database(PostgresTestDatabase::kDemo);
  ServerProcess server(database);
  ASSERT_TRUE(server.start()) << server.standardError().toStdString();
  bool waited = false;
  bool ended = false;
  {
    Connection connection{QStringLiteral("blocker")};
    QString error;
    ASSERT_TRUE(connection.open(database.alias(), &error, false)) << error.toStdString();
    QSqlDatabase& blocker = connection.database();
    ASSERT_TRUE(blocker.transaction());
    ASSERT_TRUE(QSqlQuery(blocker).exec(QStringLiteral("LOCK TABLE LEIE IN SHARE MODE")));
    auto client = server.connect();
    client->write(Reservation(QStringLiteral("k"), 1));
    client->flush();
    for (int i = 0; i < 400 && !waited; ++i) {
      waited = OtherConnection(blocker, true);
      if (!waited) QThread::msleep(25);
    }
    server.kill();
    blocker.commit();
    // The server's session ends, and with it its transaction, once it finds its client gone.
    for (int i = 0; i < 400 && !ended; ++i) {
      ended = !OtherConnection(blocker, false);
      if (!ended) QThread::msleep(25);
    }
  }
  ASSERT_TRUE(waited) << "the reservation never waited for its lines";
  EXPECT_TRUE(ended);
  const Written written = Inspect(database.alias(), server.workingDirectory());
  EXPECT_EQ(written.bookings, 0);
  EXPECT_EQ(written.incomplete, 0);
  EXPECT_EQ(written.orphans, 0);
}

// The same on SQLite, whose locks cover the whole file: a trigger makes every write to LEIE
// take several seconds, and the kill lands while the first one runs.
TEST(CrashTest, ServerKilledBetweenHeaderAndLinesLeavesNothingOnSqlite) {
  TestDatabase database(true);
  database.run(QStringLiteral(
      "CREATE TRIGGER SLOW_LEIE BEFORE INSERT ON LEIE BEGIN "
      "SELECT count(*) FROM UTLEIEOB a, UTLEIEOB b, UTLEIEOB c, UTLEIEOB d, UTLEIEOB e; END"));
  ServerProcess server(database);
  ASSERT_TRUE(server.start()) << server.standardError().toStdString();
  auto client = server.connect();
  client->write(Reservation(QStringLiteral("k"), 1));
  client->flush();
  EXPECT_TRUE(ReadAnswers(*client, 1, 500).isEmpty()) << "the reservation did not wait";
  server.kill();
  const Written written = Inspect(database.alias(), server.workingDirectory());
  EXPECT_EQ(written.bookings, 0);
  EXPECT_EQ(written.incomplete, 0);
  EXPECT_EQ(written.orphans, 0);
}

}  // namespace
}  // namespace taurelin
