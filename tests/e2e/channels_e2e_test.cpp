// Channel calendars against the built server: a platform's calendar served on this machine by
// Python's http.server is read within seconds of start, its events booked, moved and
// cancelled; a conflict with a unit sold here first is reported everywhere the issue says;
// and two servers on one PostgreSQL database book each event once.

#include "http_client.h"
#include "server_process.h"

#include "store/connection.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QThread>

#include <functional>
#include <memory>

namespace taurelin {
namespace {

constexpr const char* kChannel = "platform-cabin";

// The calendar's date of today plus `days`: yyyymmdd.
QByteArray IcalDay(int days) { return Iso(days).remove(u'-').toLatin1(); }

QByteArray Event(const QByteArray& uid, int from, int to, const QByteArray& extra = {}) {
  return "BEGIN:VEVENT\r\nDTSTAMP:20261201T120000Z\r\nUID:" + uid +
         "\r\nDTSTART;VALUE=DATE:" + IcalDay(from) + "\r\nDTEND;VALUE=DATE:" + IcalDay(to) +
         "\r\nSUMMARY:Reserved\r\n" + extra + "END:VEVENT\r\n";
}

QByteArray Calendar(const QByteArray& events) {
  return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Platform//Hosting Calendar//EN\r\n"
         "CALSCALE:GREGORIAN\r\n" + events + "END:VCALENDAR\r\n";
}

bool Until(const std::function<bool()>& done, int ms = 20000) {
  QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QThread::msleep(100);
  }
  return true;
}

// Python's http.server on 127.0.0.1, serving a folder; it answers If-Modified-Since with 304.
class FeedServer {
 public:
  FeedServer() {
    process_.setProgram(QStringLiteral("python3"));
    process_.setArguments({"-u", "-m", "http.server", "--bind", "127.0.0.1", "--directory",
                           dir_.path(), "0"});
    process_.start();
    static const QRegularExpression kPort(QStringLiteral("port (\\d+)"));
    QByteArray said;
    Until([&] {
      process_.waitForReadyRead(100);
      said += process_.readAllStandardOutput();
      port_ = kPort.match(QString::fromLatin1(said)).captured(1).toUShort();
      return port_ != 0 || process_.state() == QProcess::NotRunning;
    }, 10000);
  }
  ~FeedServer() {
    process_.kill();
    process_.waitForFinished(5000);
  }
  quint16 port() const { return port_; }
  QString url(const QString& name) const {
    return QStringLiteral("http://127.0.0.1:%1/%2").arg(port_).arg(name);
  }
  // Writes a calendar, dated `age` seconds from now so that a changed file is never taken
  // for the one read in the same second.
  void write(const QString& name, const QByteArray& text, int age = 0) {
    QFile file(dir_.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.setFileTime(QDateTime::currentDateTime().addSecs(age),
                     QFileDevice::FileModificationTime);
  }

 private:
  QTemporaryDir dir_;
  QProcess process_;
  quint16 port_ = 0;
};

// A server on the demo business with a channel file, on SQLite (false) or PostgreSQL (true).
class ChannelsTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      if (!PostgresTestDatabase::Available()) GTEST_SKIP() << PostgresTestDatabase::kSkip;
      postgres_ = std::make_unique<PostgresTestDatabase>(PostgresTestDatabase::kDemo);
    } else {
      sqlite_ = std::make_unique<TestDatabase>(true);
    }
    server_ = newServer();
    ASSERT_NE(feeds_.port(), 0) << "python3 -m http.server did not start";
  }

  std::unique_ptr<ServerProcess> newServer() {
    return postgres_ ? std::make_unique<ServerProcess>(*postgres_)
                     : std::make_unique<ServerProcess>(*sqlite_);
  }

  QString channelFile(const ServerProcess& server) {
    const QString file = server.directory().filePath(QStringLiteral("channels.ini"));
    QFile out(file);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(QStringLiteral("[%1]\nurl = %2\nfacility = 1\ntype = 2\nagent = 3\n")
                  .arg(kChannel, feeds_.url(QStringLiteral("cabin.ics")))
                  .toUtf8());
    return file;
  }

  bool start(ServerProcess& server, bool withChannels = true) {
    QStringList arguments{"--http", "0", "--http-keys",
                          TestKeys::Write(server.directory().path())};
    if (withChannels) arguments << "--channels" << channelFile(server);
    return server.start(arguments);
  }

  // Waits for the server's `count`-th import of the channel (or, when `orElsewhere`, for its
  // leaving one to another server).
  bool imported(const ServerProcess& server, int count = 1, bool orElsewhere = false) {
    static const QRegularExpression kDone(QStringLiteral(" events read|another server"));
    return Until([&] {
      const QStringList lines =
          server.logMessages().filter(QStringLiteral("Channel %1: ").arg(kChannel));
      return lines.filter(QStringLiteral(" events read")).size() >= count ||
             (orElsewhere && !lines.filter(kDone).isEmpty());
    });
  }

  int freeUnits(int from, int to) {
    const HttpAnswer answer = Call(
        server_->httpPort(), "GET",
        QStringLiteral("/api/v1/availability?facility=1&type=2&board=1&arrival=%1&departure=%2")
            .arg(Iso(from), Iso(to)));
    return answer.json()["availability"].toArray()[0].toObject()["free"].toInt(-100);
  }

  QJsonObject channel() {
    const HttpAnswer answer = Call(server_->httpPort(), "GET", "/api/v1/channels", std::nullopt,
                                   TestKeys::Bearer(TestKeys::kManage));
    return answer.json()["channels"].toArray()[0].toObject();
  }

  std::unique_ptr<TestDatabase> sqlite_;
  std::unique_ptr<PostgresTestDatabase> postgres_;
  FeedServer feeds_;
  std::unique_ptr<ServerProcess> server_;
};

TEST_P(ChannelsTest, APlatformsBookingsAreBookedMovedCancelledAndTheirConflictsReported) {
  // Every unit of the type is sold here first on days 100 to 102.
  ASSERT_TRUE(start(*server_, false)) << server_->standardError().toStdString();
  const HttpAnswer sold = Call(server_->httpPort(), "POST", "/api/v1/reservations",
                               QJsonObject{{"facility", 1}, {"type", 2}, {"arrival", Iso(100)},
                                           {"departure", Iso(102)}, {"board", 1}, {"units", 6},
                                           {"persons", 2}, {"agent", 1}, {"timeout", 3600}},
                               TestKeys::Bearer(TestKeys::kManage));
  ASSERT_EQ(sold.status, 201) << sold.body.constData();
  const qint64 soldHere = sold.json()["refnr"].toInteger();
  server_->stop();

  feeds_.write(QStringLiteral("cabin.ics"),
               Calendar(Event("stay@platform", 40, 43) +
                        Event("blocked@platform", 50, 52) +
                        Event("gone@platform", 45, 47, "STATUS:CANCELLED\r\n") +
                        Event("late@platform", 101, 103)),
               -60);
  ASSERT_TRUE(start(*server_)) << server_->standardError().toStdString();
  ASSERT_TRUE(imported(*server_)) << server_->logMessages().join(u'\n').toStdString();
  EXPECT_EQ(freeUnits(40, 43), 5);
  EXPECT_EQ(freeUnits(50, 52), 5);
  EXPECT_EQ(freeUnits(45, 47), 6);
  EXPECT_LT(freeUnits(101, 102), 0);  // overbooked: the guest exists

  QJsonObject report = channel();
  EXPECT_EQ(report["name"].toString(), QString::fromLatin1(kChannel));
  EXPECT_FALSE(report["lastSuccess"].isNull());
  EXPECT_TRUE(report["lastError"].isNull());
  EXPECT_EQ(report["lastImport"].toObject()["added"].toInt(), 3);
  const QJsonArray conflicts = report["conflicts"].toArray();
  ASSERT_EQ(conflicts.size(), 1);
  EXPECT_EQ(conflicts[0].toObject()["uid"].toString(), QStringLiteral("late@platform"));
  EXPECT_EQ(conflicts[0].toObject()["otherRefnrs"].toArray(), QJsonArray{soldHere});

  const HttpAnswer health = Call(server_->httpPort(), "GET", "/health");
  EXPECT_EQ(health.status, 200);
  EXPECT_EQ(health.json()["status"].toString(), QStringLiteral("degraded"));
  const HttpAnswer metrics = Call(server_->httpPort(), "GET", "/metrics", std::nullopt,
                                  TestKeys::Bearer(TestKeys::kManage));
  EXPECT_TRUE(metrics.body.contains("taurelin_channel_conflicts{channel=\"platform-cabin\"} 1\n"))
      << metrics.body.constData();
  EXPECT_TRUE(metrics.body.contains("taurelin_channel_feed_age_seconds{channel=\"platform-cabin\"} "));
  // A guest is not told of the channels.
  EXPECT_EQ(Call(server_->httpPort(), "GET", "/api/v1/channels").status, 401);
  server_->stop();
  EXPECT_TRUE(server_->standardError().contains(QStringLiteral("Overbooked: channel platform-cabin")))
      << server_->standardError().toStdString();

  // The stay moves a night later, the blocked window goes; the conflict stays as it was. What
  // is gone stays booked until reads have lacked it for ChannelRemovedAfter seconds (none
  // here: the next read).
  server_->setConfiguration(QStringLiteral("ChannelRemovedAfter"), 0);
  const QByteArray later = Calendar(Event("stay@platform", 41, 44) + Event("late@platform", 101, 103));
  feeds_.write(QStringLiteral("cabin.ics"), later, 60);
  ASSERT_TRUE(start(*server_)) << server_->standardError().toStdString();
  ASSERT_TRUE(imported(*server_, 2)) << server_->logMessages().join(u'\n').toStdString();
  EXPECT_EQ(freeUnits(40, 41), 6);
  EXPECT_EQ(freeUnits(41, 44), 5);
  EXPECT_EQ(freeUnits(50, 52), 5);
  report = channel();
  EXPECT_EQ(report["lastImport"].toObject()["moved"].toInt(), 1);
  EXPECT_EQ(report["waiting"].toInt(), 1);
  EXPECT_EQ(report["conflicts"].toArray().size(), 1);
  server_->stop();
  ASSERT_TRUE(start(*server_)) << server_->standardError().toStdString();
  ASSERT_TRUE(imported(*server_, 3)) << server_->logMessages().join(u'\n').toStdString();
  EXPECT_EQ(freeUnits(50, 52), 6);
  EXPECT_EQ(channel()["lastImport"].toObject()["cancelled"].toInt(), 1);
  server_->stop();

  // Served empty: the calendar is held as suspect, the operator is told, and nothing is
  // cancelled.
  feeds_.write(QStringLiteral("cabin.ics"), Calendar({}), 120);
  ASSERT_TRUE(start(*server_)) << server_->standardError().toStdString();
  ASSERT_TRUE(imported(*server_, 4)) << server_->logMessages().join(u'\n').toStdString();
  EXPECT_EQ(freeUnits(41, 44), 5);
  report = channel();
  EXPECT_EQ(report["suspect"].toObject()["lacking"].toInt(), 2);
  EXPECT_EQ(report["heldBack"].toInt(), 2);
  const HttpAnswer suspect = Call(server_->httpPort(), "GET", "/health");
  EXPECT_TRUE(suspect.body.contains("held as suspect")) << suspect.body.constData();
  server_->stop();
  EXPECT_TRUE(server_->standardError().contains(QStringLiteral("held as suspect")))
      << server_->standardError().toStdString();
}

// Two servers on one database read the same calendar at once: each event is booked once.
TEST_P(ChannelsTest, TwoServersBookEachEventOnce) {
  QByteArray events;
  for (int i = 0; i < 20; ++i) {
    events += Event("e" + QByteArray::number(i) + "@platform", 120 + 3 * i, 122 + 3 * i);
  }
  feeds_.write(QStringLiteral("cabin.ics"), Calendar(events), -60);
  std::unique_ptr<ServerProcess> other = newServer();
  ASSERT_TRUE(start(*server_)) << server_->standardError().toStdString();
  ASSERT_TRUE(start(*other)) << other->standardError().toStdString();
  ASSERT_TRUE(imported(*server_, 1, true)) << server_->logMessages().join(u'\n').toStdString();
  ASSERT_TRUE(imported(*other, 1, true)) << other->logMessages().join(u'\n').toStdString();
  for (int i = 0; i < 20; ++i) EXPECT_EQ(freeUnits(120 + 3 * i, 122 + 3 * i), 5) << i;
}

// The runs of busy nights a feed gives: its events' DTSTART and DTEND lines, sorted.
QStringList Runs(const QByteArray& feed) {
  QStringList runs;
  QString start;
  for (const QByteArray& line : feed.split('\n')) {
    const QString text = QString::fromLatin1(line.trimmed());
    if (text.startsWith(u"DTSTART")) start = text;
    if (text.startsWith(u"DTEND")) runs << start + u' ' + text;
  }
  runs.sort();
  return runs;
}

// A cabin's export read by our own importer onto a second database, where that cabin is one
// unit: the second server's export has the same busy nights.
TEST_P(ChannelsTest, AnExportReadByAnotherServerGivesTheSameBusyNights) {
  ASSERT_TRUE(start(*server_, false)) << server_->standardError().toStdString();
  const auto reserve = [&](int from, int to, int units) {
    const HttpAnswer held = Call(
        server_->httpPort(), "POST", "/api/v1/reservations",
        QJsonObject{{"facility", 1}, {"type", 2}, {"arrival", Iso(from)}, {"departure", Iso(to)},
                    {"board", 1}, {"units", units}, {"persons", 2}, {"agent", 1},
                    {"timeout", 3600}},
        TestKeys::Bearer(TestKeys::kManage));
    EXPECT_EQ(held.status, 201) << held.body.constData();
  };
  // Full on days 3 to 5 and 14 to 23 (the demo's booking 1001 holds the sixth cabin on days 14
  // to 20): two runs.
  reserve(3, 6, 6);
  reserve(14, 21, 5);
  reserve(21, 24, 6);
  const QString base = QStringLiteral("http://127.0.0.1:%1").arg(server_->httpPort());
  int exitCode = -1;
  const QByteArray urls = server_->runOnce({"--ical-urls", "--base-url", base}, &exitCode);
  ASSERT_EQ(exitCode, 0) << urls.constData();
  QString cabins;
  for (const QByteArray& line : urls.split('\n')) {
    if (line.startsWith("1 2 ")) cabins = QString::fromLatin1(line.mid(4));
  }
  ASSERT_TRUE(cabins.startsWith(base + QStringLiteral("/ical/v1/1/2.ics?token="))) << urls.constData();
  const HttpAnswer exported = Call(server_->httpPort(), "GET", cabins.mid(base.size()));
  ASSERT_EQ(exported.status, 200) << exported.body.constData();
  const QStringList runs = Runs(exported.body);
  ASSERT_EQ(runs.size(), 2) << exported.body.constData();
  const auto run = [](int from, int to) {
    return QStringLiteral("DTSTART;VALUE=DATE:%1 DTEND;VALUE=DATE:%2")
        .arg(QString::fromLatin1(IcalDay(from)), QString::fromLatin1(IcalDay(to)));
  };
  EXPECT_EQ(runs, QStringList({run(3, 6), run(14, 24)}));

  // The second business: the same layout with one cabin of the type, and no bookings.
  const QString oneCabin = QStringLiteral(
      "DELETE FROM LEIE_ALLOT; DELETE FROM LEIE; DELETE FROM BOOKING; DELETE FROM ALLOTLINJE;"
      "UPDATE UTLEIEOB SET UTYPE = 1 WHERE OBJNR IN ('FH-202', 'FH-203', 'FH-204', 'FH-205', "
      "'FH-206');");
  std::unique_ptr<TestDatabase> sqlite;
  std::unique_ptr<PostgresTestDatabase> postgres;
  std::unique_ptr<ServerProcess> second;
  if (postgres_) {
    postgres = std::make_unique<PostgresTestDatabase>(PostgresTestDatabase::kDemo);
    postgres->run(oneCabin);
    second = std::make_unique<ServerProcess>(*postgres);
  } else {
    sqlite = std::make_unique<TestDatabase>(true);
    sqlite->run(oneCabin);
    second = std::make_unique<ServerProcess>(*sqlite);
  }
  const QString file = second->directory().filePath(QStringLiteral("channels.ini"));
  QFile out(file);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write(QStringLiteral("[first-server]\nurl = %1\nfacility = 1\ntype = 2\nagent = 3\n")
                .arg(cabins)
                .toUtf8());
  out.close();
  ASSERT_TRUE(second->start({"--http", "0", "--channels", file}))
      << second->standardError().toStdString();
  ASSERT_TRUE(Until([&] {
    return !second->logMessages().filter(QStringLiteral("Channel first-server: 2 events read")).isEmpty();
  })) << second->logMessages().join(u'\n').toStdString();
  const QByteArray secondUrls = second->runOnce(
      {"--ical-urls", "--base-url", QStringLiteral("http://127.0.0.1:%1").arg(second->httpPort())});
  QString secondCabin;
  for (const QByteArray& line : secondUrls.split('\n')) {
    if (line.startsWith("1 2 ")) secondCabin = QString::fromLatin1(line.mid(4));
  }
  const HttpAnswer again = Call(second->httpPort(), "GET",
                                QUrl(secondCabin).toString(QUrl::RemoveScheme | QUrl::RemoveAuthority));
  ASSERT_EQ(again.status, 200) << secondUrls.constData();
  EXPECT_EQ(Runs(again.body), runs) << again.body.constData();
}

INSTANTIATE_TEST_SUITE_P(Backends, ChannelsTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Postgres" : "Sqlite"; });

}  // namespace
}  // namespace taurelin
