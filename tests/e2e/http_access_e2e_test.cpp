// Who may do what on the HTTP face, tried as a stranger on the internet would, against the
// built server on the demo business: another's booking cannot be read, changed or cancelled
// without its code, and the database shows nothing changed; a guest cannot take the
// inventory; a flood of one client does not shut out another; a forged forwarding header
// and a foreign Host get nowhere.

#include "http_client.h"
#include "server_process.h"

#include "store/connection.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <memory>

namespace taurelin {
namespace {

QJsonObject Hold(int units = 1, int timeout = 600, int fromToday = 40) {
  return {{"facility", 1},         {"type", 1},    {"arrival", Iso(fromToday)},
          {"departure", Iso(fromToday + 3)}, {"board", 1}, {"units", units},
          {"persons", 2},          {"agent", 1},   {"timeout", timeout}};
}

const QJsonObject kInventedBooker{{"agent", 1},       {"nation", "N"},       {"surname", "Nobody"},
                                  {"postcode", "0001"}, {"email", "x@example.invalid"}};

Headers Code(const HttpAnswer& hold) {
  return {{"Booking-Code", hold.json()["bookingCode"].toString().toLatin1()}};
}

// A server on the demo business, on SQLite (false) or PostgreSQL (true), with the tests'
// keys, and a look into its database beside it.
class HttpAccessTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      if (!PostgresTestDatabase::Available()) GTEST_SKIP() << PostgresTestDatabase::kSkip;
      postgres_ = std::make_unique<PostgresTestDatabase>(PostgresTestDatabase::kDemo);
      server_ = std::make_unique<ServerProcess>(*postgres_);
    } else {
      sqlite_ = std::make_unique<TestDatabase>(true);
      server_ = std::make_unique<ServerProcess>(*sqlite_);
    }
  }
  void TearDown() override { look_.reset(); }

  void start() {
    const QString keys = TestKeys::Write(server_->directory().path());
    ASSERT_TRUE(server_->start({"--http", "0", "--http-keys", keys}))
        << server_->standardError().toStdString();
    look_ = std::make_unique<Connection>(QStringLiteral("look"));
    QString error;
    ASSERT_TRUE(look_->open(postgres_ ? postgres_->alias() : sqlite_->alias(), &error))
        << error.toStdString();
  }

  // The first value of `sql` in the database, as text.
  QString look(const QString& sql) {
    QSqlQuery query(look_->database());
    if (!query.exec(sql) || !query.next()) return QStringLiteral("(none)");
    return query.value(0).toString();
  }
  // What the database holds of a booking: its booker and cancellation mark, and its lines.
  QString booking(qint64 refnr) {
    return look(QStringLiteral("SELECT COALESCE(BESTNR, 0) || '/' || COALESCE(AVBESTILT, 0) "
                               "FROM BOOKING WHERE REFNR = %1").arg(refnr)) + u' ' +
           look(QStringLiteral("SELECT COUNT(*) || '/' || SUM(ANTALL) FROM LEIE WHERE REFNR = %1 "
                               "AND COALESCE(STATUS, '') <> 'A'").arg(refnr));
  }

  HttpAnswer call(const QByteArray& method, const QString& target,
                  const std::optional<QJsonObject>& body = std::nullopt,
                  const Headers& headers = {}, const QString& from = QString()) {
    return Call(server_->httpPort(), method, target, body, headers, from);
  }

  std::unique_ptr<TestDatabase> sqlite_;
  std::unique_ptr<PostgresTestDatabase> postgres_;
  std::unique_ptr<ServerProcess> server_;
  std::unique_ptr<Connection> look_;
};

TEST_P(HttpAccessTest, AnothersBookingIsUnknownToAStrangerAndOpenToItsCode) {
  start();
  const Headers manage = TestKeys::Bearer(TestKeys::kManage);
  const HttpAnswer held = call("POST", "/api/v1/reservations", Hold());
  ASSERT_EQ(held.status, 201) << held.body.constData();
  const qint64 refnr = held.json()["refnr"].toInteger();
  const QString mine = QStringLiteral("/api/v1/reservations/%1").arg(refnr);
  const HttpAnswer other = call("POST", "/api/v1/reservations", Hold());
  ASSERT_EQ(other.status, 201);
  const QString before = booking(refnr);
  const QString bookedBefore = booking(1004);

  // Without the code, or with another booking's, each is answered as a number that does
  // not exist: the same status and body, the number aside.
  const QString unknown = QStringLiteral("/api/v1/reservations/999999");
  for (const Headers& stranger : {Headers{}, Code(other), Headers{{"Booking-Code", "x"}}}) {
    const auto same = [&](const QByteArray& method, const QString& suffix,
                          const std::optional<QJsonObject>& body) {
      const HttpAnswer tried = call(method, mine + suffix, body, stranger, "127.0.0.2");
      const HttpAnswer none = call(method, unknown + suffix, body, manage);
      EXPECT_EQ(tried.status, 404) << method.constData();
      EXPECT_EQ(tried.status, none.status) << method.constData();
      EXPECT_EQ(QString(tried.body).replace(QString::number(refnr), "N"),
                QString(none.body).replace("999999", "N"))
          << method.constData();
    };
    same("GET", QString(), std::nullopt);
    same("PUT", "/booker", kInventedBooker);
    same("DELETE", QString(), std::nullopt);
    // Adding units to it is refused as adding to a booking that does not exist.
    QJsonObject addTo = Hold();
    addTo["refnr"] = refnr;
    EXPECT_EQ(call("POST", "/api/v1/reservations", addTo, stranger).status, 404);
  }
  // Nor do the demo's bookings open to a stranger, sequential numbers or not.
  EXPECT_EQ(call("DELETE", "/api/v1/reservations/1004").status, 404);
  EXPECT_EQ(call("PUT", "/api/v1/reservations/1003/booker", kInventedBooker).status, 404);
  EXPECT_EQ(booking(refnr), before);
  EXPECT_EQ(booking(1004), bookedBefore);
  EXPECT_EQ(look("SELECT COALESCE(BESTNR, 0) FROM BOOKING WHERE REFNR = 1003"), "0");

  // The code opens it, and the status tells a hold from a booking and a cancellation.
  const HttpAnswer fetched = call("GET", mine, std::nullopt, Code(held));
  ASSERT_EQ(fetched.status, 200) << fetched.body.constData();
  EXPECT_EQ(fetched.json()["status"], "held");
  EXPECT_TRUE(QDateTime::fromString(fetched.json()["holdEnds"].toString(), Qt::ISODate).isValid())
      << fetched.body.constData();
  EXPECT_EQ(call("PUT", mine + "/booker", kInventedBooker, Code(held)).status, 200);
  EXPECT_EQ(call("GET", mine, std::nullopt, Code(held)).json()["status"], "booked");
  const QString booked = booking(refnr);
  // A guest never replaces a booker, not even with the code.
  QJsonObject another = kInventedBooker;
  another["surname"] = "Somebody";
  const HttpAnswer replaced = call("PUT", mine + "/booker", another, Code(held));
  EXPECT_EQ(replaced.status, 409);
  EXPECT_EQ(replaced.errorCode(), "already_booked");
  EXPECT_EQ(booking(refnr), booked);
  EXPECT_EQ(call("DELETE", mine, std::nullopt, Code(held)).status, 200);
  EXPECT_EQ(call("GET", mine, std::nullopt, Code(held)).json()["status"], "cancelled");
  const HttpAnswer again = call("DELETE", mine, std::nullopt, Code(held));
  EXPECT_EQ(again.status, 409);
  EXPECT_EQ(again.errorCode(), "already_cancelled");

  // Keys: manage acts on any booking without a code; read cannot write; reserve holds
  // beyond a guest's limits.
  EXPECT_EQ(call("GET", "/api/v1/reservations/1004", std::nullopt, manage).json()["status"],
            "booked");
  EXPECT_EQ(call("GET", "/api/v1/reservations/1002", std::nullopt, manage).json()["status"],
            "cancelled");
  const HttpAnswer stillHeld = call("GET", "/api/v1/reservations/1003", std::nullopt, manage);
  EXPECT_EQ(stillHeld.json()["status"], "held");
  EXPECT_TRUE(stillHeld.json()["holdEnds"].isNull());  // held by no register of this server
  const HttpAnswer readOnly =
      call("POST", "/api/v1/reservations", Hold(), TestKeys::Bearer(TestKeys::kRead));
  EXPECT_EQ(readOnly.status, 403);
  EXPECT_EQ(readOnly.errorCode(), "forbidden");
  EXPECT_EQ(call("GET", "/api/v1/prices", std::nullopt, TestKeys::Bearer(TestKeys::kRead)).status,
            200);
  const HttpAnswer wrongKey =
      call("GET", "/api/v1/prices", std::nullopt, TestKeys::Bearer("tk_not_a_key"));
  EXPECT_EQ(wrongKey.status, 401);
  EXPECT_TRUE(wrongKey.header("WWW-Authenticate").startsWith("Bearer"));
  EXPECT_EQ(call("POST", "/api/v1/reservations", Hold(5, 86400, 120), TestKeys::Bearer(TestKeys::kReserve))
                .status,
            201);

  // A write sent again with its Idempotency-Key is answered as the first and held once.
  const QString count = QStringLiteral("SELECT COUNT(*) FROM BOOKING");
  const QString bookings = look(count);
  const Headers once{{"Idempotency-Key", "9f1c2a7e-retry"}};
  const HttpAnswer first = call("POST", "/api/v1/reservations", Hold(2), once);
  const HttpAnswer second = call("POST", "/api/v1/reservations", Hold(2), once);
  ASSERT_EQ(first.status, 201);
  EXPECT_EQ(second.status, 201);
  EXPECT_EQ(second.body, first.body);
  EXPECT_EQ(second.header("Idempotent-Replayed"), "true");
  EXPECT_EQ(look(count).toInt(), bookings.toInt() + 1);
  const HttpAnswer reused = call("POST", "/api/v1/reservations", Hold(3), once);
  EXPECT_EQ(reused.status, 422);
  EXPECT_EQ(look(count).toInt(), bookings.toInt() + 1);

  // Every write is in the log with who made it; no key and no code is.
  const QString log = server_->logMessages().join(u'\n');
  EXPECT_TRUE(log.contains(QStringLiteral("guest POST /api/v1/reservations : 201")));
  EXPECT_TRUE(log.contains(QStringLiteral("127.0.0.2 guest DELETE /api/v1/reservations/%1 : 404")
                               .arg(refnr)));
  EXPECT_TRUE(log.contains(QStringLiteral("key shop POST /api/v1/reservations : 201")));
  EXPECT_FALSE(log.contains(held.json()["bookingCode"].toString()));
  EXPECT_FALSE(log.contains(QLatin1String(TestKeys::kManage)));
}

TEST_P(HttpAccessTest, AGuestCannotTakeTheInventory) {
  server_->setConfiguration(QStringLiteral("GuestMaxBookingsPerDay"), 2);
  start();
  const QString count = QStringLiteral("SELECT COUNT(*) FROM BOOKING");
  const QString bookings = look(count);
  const HttpAnswer many = call("POST", "/api/v1/reservations", Hold(5));
  EXPECT_EQ(many.status, 400);
  EXPECT_EQ(many.errorCode(), "guest_limit");
  EXPECT_EQ(call("POST", "/api/v1/reservations", Hold(1, 901)).errorCode(), "guest_limit");
  EXPECT_EQ(look(count), bookings);

  QList<HttpAnswer> holds;
  for (int i = 0; i < 3; ++i) {
    holds << call("POST", "/api/v1/reservations", Hold(4, 900, 50 + 5 * i));
    ASSERT_EQ(holds.last().status, 201) << holds.last().body.constData();
  }
  const HttpAnswer fourth = call("POST", "/api/v1/reservations", Hold());
  EXPECT_EQ(fourth.status, 429);
  EXPECT_EQ(fourth.errorCode(), "too_many_holds");
  EXPECT_GT(fourth.header("Retry-After").toInt(), 0);
  EXPECT_EQ(call("POST", "/api/v1/reservations", Hold(), {}, "127.0.0.2").status, 201);

  // A booked hold frees its place, and its invented booker counts against the day's bookings.
  const auto book = [&](const HttpAnswer& hold) {
    return call("PUT",
                QStringLiteral("/api/v1/reservations/%1/booker").arg(hold.json()["refnr"].toInteger()),
                kInventedBooker, Code(hold));
  };
  EXPECT_EQ(book(holds[0]).status, 200);
  // Units added to a booked booking would never run out: a guest may not add them.
  QJsonObject addTo = Hold();
  addTo["refnr"] = holds[0].json()["refnr"];
  EXPECT_EQ(call("POST", "/api/v1/reservations", addTo, Code(holds[0])).errorCode(),
            "already_booked");
  const HttpAnswer freed = call("POST", "/api/v1/reservations", Hold());
  EXPECT_EQ(freed.status, 201);
  EXPECT_EQ(book(holds[1]).status, 200);
  const HttpAnswer third = book(holds[2]);
  EXPECT_EQ(third.status, 429);
  EXPECT_EQ(third.errorCode(), "too_many_bookings");
  EXPECT_EQ(look(QStringLiteral("SELECT COALESCE(BESTNR, 0) FROM BOOKING WHERE REFNR = %1")
                     .arg(holds[2].json()["refnr"].toInteger())),
            "0");

  // A hold that another program gives its booker with plain SQL frees the place at once.
  EXPECT_EQ(call("POST", "/api/v1/reservations", Hold()).status, 201);
  EXPECT_EQ(call("POST", "/api/v1/reservations", Hold()).status, 429);
  const qint64 byOther = holds[2].json()["refnr"].toInteger();
  QSqlQuery other(look_->database());
  ASSERT_TRUE(other.exec("INSERT INTO BESTILL (BESTNR, ENAVN) VALUES (9901, 'Desk')"));
  ASSERT_TRUE(other.exec(QStringLiteral("UPDATE BOOKING SET BESTNR = 9901 WHERE REFNR = %1")
                             .arg(byOther)));
  EXPECT_EQ(call("POST", "/api/v1/reservations", Hold()).status, 201);
}

INSTANTIATE_TEST_SUITE_P(Backends, HttpAccessTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Postgres" : "Sqlite"; });

// Budgets, forwarded addresses and Host names need no booking written: one backend.
TEST(HttpBudgetTest, AFloodingClientIsHeldBackAloneAndAForgedAddressGetsNowhere) {
  ServerProcess server(true);
  server.setConfiguration(QStringLiteral("GuestReadsPerMinute"), 6);
  server.setConfiguration(QStringLiteral("HttpTrustedProxies"), QStringLiteral("127.0.0.3"));
  ASSERT_TRUE(server.start({"--http", "0"})) << server.standardError().toStdString();
  const quint16 port = server.httpPort();
  const QString types = QStringLiteral("/api/v1/rental-types?facility=1");

  // Past its budget a client is told when to come back, while another is served.
  HttpAnswer limited;
  for (int i = 0; i < 50 && limited.status != 429; ++i) limited = Call(port, "GET", types);
  ASSERT_EQ(limited.status, 429);
  EXPECT_EQ(limited.errorCode(), "too_many_requests");
  EXPECT_GT(limited.header("Retry-After").toInt(), 0);
  EXPECT_EQ(limited.header("RateLimit-Policy"), "\"reads\";q=6;w=60");
  EXPECT_TRUE(limited.header("RateLimit").startsWith("\"reads\";r=0;t="));
  EXPECT_EQ(Call(port, "GET", types, std::nullopt, {}, "127.0.0.2").status, 200);
  // Writing another address into X-Forwarded-For helps only from a trusted proxy.
  const Headers forged{{"X-Forwarded-For", "198.51.100.8"}};
  EXPECT_EQ(Call(port, "GET", types, std::nullopt, forged).status, 429);
  HttpAnswer proxied;
  for (int i = 0; i < 50 && proxied.status != 429; ++i) {
    proxied = Call(port, "GET", types, std::nullopt, {{"X-Forwarded-For", "1.2.3.4, 198.51.100.7"}},
                   "127.0.0.3");
  }
  EXPECT_EQ(proxied.status, 429);
  EXPECT_EQ(Call(port, "GET", types, std::nullopt, forged, "127.0.0.3").status, 200);

  // A Host the server does not answer for, or none.
  EXPECT_EQ(Exchange(port, "GET /api/v1/prices HTTP/1.1\r\nHost: attacker.example\r\n\r\n").status,
            421);
  EXPECT_EQ(Exchange(port, "GET /api/v1/prices HTTP/1.1\r\n\r\n", 10000, "127.0.0.4").status, 400);
  for (const QByteArray host : {"localhost:1", "LOCALHOST.", "[::1]:8080", "127.0.0.1"}) {
    EXPECT_EQ(Exchange(port, "GET /api/v1/prices HTTP/1.1\r\nHost: " + host + "\r\n\r\n", 10000,
                       "127.0.0.4")
                  .status,
              200)
        << host.constData();
  }

  // The refusals are counted, and summed up in the log, not written one by one.
  ASSERT_EQ(server.stop(), 0);
  const QStringList log = server.logMessages();
  EXPECT_FALSE(log.filter(QStringLiteral("HTTP 198.51.100.7 request refused, past its budget: "))
                   .isEmpty())
      << log.join(u'\n').toStdString();
  EXPECT_FALSE(log.filter(QStringLiteral("HTTP 127.0.0.1 request refused, past its budget: "))
                   .isEmpty());
  EXPECT_TRUE(log.filter(QStringLiteral(": 429")).isEmpty());
}

}  // namespace
}  // namespace taurelin
