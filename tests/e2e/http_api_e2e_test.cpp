// The JSON API over HTTP against the built server on the demo business: the booking road on
// both backends, beside the line protocol; the API against its own OpenAPI description; and
// hostile requests and clients.

#include "demo_requests.h"
#include "http_client.h"
#include "server_process.h"

#include "channels/feed_token.h"
#include "protocol/reply_envelope.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>

#include <memory>
#include <optional>

namespace taurelin {
namespace {

// `object`, or what its "$ref" ("#/components/...") names in `document`.
QJsonObject Resolved(const QJsonObject& document, QJsonObject object) {
  while (object.contains(u"$ref")) {
    QJsonValue target = document;
    for (const QString& step : object["$ref"].toString().split(u'/').mid(1)) {
      target = target[step];
    }
    object = target.toObject();
  }
  return object;
}

// Checks `value` against an OpenAPI 3.1 schema: the parts of JSON Schema the description uses.
void ExpectMatches(const QJsonObject& document, QJsonObject schema, const QJsonValue& value,
                   const QString& where) {
  schema = Resolved(document, schema);
  QStringList types;
  if (schema["type"].isArray()) {
    for (const QJsonValue& type : schema["type"].toArray()) types << type.toString();
  } else if (schema["type"].isString()) {
    types << schema["type"].toString();
  }
  const QString actual = value.isNull()     ? "null"
                         : value.isBool()   ? "boolean"
                         : value.isString() ? "string"
                         : value.isArray()  ? "array"
                         : value.isObject() ? "object"
                         : value.toDouble() == std::trunc(value.toDouble()) ? "integer"
                                                                            : "number";
  const bool typeFits = types.isEmpty() || types.contains(actual) ||
                        (actual == u"integer" && types.contains(u"number"));
  ASSERT_TRUE(typeFits) << where.toStdString() << " is " << actual.toStdString();
  if (value.isString() && schema["format"].toString() == u"date") {
    EXPECT_TRUE(QDate::fromString(value.toString(), Qt::ISODate).isValid()) << where.toStdString();
  }
  if (value.isString() && schema["format"].toString() == u"date-time") {
    // A moment for clients elsewhere: with its offset, never a bare local time.
    static const QRegularExpression kOffset(QStringLiteral("(Z|[+-]\\d\\d:\\d\\d)$"));
    EXPECT_TRUE(QDateTime::fromString(value.toString(), Qt::ISODate).isValid() &&
                kOffset.match(value.toString()).hasMatch())
        << where.toStdString() << " is " << value.toString().toStdString();
  }
  if (value.isString() && schema.contains(u"pattern")) {
    EXPECT_TRUE(QRegularExpression(schema["pattern"].toString()).match(value.toString()).hasMatch())
        << where.toStdString() << " is " << value.toString().toStdString();
  }
  if (schema.contains(u"enum")) {
    EXPECT_TRUE(schema["enum"].toArray().contains(value))
        << where.toStdString() << " is " << value.toVariant().toString().toStdString();
  }
  if (value.isObject()) {
    const QJsonObject object = value.toObject();
    const QJsonObject properties = schema["properties"].toObject();
    for (const QJsonValue& name : schema["required"].toArray()) {
      EXPECT_TRUE(object.contains(name.toString()))
          << where.toStdString() << " lacks " << name.toString().toStdString();
    }
    for (auto it = object.begin(); it != object.end(); ++it) {
      if (properties.contains(it.key())) {
        ExpectMatches(document, properties[it.key()].toObject(), it.value(),
                      where + u'.' + it.key());
      } else {
        EXPECT_NE(schema["additionalProperties"], QJsonValue(false))
            << where.toStdString() << " has the undescribed " << it.key().toStdString();
      }
    }
  }
  if (value.isArray()) {
    for (const QJsonValue& item : value.toArray()) {
      ExpectMatches(document, schema["items"].toObject(), item, where + QStringLiteral("[]"));
    }
  }
}

// A server on the demo business with its HTTP face, and the API's description.
class HttpServer {
 public:
  explicit HttpServer(std::unique_ptr<ServerProcess> server) : server_(std::move(server)) {}

  bool start() {
    const QString keys = TestKeys::Write(server_->directory().path());
    if (!server_->start({QStringLiteral("--http"), QStringLiteral("0"),
                         QStringLiteral("--http-keys"), keys})) {
      return false;
    }
    description_ = Call(port(), "GET", QStringLiteral("/api/v1/openapi.json")).json();
    return port() != 0 && !description_.isEmpty();
  }
  quint16 port() const { return server_->httpPort(); }
  ServerProcess& process() { return *server_; }

  // Calls the API and checks the answer against the description of its path and status:
  // the status is one described, the headers it requires are there, the body fits.
  HttpAnswer call(const QByteArray& method, const QString& target, const QString& pattern,
                  const std::optional<QJsonObject>& body = std::nullopt,
                  const Headers& headers = {}) {
    HttpAnswer answer = Call(port(), method, target, body, headers);
    const QJsonObject responses =
        description_["paths"][pattern][QString::fromLatin1(method.toLower())]["responses"]
            .toObject();
    const QString status = QString::number(answer.status);
    EXPECT_TRUE(responses.contains(status))
        << method.constData() << ' ' << pattern.toStdString() << " may not answer "
        << answer.status << ": " << answer.body.constData();
    const QJsonObject response = Resolved(description_, responses[status].toObject());
    const QJsonObject described = response["headers"].toObject();
    for (auto it = described.begin(); it != described.end(); ++it) {
      if (!Resolved(description_, it.value().toObject())["required"].toBool()) continue;
      EXPECT_FALSE(answer.header(it.key().toLatin1()).isEmpty())
          << pattern.toStdString() << ' ' << answer.status << " lacks " << it.key().toStdString();
    }
    ExpectMatches(description_, response["content"]["application/json"]["schema"].toObject(),
                  QJsonDocument::fromJson(answer.body).object(), pattern);
    return answer;
  }

  // The reply part of a line-protocol request's answer.
  ReplyEnvelope ask(const QByteArray& request) {
    auto client = server_->connect();
    client->write(request);
    const QList<QByteArray> answers = ReadAnswers(*client, 1, 10000);
    return ReplyEnvelope::Read(answers.isEmpty() ? QString() : QString::fromLatin1(answers[0]));
  }

  const QJsonObject& description() const { return description_; }

 private:
  std::unique_ptr<ServerProcess> server_;
  QJsonObject description_;
};

QJsonObject ReservationBody(int units = 1) {
  return {{"facility", 1}, {"type", 1},    {"arrival", Iso(30)}, {"departure", Iso(33)},
          {"board", 1},    {"units", units}, {"persons", 2},     {"agent", 1},
          {"timeout", 600}};
}

// The road on SQLite (false) and on PostgreSQL (true).
class HttpRoadTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      if (!PostgresTestDatabase::Available()) GTEST_SKIP() << PostgresTestDatabase::kSkip;
      postgres_ = std::make_unique<PostgresTestDatabase>(PostgresTestDatabase::kDemo);
      server_ = std::make_unique<HttpServer>(std::make_unique<ServerProcess>(*postgres_));
    } else {
      server_ = std::make_unique<HttpServer>(std::make_unique<ServerProcess>(true));
    }
    ASSERT_TRUE(server_->start()) << server_->process().standardError().toStdString();
  }

  std::unique_ptr<PostgresTestDatabase> postgres_;
  std::unique_ptr<HttpServer> server_;
};

TEST_P(HttpRoadTest, TheBookingRoadAnswersAsTheLineProtocolDoes) {
  HttpServer& http = *server_;
  const QString availability =
      QStringLiteral("/api/v1/availability?facility=1&type=1&board=1&arrival=%1&departure=%2")
          .arg(Iso(30), Iso(33));
  const HttpAnswer free = http.call("GET", availability, "/api/v1/availability");
  ASSERT_EQ(free.status, 200) << free.body.constData();
  const QJsonArray offers = free.json()["availability"].toArray();
  ASSERT_EQ(offers.size(), 1);
  // The same LEDIG over TCP: the same numbers, only the dates in the protocol's form.
  const ReplyEnvelope ledig =
      http.ask(Request("l", "ANLEGGSNR;UTYPE;UTL_OBJ;PENSJONSTYPE;ANKOMST;AVREISE",
                       "LEDIG;1;1;*;1;" + Day(30) + ";" + Day(33)));
  ASSERT_EQ(ledig.rows().size(), 1);
  const QStringList row = ledig.rows().first();  // LEDIG;0;UTYPE;UTL_OBJ;ANK;AVR;PENS;LEDIG;PRIS
  EXPECT_EQ(offers[0]["type"].toInt(), row[2].toInt());
  EXPECT_EQ(offers[0]["arrival"].toString(), Iso(30));
  EXPECT_EQ(offers[0]["board"].toInt(), row[6].toInt());
  EXPECT_EQ(offers[0]["free"].toInt(), row[7].toInt());
  EXPECT_EQ(offers[0]["price"].toDouble(), row[8].toDouble());
  const int freeBefore = offers[0]["free"].toInt();

  const HttpAnswer held =
      http.call("POST", "/api/v1/reservations", "/api/v1/reservations", ReservationBody());
  ASSERT_EQ(held.status, 201) << held.body.constData();
  const qint64 refnr = held.json()["refnr"].toInteger();
  const Headers code{{"Booking-Code", held.json()["bookingCode"].toString().toLatin1()}};
  EXPECT_EQ(held.json()["price"].toDouble(), row[8].toDouble());
  EXPECT_EQ(held.json()["timeout"].toInt(), 600);
  EXPECT_EQ(http.call("GET", availability, "/api/v1/availability")
                .json()["availability"][0]["free"].toInt(),
            freeBefore - 1);

  const QString booking = QStringLiteral("/api/v1/reservations/%1").arg(refnr);
  const QJsonObject booker{{"agent", 1},         {"nation", "norge"},    {"surname", "Hansen"},
                           {"firstName", "Kari"}, {"address1", "Storgata 1"}, {"postcode", "0150"},
                           {"place", "Oslo"},     {"email", "kari@example.no"}};
  const HttpAnswer attached =
      http.call("PUT", booking + "/booker", "/api/v1/reservations/{refnr}/booker", booker, code);
  ASSERT_EQ(attached.status, 200) << attached.body.constData();
  EXPECT_EQ(attached.json()["refnr"].toInteger(), refnr);

  // Fetched over HTTP and over TCP alike.
  const HttpAnswer fetched =
      http.call("GET", booking, "/api/v1/reservations/{refnr}", std::nullopt, code);
  ASSERT_EQ(fetched.status, 200) << fetched.body.constData();
  const QJsonArray lines = fetched.json()["lines"].toArray();
  const ReplyEnvelope hentbook =
      http.ask(Request("h", "REFNR", "HENTBOOK;" + QString::number(refnr)));
  ASSERT_EQ(lines.size(), hentbook.rows().size());
  ASSERT_EQ(lines.size(), 1);
  const QStringList line = hentbook.rows().first();
  EXPECT_EQ(lines[0]["arrival"].toString(), Iso(30));
  EXPECT_EQ(line[4], Day(30));
  EXPECT_EQ(lines[0]["units"].toInt(), line[7].toInt());
  EXPECT_EQ(lines[0]["persons"].toInt(), line[8].toInt());
  EXPECT_EQ(lines[0]["price"].toDouble(), line[10].toDouble());

  const HttpAnswer cancelled =
      http.call("DELETE", booking, "/api/v1/reservations/{refnr}", std::nullopt, code);
  ASSERT_EQ(cancelled.status, 200) << cancelled.body.constData();
  EXPECT_TRUE(cancelled.json()["cancelled"].toBool());
  EXPECT_EQ(http.call("GET", availability, "/api/v1/availability")
                .json()["availability"][0]["free"].toInt(),
            freeBefore);

  // Each refusal: its status, the protocol's code and message unchanged.
  const HttpAnswer unknown =
      http.call("GET", "/api/v1/reservations/99999999", "/api/v1/reservations/{refnr}");
  EXPECT_EQ(unknown.status, 404);
  EXPECT_EQ(unknown.errorCode(), "-1001");
  EXPECT_EQ(unknown.errorMessage(), "Ugyldig refnr (99999999). Finnes ikke.");
  // More than a guest may hold: the web shop's key asks.
  const HttpAnswer overbooked =
      http.call("POST", "/api/v1/reservations", "/api/v1/reservations", ReservationBody(1000),
                TestKeys::Bearer(TestKeys::kReserve));
  EXPECT_EQ(overbooked.status, 409);
  EXPECT_EQ(overbooked.errorCode(), "-2065");
  QJsonObject strangeAgent = ReservationBody();
  strangeAgent["agent"] = 999;
  const HttpAnswer agent =
      http.call("POST", "/api/v1/reservations", "/api/v1/reservations", strangeAgent);
  EXPECT_EQ(agent.status, 400);
  EXPECT_EQ(agent.errorCode(), "-1006");
  const HttpAnswer facility = http.call(
      "GET", "/api/v1/payment-types?facility=9", "/api/v1/payment-types");
  EXPECT_EQ(facility.status, 400);
  EXPECT_EQ(facility.errorMessage(), "Ugyldig anlegg (9).");
  const HttpAnswer again = http.call("DELETE", "/api/v1/reservations/99999999",
                                     "/api/v1/reservations/{refnr}");
  EXPECT_EQ(again.status, 404);
}

// What a guest's page needs answered plainly: facilities by name, no stay offered at 0, dates
// and addresses that cannot be served refused with a sentence, and nothing written by them.
TEST_P(HttpRoadTest, AGuestsQuestionsAreAnsweredPlainly) {
  HttpServer& http = *server_;
  const HttpAnswer facilities = http.call("GET", "/api/v1/facilities", "/api/v1/facilities");
  ASSERT_EQ(facilities.status, 200) << facilities.body.constData();
  const QJsonArray named = facilities.json()["facilities"].toArray();
  ASSERT_EQ(named.size(), 3);
  EXPECT_EQ(named[0]["facility"].toInt(), 1);
  EXPECT_EQ(named[0]["name"].toString(), "Fjellheim Hyttegrend");
  EXPECT_EQ(named[2]["facility"].toInt(), 3);
  // The line protocol does not know the web face's own question.
  EXPECT_EQ(http.ask(Request("a", "ANLEGGSNR", "ANLEGG;1")).rows().size(), 0);

  // Beyond the price lists a type is free but has no price: said so, never 0.
  const auto availability = [&http](int arrival, int departure) {
    return http.call("GET",
                     QStringLiteral("/api/v1/availability?facility=1&arrival=%1&departure=%2")
                         .arg(Iso(arrival), Iso(departure)),
                     "/api/v1/availability");
  };
  const HttpAnswer unpriced = availability(3000, 3003);
  ASSERT_EQ(unpriced.status, 200) << unpriced.body.constData();
  const QJsonArray offers = unpriced.json()["availability"].toArray();
  ASSERT_FALSE(offers.isEmpty());
  for (const QJsonValue& offer : offers) {
    EXPECT_GT(offer["free"].toInt(), 0);
    EXPECT_TRUE(offer["price"].isNull());
    EXPECT_EQ(offer["priceReason"].toString(), "no_price");
  }
  const HttpAnswer priced = availability(30, 33);
  ASSERT_EQ(priced.status, 200);
  EXPECT_GT(priced.json()["availability"][0]["price"].toDouble(), 0);
  EXPECT_FALSE(priced.json()["availability"][0].toObject().contains("priceReason"));

  // A departure before the arrival, or on the same day, is no stay.
  for (int departure : {30, 33}) {
    const HttpAnswer backwards = availability(33, departure);
    EXPECT_EQ(backwards.status, 400);
    EXPECT_EQ(backwards.errorCode(), "invalid_stay");
    QJsonObject body = ReservationBody();
    body["arrival"] = Iso(33);
    body["departure"] = Iso(departure);
    const HttpAnswer held = http.call("POST", "/api/v1/reservations", "/api/v1/reservations", body);
    EXPECT_EQ(held.status, 400);
    EXPECT_EQ(held.errorCode(), "invalid_stay");
  }

  const auto matrix = [&http](int days) {
    return http.call("GET",
                     QStringLiteral("/api/v1/availability-matrix?facility=1&from=%1&to=%2")
                         .arg(Iso(1), Iso(days)),
                     "/api/v1/availability-matrix");
  };
  EXPECT_EQ(matrix(366).status, 200);
  const HttpAnswer tooLong = matrix(367);
  EXPECT_EQ(tooLong.status, 400);
  EXPECT_EQ(tooLong.errorCode(), "span_too_long");
  EXPECT_TRUE(tooLong.errorMessage().contains("366")) << tooLong.errorMessage().toStdString();

  // A booker whose address is no address is refused, and the hold stays a hold.
  const HttpAnswer held =
      http.call("POST", "/api/v1/reservations", "/api/v1/reservations", ReservationBody());
  ASSERT_EQ(held.status, 201) << held.body.constData();
  const QString booking = QStringLiteral("/api/v1/reservations/%1").arg(held.json()["refnr"].toInteger());
  const Headers code{{"Booking-Code", held.json()["bookingCode"].toString().toLatin1()}};
  QJsonObject booker{{"agent", 1}, {"nation", "norge"}, {"surname", "Hansen"},
                     {"postcode", "0150"}, {"email", "not an email"}};
  const HttpAnswer refused =
      http.call("PUT", booking + "/booker", "/api/v1/reservations/{refnr}/booker", booker, code);
  EXPECT_EQ(refused.status, 400);
  EXPECT_EQ(refused.errorCode(), "invalid_email");
  EXPECT_EQ(refused.json()["error"].toObject()["field"].toString(), "email");
  EXPECT_EQ(http.call("GET", booking, "/api/v1/reservations/{refnr}", std::nullopt, code)
                .json()["status"].toString(),
            "held");
  // The business's nations to choose from; a code it does not list is refused beside its
  // field (a German guest's DE, where the business writes D).
  const HttpAnswer nations = http.call("GET", "/api/v1/nations", "/api/v1/nations");
  ASSERT_EQ(nations.status, 200) << nations.body.constData();
  EXPECT_TRUE(nations.json()["nations"].toArray().contains(
      QJsonObject{{"code", "D"}, {"name", "Tyskland"}}))
      << nations.body.constData();
  booker["email"] = "kari.hansen+hytte@example.no";
  booker["nation"] = "DE";
  const HttpAnswer nation =
      http.call("PUT", booking + "/booker", "/api/v1/reservations/{refnr}/booker", booker, code);
  EXPECT_EQ(nation.status, 400);
  EXPECT_EQ(nation.json()["error"].toObject()["field"].toString(), "nation")
      << nation.body.constData();
  booker["nation"] = "D";
  EXPECT_EQ(http.call("PUT", booking + "/booker", "/api/v1/reservations/{refnr}/booker", booker,
                      code).status,
            200);
}

// A calendar feed: found by its token alone, answered again with 304 while nothing changed,
// and its token kept out of the log.
TEST_P(HttpRoadTest, ACalendarFeedIsServedByItsTokenWithValidators) {
  HttpServer& http = *server_;
  QFile secretFile(QDir(http.process().workingDirectory()).filePath("BookingCodes.secret"));
  ASSERT_TRUE(secretFile.open(QIODevice::ReadOnly));
  const FeedTokens tokens(QByteArray::fromHex(secretFile.readLine().trimmed()));
  const QString token = tokens.tokenFor(1, 1);
  const QString feed = "/ical/v1/1/1.ics?token=" + token;
  const QString pattern = "/ical/v1/{facility}/{type}.ics";

  const HttpAnswer before = http.call("GET", feed, pattern);
  ASSERT_EQ(before.status, 200) << before.body.constData();
  EXPECT_EQ(before.header("Content-Type"), "text/calendar; charset=utf-8");
  EXPECT_TRUE(before.body.startsWith("BEGIN:VCALENDAR\r\n"));

  // Every unit of the type taken for three nights: one event of those nights.
  const HttpAnswer free = http.call(
      "GET",
      QStringLiteral("/api/v1/availability?facility=1&type=1&board=1&arrival=%1&departure=%2")
          .arg(Iso(30), Iso(33)),
      "/api/v1/availability");
  const int units = free.json()["availability"][0]["free"].toInt();
  ASSERT_GT(units, 0);
  ASSERT_EQ(http.call("POST", "/api/v1/reservations", "/api/v1/reservations",
                      ReservationBody(units), TestKeys::Bearer(TestKeys::kReserve))
                .status,
            201);
  const HttpAnswer busy = http.call("GET", feed, pattern);
  ASSERT_EQ(busy.status, 200);
  const QByteArray first = QDate::fromString(Iso(30), Qt::ISODate).toString("yyyyMMdd").toLatin1();
  const QByteArray departure =
      QDate::fromString(Iso(33), Qt::ISODate).toString("yyyyMMdd").toLatin1();
  EXPECT_TRUE(busy.body.contains("UID:" + first + '-' + departure + "-1-1@taurelin\r\n"))
      << busy.body.constData();
  EXPECT_TRUE(busy.body.contains("DTSTART;VALUE=DATE:" + first + "\r\n"));
  EXPECT_TRUE(busy.body.contains("DTEND;VALUE=DATE:" + departure + "\r\n"));
  const QByteArray etag = busy.header("ETag");
  const QByteArray modified = busy.header("Last-Modified");
  EXPECT_TRUE(etag.startsWith('"') && etag.endsWith('"')) << etag.constData();
  EXPECT_NE(etag, before.header("ETag"));
  // Nothing changed since: the same bytes, and the validators answer 304 without a body.
  EXPECT_EQ(http.call("GET", feed, pattern).body, busy.body);
  for (const Headers& validator : {Headers{{"If-None-Match", etag}},
                                   Headers{{"If-Modified-Since", modified}}}) {
    const HttpAnswer unchanged = http.call("GET", feed, pattern, std::nullopt, validator);
    EXPECT_EQ(unchanged.status, 304) << validator[0].first.constData();
    EXPECT_TRUE(unchanged.body.isEmpty());
    EXPECT_EQ(unchanged.header("ETag"), etag);
  }
  EXPECT_EQ(http.call("GET", feed, pattern, std::nullopt, {{"If-None-Match", "\"other\""}}).status,
            200);

  // A wrong token, an unsold pair and a facility that is no number get the same 404.
  const HttpAnswer wrong =
      http.call("GET", "/ical/v1/1/1.ics?token=" + tokens.tokenFor(1, 2), pattern);
  const HttpAnswer unsold =
      http.call("GET", "/ical/v1/1/999.ics?token=" + tokens.tokenFor(1, 999), pattern);
  const HttpAnswer noNumber = http.call("GET", "/ical/v1/x/1.ics?token=" + token, pattern);
  const HttpAnswer none = http.call("GET", "/ical/v1/1/1.ics", pattern);
  for (const HttpAnswer* answer : {&wrong, &unsold, &noNumber, &none}) {
    EXPECT_EQ(answer->status, 404);
    EXPECT_EQ(answer->body, wrong.body);
  }
  EXPECT_EQ(Call(http.port(), "POST", feed).status, 405);

  const QStringList log = http.process().logMessages();
  EXPECT_FALSE(log.join(u'\n').contains(token));
  EXPECT_TRUE(log.join(u'\n').contains("GET /ical/v1/1/1.ics : 304"));
}

INSTANTIATE_TEST_SUITE_P(Backends, HttpRoadTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Postgres" : "Sqlite"; });

class HttpApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(http_.start()) << http_.process().standardError().toStdString();
  }
  HttpServer http_{std::make_unique<ServerProcess>(true)};
};

TEST_F(HttpApiTest, EndpointsAndParametersAreTheDescribedOnes) {
  const QJsonObject paths = http_.description()["paths"].toObject();
  const HttpAnswer index = http_.call("GET", "/api/v1", "/api/v1");
  ASSERT_EQ(index.status, 200);
  EXPECT_EQ(index.json()["regionalSettings"].toObject().size(), 5);
  int described = 0;
  for (const QJsonValue& endpoint : index.json()["endpoints"].toArray()) {
    const QString path = endpoint["path"].toString();
    const QString method = endpoint["method"].toString().toLower();
    SCOPED_TRACE(method.toStdString() + ' ' + path.toStdString());
    const QJsonObject operation = paths[path][method].toObject();
    ASSERT_FALSE(operation.isEmpty());
    ++described;
    QStringList served, documented;
    for (const QJsonValue& p : endpoint["parameters"].toArray()) {
      served << QStringLiteral("%1 %2 %3").arg(p["in"].toString(), p["name"].toString(),
                                               p["required"].toBool() ? "required" : "optional");
    }
    for (const QJsonValue& value : operation["parameters"].toArray()) {
      const QJsonObject p = Resolved(http_.description(), value.toObject());
      // The index lists what the instruction reads; the headers are checked below.
      if (p["in"].toString() == u"header") continue;
      documented << QStringLiteral("%1 %2 %3").arg(p["in"].toString(), p["name"].toString(),
                                                   p["required"].toBool() ? "required"
                                                                          : "optional");
    }
    EXPECT_EQ(served, documented);
    QJsonObject schema = operation["requestBody"]["content"]["application/json"]["schema"]
                             .toObject();
    if (schema.contains(u"$ref")) {
      schema = http_.description()["components"]["schemas"][schema["$ref"].toString().section(
                   u'/', -1)].toObject();
    }
    QStringList fields, properties, required, requiredDocumented;
    for (const QJsonValue& f : endpoint["body"].toArray()) {
      fields << f["name"].toString();
      if (f["required"].toBool()) required << f["name"].toString();
    }
    for (const QString& key : schema["properties"].toObject().keys()) properties << key;
    for (const QJsonValue& r : schema["required"].toArray()) requiredDocumented << r.toString();
    fields.sort();
    required.sort();
    requiredDocumented.sort();
    EXPECT_EQ(fields, properties);
    EXPECT_EQ(required, requiredDocumented);
  }
  // Besides the endpoints of the index: /health, /metrics, the nations, the channels' report,
  // the outbox and its retry, the index and the description.
  // Of headers the face reads, only Idempotency-Key is a parameter (the key and the booking
  // code are security schemes), and only the two writes a client may send again take it.
  int operations = 0;
  QStringList headers;
  for (auto path = paths.begin(); path != paths.end(); ++path) {
    const QJsonObject methods = path.value().toObject();
    operations += methods.size();
    for (auto method = methods.begin(); method != methods.end(); ++method) {
      for (const QJsonValue& value : method.value().toObject()["parameters"].toArray()) {
        const QJsonObject p = Resolved(http_.description(), value.toObject());
        if (p["in"].toString() == u"header") {
          headers << method.key() + u' ' + path.key() + u' ' + p["name"].toString();
        }
      }
    }
  }
  EXPECT_EQ(operations, described + 8);
  headers.sort();
  EXPECT_EQ(headers, QStringList({"post /api/v1/reservations Idempotency-Key",
                                  "put /api/v1/reservations/{refnr}/booker Idempotency-Key"}));
  const HttpAnswer health = http_.call("GET", "/health", "/health");
  EXPECT_EQ(health.status, 200);
  EXPECT_TRUE(health.json()["database"].toBool());
  const HttpAnswer metrics = Call(http_.port(), "GET", "/metrics", std::nullopt,
                                  TestKeys::Bearer(TestKeys::kManage));
  EXPECT_TRUE(metrics.body.contains("taurelin_http_requests_total{endpoint=\"/health\","
                                    "method=\"GET\",status=\"200\"} 1"))
      << metrics.body.constData();
  EXPECT_TRUE(metrics.body.contains("taurelin_pending_holds 0"));
}

// Each refusal of who may do what, held to the description: its status, its headers, its body.
TEST_F(HttpApiTest, RefusalsOfCallersAreTheDescribedOnes) {
  const QString reservations = QStringLiteral("/api/v1/reservations");
  const QString booking = QStringLiteral("/api/v1/reservations/{refnr}");
  const HttpAnswer unknownKey = http_.call("GET", "/api/v1/prices", "/api/v1/prices",
                                           std::nullopt, TestKeys::Bearer("tk_no_such_key"));
  EXPECT_EQ(unknownKey.status, 401);
  EXPECT_TRUE(unknownKey.header("WWW-Authenticate").contains("invalid_token"));
  EXPECT_EQ(http_.call("GET", "/metrics", "/metrics").status, 401);
  EXPECT_EQ(http_.call("POST", reservations, reservations, ReservationBody(),
                       TestKeys::Bearer(TestKeys::kRead))
                .status,
            403);
  EXPECT_EQ(http_.call("GET", "/health", "/health", std::nullopt,
                       {{"Host", "booking.example.org"}})
                .status,
            421);

  const HttpAnswer held = http_.call("POST", reservations, reservations, ReservationBody());
  ASSERT_EQ(held.status, 201) << held.body.constData();
  const QString path = reservations + u'/' + QString::number(held.json()["refnr"].toInteger());
  const Headers code{{"Booking-Code", held.json()["bookingCode"].toString().toLatin1()}};
  const HttpAnswer fetched = http_.call("GET", path, booking, std::nullopt, code);
  EXPECT_EQ(fetched.json()["status"].toString(), "held");
  EXPECT_TRUE(fetched.json()["holdEnds"].isString()) << fetched.body.constData();
  // A wrong code tells nothing more than a number that is not there.
  const HttpAnswer wrongCode = http_.call("GET", path, booking, std::nullopt,
                                          {{"Booking-Code", "AAAAAAAAAAAAAAAAAAAA"}});
  EXPECT_EQ(wrongCode.status, 404);
  EXPECT_EQ(wrongCode.errorCode(), "-1001");
  // Only a booking with its booker stays when cancelled; a bare hold is removed.
  const QJsonObject booker{{"agent", 1}, {"nation", "norge"}, {"surname", "Hansen"},
                           {"postcode", "0150"}};
  EXPECT_EQ(http_.call("PUT", path + "/booker", booking + "/booker", booker, code).status, 200);
  EXPECT_EQ(http_.call("DELETE", path, booking, std::nullopt, code).status, 200);
  const HttpAnswer again = http_.call("DELETE", path, booking, std::nullopt, code);
  EXPECT_EQ(again.status, 409);
  EXPECT_EQ(again.errorCode(), "already_cancelled");

  // A write sent again with its Idempotency-Key gets its first answer; another write with
  // the same key is refused.
  const Headers idempotent{{"Idempotency-Key", "order-17"}};
  const HttpAnswer first =
      http_.call("POST", reservations, reservations, ReservationBody(), idempotent);
  ASSERT_EQ(first.status, 201) << first.body.constData();
  const HttpAnswer replayed =
      http_.call("POST", reservations, reservations, ReservationBody(), idempotent);
  EXPECT_EQ(replayed.header("Idempotent-Replayed"), "true");
  EXPECT_EQ(replayed.body, first.body);
  const HttpAnswer reused =
      http_.call("POST", reservations, reservations, ReservationBody(2), idempotent);
  EXPECT_EQ(reused.status, 422);
  EXPECT_EQ(reused.errorCode(), "idempotency_key_reused");

  // A guest past its budget of reads, on a server that grants five a minute.
  auto process = std::make_unique<ServerProcess>();
  process->setConfiguration(QStringLiteral("GuestReadsPerMinute"), 5);
  HttpServer frugal(std::move(process));
  ASSERT_TRUE(frugal.start()) << frugal.process().standardError().toStdString();
  HttpAnswer limited;
  for (int i = 0; i < 10 && limited.status != 429; ++i) {
    limited = frugal.call("GET", "/health", "/health");
  }
  EXPECT_EQ(limited.status, 429);
  EXPECT_EQ(limited.header("RateLimit-Policy"), "\"reads\";q=5;w=60");
}

TEST_F(HttpApiTest, HostileRequestsAreRefusedClearlyAndChangeNothing) {
  const quint16 port = http_.port();
  const auto post = [port](const QByteArray& body, const QByteArray& type = "application/json") {
    return Exchange(port, "POST /api/v1/reservations HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " +
                              type + "\r\nContent-Length: " + QByteArray::number(body.size()) +
                              "\r\n\r\n" + body);
  };
  EXPECT_EQ(post("{\"facility\": 1,").errorCode(), "malformed_json");
  EXPECT_EQ(post("[1, 2]").errorCode(), "malformed_json");
  EXPECT_EQ(post("{}", "text/plain").status, 415);
  QJsonObject body = ReservationBody();
  const auto with = [&](const QString& key, const QJsonValue& value) {
    QJsonObject changed = body;
    if (value.isUndefined()) {
      changed.remove(key);
    } else {
      changed[key] = value;
    }
    return Call(port, "POST", "/api/v1/reservations", changed);
  };
  EXPECT_EQ(with("units", "1").errorCode(), "invalid_field");
  EXPECT_EQ(with("units", 1.5).errorCode(), "invalid_field");
  EXPECT_EQ(with("units", 0).errorCode(), "invalid_field");
  EXPECT_EQ(with("facility", 1e300).errorCode(), "invalid_field");
  EXPECT_EQ(with("timeout", QJsonValue::Undefined).errorCode(), "missing_field");
  EXPECT_EQ(with("timeout", 0).errorCode(), "invalid_field");  // would hold for ever
  EXPECT_EQ(with("units;ANTALL", 1).errorCode(), "unknown_field");
  EXPECT_EQ(with("arrival", "2027-02-30").errorCode(), "invalid_field");
  EXPECT_EQ(with("arrival", Iso(30).replace(u'-', u'.')).errorCode(), "invalid_field");
  EXPECT_EQ(with("price", 10.005).errorCode(), "invalid_field");
  EXPECT_EQ(with("refnr", "1; DROP TABLE BOOKING").errorCode(), "invalid_field");
  const HttpAnswer control =
      Call(port, "PUT", "/api/v1/reservations/1005/booker",
           QJsonObject{{"agent", 1}, {"nation", "N"}, {"surname", "A\nB"}, {"postcode", "1"}});
  EXPECT_EQ(control.errorCode(), "invalid_field");
  EXPECT_EQ(Call(port, "GET", "/api/v1/reservations/12x").errorCode(), "invalid_field");
  EXPECT_EQ(Call(port, "GET", "/api/v1/availability?facility=1&arrival=" + Iso(1) +
                                  "&departure=" + Iso(2) + "&unit=3")
                .errorCode(),
            "unknown_field");
  EXPECT_EQ(Call(port, "GET", "/api/v1/availability?facility=1&facility=2&arrival=" + Iso(1) +
                                  "&departure=" + Iso(2))
                .errorCode(),
            "invalid_field");
  const HttpAnswer oversized = post("{\"remark\": \"" + QByteArray(70 * 1024, 'x') + "\"}");
  EXPECT_EQ(oversized.status, 413);
  EXPECT_EQ(oversized.errorCode(), "payload_too_large");
  EXPECT_EQ(Call(port, "GET", "/api/v2/prices").status, 404);
  const HttpAnswer method = Call(port, "PATCH", "/api/v1/reservations");
  EXPECT_EQ(method.status, 405);
  EXPECT_TRUE(method.head.contains("Allow: POST"));
  EXPECT_EQ(Call(port, "GET", "/api/v1/openapi.json", QJsonObject{{"x", 1}}).status, 400);
  // What is no HTTP at all is not answered; its connection is closed at once.
  const HttpAnswer garbage = Exchange(port, "BREW /pot HTCPCP/1.0\r\n\r\n", 3000);
  EXPECT_EQ(garbage.status, 0);
  EXPECT_TRUE(garbage.closed);

  // None of it held a unit, and the server still answers.
  EXPECT_TRUE(Call(port, "GET", "/metrics", std::nullopt, TestKeys::Bearer(TestKeys::kManage))
                  .body.contains("taurelin_pending_holds 0"));
  EXPECT_EQ(Call(port, "GET", "/health").status, 200);
}

TEST_F(HttpApiTest, SlowAndFloodingClientsAreCutOff) {
  const quint16 port = http_.port();
  // A body far above the limit is never read whole.
  const QByteArray flood = "POST /api/v1/reservations HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                           "application/json\r\nContent-Length: 10485760\r\n\r\n" +
                           QByteArray(10 * 1024 * 1024, ' ');
  const HttpAnswer flooded = Exchange(port, flood);
  EXPECT_TRUE(flooded.status == 413 || flooded.closed) << flooded.head.constData();

  // A request that trickles in is answered 408 and closed, while others are served.
  QTcpSocket slow;
  slow.connectToHost(QStringLiteral("127.0.0.1"), port);
  ASSERT_TRUE(slow.waitForConnected(5000));
  slow.write("GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n");
  QByteArray answer;
  QDeadlineTimer deadline(15000);
  while (!deadline.hasExpired() && slow.state() == QAbstractSocket::ConnectedState) {
    EXPECT_EQ(Call(port, "GET", "/health").status, 200);
    slow.write("X");  // one byte a second keeps it from being idle
    slow.waitForReadyRead(1000);
    answer += slow.readAll();
  }
  answer += slow.readAll();
  EXPECT_TRUE(answer.startsWith("HTTP/1.1 408")) << answer.constData();
  EXPECT_FALSE(deadline.hasExpired());
}

}  // namespace
}  // namespace taurelin
