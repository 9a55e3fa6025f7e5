// An exported calendar feed as a platform takes it: its URL printed by --ical-urls, fetched
// from the running server, and read by Python's icalendar.

#include "http_client.h"
#include "server_process.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QUrl>

namespace taurelin {
namespace {

// A Python that has icalendar (the system's, where another comes first on PATH); empty: none.
QString PythonWithIcalendar() {
  for (const QString& python : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
    QProcess probe;
    probe.start(python, {"-c", "import icalendar"});
    if (probe.waitForFinished(20000) && probe.exitStatus() == QProcess::NormalExit &&
        probe.exitCode() == 0) {
      return python;
    }
  }
  return QString();
}

TEST(CalendarFeedTest, APrintedUrlServesAFeedThatIcalendarReads) {
  const QString python = PythonWithIcalendar();
  if (python.isEmpty()) GTEST_SKIP() << "no Python with icalendar (python3-icalendar)";
  // Long enough to be folded, with characters of two, three and four octets.
  const QString summary =
      QStringLiteral("Ikke tilgjengelig – opptatt på en annen kanal, blåbærhytta ved vannet 🏔");
  TestDatabase database(true);
  ServerProcess server(database);
  server.setConfiguration("IcalSummary", summary);
  const QString keys = TestKeys::Write(server.directory().path());
  ASSERT_TRUE(server.start({"--http", "0", "--http-keys", keys})) << server.standardError().toStdString();

  const HttpAnswer free = Call(
      server.httpPort(), "GET",
      QStringLiteral("/api/v1/availability?facility=1&type=1&board=1&arrival=%1&departure=%2")
          .arg(Iso(30), Iso(33)));
  const int units = free.json()["availability"][0]["free"].toInt();
  ASSERT_GT(units, 0) << free.body.constData();
  const QJsonObject reservation{{"facility", 1}, {"type", 1},       {"arrival", Iso(30)},
                                {"departure", Iso(33)}, {"board", 1}, {"units", units},
                                {"persons", 2}, {"agent", 1},       {"timeout", 600}};
  ASSERT_EQ(Call(server.httpPort(), "POST", "/api/v1/reservations", reservation,
                 TestKeys::Bearer(TestKeys::kReserve))
                .status,
            201);

  QProcess print;
  print.setWorkingDirectory(server.workingDirectory());
  print.start(TAURELIN_API_BINARY,
              {"--config", server.directory().filePath("taurelin.conf"), "--aliases",
               database.aliases().file(), "--ical-urls", "--http",
               QString::number(server.httpPort())});
  ASSERT_TRUE(print.waitForFinished(30000));
  ASSERT_EQ(print.exitCode(), 0) << print.readAllStandardError().constData();
  QString url;
  for (const QByteArray& line : print.readAllStandardOutput().split('\n')) {
    if (line.startsWith("1 1 ")) url = QString::fromLatin1(line.mid(4));
  }
  ASSERT_TRUE(url.startsWith(QStringLiteral("http://127.0.0.1:%1/ical/v1/1/1.ics?token=")
                                 .arg(server.httpPort())))
      << url.toStdString();

  const HttpAnswer feed = Call(server.httpPort(), "GET", QUrl(url).path() + '?' + QUrl(url).query());
  ASSERT_EQ(feed.status, 200) << feed.body.constData();
  QFile file(server.directory().filePath("feed.ics"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(feed.body);
  file.close();
  const auto day = [](int fromToday) { return QDate::currentDate().addDays(fromToday).toString("yyyyMMdd"); };
  QProcess check;
  check.start(python, {TAURELIN_ICAL_CHECK, file.fileName(), summary, day(30), day(33)});
  ASSERT_TRUE(check.waitForFinished(30000));
  EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardError().constData();
}

}  // namespace
}  // namespace taurelin
