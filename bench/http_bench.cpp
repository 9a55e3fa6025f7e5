// The availability of one facility asked over HTTP (GET /api/v1/availability) beside the same
// LEDIG over the line protocol, of one server on the demo database: what the HTTP face adds,
// its checks of who asks included. HTTP is asked as a guest, and again with an integrator's
// key; the budgets are raised so that neither is ever refused, and every request still pays
// for the checks. Beside them, a cabin's calendar feed as a platform polls it: read whole,
// and asked again with its ETag (304, the poll that finds nothing new).
//
//   http_bench [REQUESTS]
//
// One blocking client on each face, one keep-alive connection each, alternating in blocks
// after a warm-up; the answers are checked to list the same free units.

#include "demo_database.h"
#include "loopback.h"

#include "store/alias_list.h"
#include "store/connection.h"
#include "channels/feed_token.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <unistd.h>

namespace {

using namespace taurelin;
using namespace taurelin::bench;

// The free units of each type in a JSON availability answer, and in a LEDIG answer.
QList<int> FreeInJson(const QByteArray& body) {
  QList<int> free;
  for (const QJsonValue& row : QJsonDocument::fromJson(body)["availability"].toArray()) {
    free << row["free"].toInt();
  }
  return free;
}
QList<int> FreeInLine(const QByteArray& answer) {
  // LEDIG;0;UTYPE;UTL_OBJ;ANKOMST;AVREISE;PENSJONSTYPE;LEDIG;PRIS per row
  const QList<QByteArray> values = answer.mid(answer.indexOf("&data=") + 6).split(';');
  QList<int> free;
  for (qsizetype i = 7; i < values.size(); i += 9) free << values[i].toInt();
  return free;
}

int Measure(int requests) {
  QTemporaryDir dir;
  const QString databaseFile = dir.filePath(QStringLiteral("demo.db"));
  if (!InstallDemo(databaseFile)) return 1;

  ServerUnderTest server(databaseFile);
  // An integrator's key, in the key file as its SHA-256 only.
  const QByteArray key = "tk_bench_key_0123456789abcdefghij";
  const QString keyFile = QDir(server.directory()).filePath(QStringLiteral("api-keys"));
  {
    QFile keys(keyFile);
    if (!keys.open(QIODevice::WriteOnly)) return 1;
    keys.write("bench:read:" + QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex() +
               '\n');
  }
  server.setConfiguration(QStringLiteral("GuestReadsPerMinute"), 1000000);
  server.setConfiguration(QStringLiteral("KeyReadsPerMinute"), 1000000);
  const int linePort = server.start(
      {QStringLiteral("--http"), QStringLiteral("0"), QStringLiteral("--http-keys"), keyFile});
  const int httpPort = linePort < 0 ? -1 : server.httpPort();
  if (httpPort < 0) return 1;

  const QDate arrival = QDate::currentDate().addDays(30);
  const QDate departure = arrival.addDays(7);
  const QByteArray http =
      "GET /api/v1/availability?facility=1&arrival=" + arrival.toString(Qt::ISODate).toLatin1() +
      "&departure=" + departure.toString(Qt::ISODate).toLatin1() +
      " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  const QByteArray keyed = QByteArray(http).replace(
      "\r\n\r\n", "\r\nAuthorization: Bearer " + key + "\r\n\r\n");
  const QByteArray line =
      "messageID=bench&count=1&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;PENSJONSTYPE;ANKOMST;"
      "AVREISE&data=LEDIG;1;*;*;*;" +
      arrival.toString(u"yyyy.MM.dd").toLatin1() + ";" +
      departure.toString(u"yyyy.MM.dd").toLatin1() + "\n";
  const int httpFd = ConnectLoopback(httpPort);
  const int keyedFd = ConnectLoopback(httpPort);
  const int lineFd = ConnectLoopback(linePort);
  const int feedFd = ConnectLoopback(httpPort);
  QByteArray body;
  QByteArray keyedBody;
  QByteArray answer;

  // The feed of rental type 2 at facility 1, with its six cabins sold on three stays.
  for (const int day : {25, 40, 80}) {
    const QByteArray reserve =
        "messageID=sold&count=1&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;AVREISE;"
        "PENSJONSTYPE;ANTALL;ANT_PERSONER;AGENT;PRIS;REFNR;TIMEOUT&data=RESERVER;1;2;*;" +
        QDate::currentDate().addDays(day).toString(u"yyyy.MM.dd").toLatin1() + ";" +
        QDate::currentDate().addDays(day + 3).toString(u"yyyy.MM.dd").toLatin1() +
        ";1;6;2;1;;*;3600\n";
    if (RoundTrip(lineFd, reserve, &answer) < 0 || !answer.contains("RESERVER;0;")) {
      std::fprintf(stderr, "the cabins could not be sold: %s\n", answer.constData());
      return 1;
    }
  }
  QFile secretFile(QDir(server.directory()).filePath(QStringLiteral("BookingCodes.secret")));
  if (!secretFile.open(QIODevice::ReadOnly)) return 1;
  const QByteArray feed = "GET /ical/v1/1/2.ics?token=" +
                          FeedTokens(QByteArray::fromHex(secretFile.readLine().trimmed()))
                              .tokenFor(1, 2)
                              .toLatin1() +
                          " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  QByteArray feedAnswer;
  if (HttpRoundTrip(feedFd, feed, &feedAnswer, &answer) < 0 || !feedAnswer.contains("BEGIN:VEVENT")) {
    std::fprintf(stderr, "the feed is no calendar:\n%s\n", feedAnswer.constData());
    return 1;
  }
  const qsizetype tagAt = answer.toLower().indexOf("etag:");
  const QByteArray etag = answer.mid(tagAt + 5, answer.indexOf("\r\n", tagAt) - tagAt - 5).trimmed();
  const QByteArray conditional =
      QByteArray(feed).replace("\r\n\r\n", "\r\nIf-None-Match: " + etag + "\r\n\r\n");
  if (HttpRoundTrip(feedFd, conditional, &feedAnswer, &answer) < 0 ||
      !answer.startsWith("HTTP/1.1 304")) {
    std::fprintf(stderr, "the feed asked again is no 304:\n%s\n", answer.constData());
    return 1;
  }
  if (HttpRoundTrip(httpFd, http, &body) < 0 || HttpRoundTrip(keyedFd, keyed, &keyedBody) < 0 ||
      RoundTrip(lineFd, line, &answer) < 0) {
    return 1;
  }
  const QList<int> free = FreeInLine(answer);
  if (free.isEmpty() || FreeInJson(body) != free || FreeInJson(keyedBody) != free) {
    std::fprintf(stderr, "the faces answer differently:\n%s\n%s\n%s\n", body.constData(),
                 keyedBody.constData(), answer.constData());
    return 1;
  }

  std::vector<double> httpTimes, keyedTimes, lineTimes, feedTimes, unchangedTimes;
  for (int i = 0; i < 100; ++i) {
    HttpRoundTrip(httpFd, http, &body), HttpRoundTrip(keyedFd, keyed, &body);
    RoundTrip(lineFd, line);
  }
  constexpr int kBlock = 100;
  for (int done = 0; done < requests; done += kBlock) {
    for (int i = 0; i < kBlock; ++i) httpTimes.push_back(HttpRoundTrip(httpFd, http, &body));
    for (int i = 0; i < kBlock; ++i) keyedTimes.push_back(HttpRoundTrip(keyedFd, keyed, &body));
    for (int i = 0; i < kBlock; ++i) lineTimes.push_back(RoundTrip(lineFd, line));
    for (int i = 0; i < kBlock; ++i) feedTimes.push_back(HttpRoundTrip(feedFd, feed, &feedAnswer));
    for (int i = 0; i < kBlock; ++i) {
      unchangedTimes.push_back(HttpRoundTrip(feedFd, conditional, &feedAnswer));
    }
  }
  // The last answers too must be answers, never a refusal.
  if (FreeInJson(body) != free) {
    std::fprintf(stderr, "an answer was no availability:\n%s\n", body.constData());
    return 1;
  }
  ::close(httpFd);
  ::close(keyedFd);
  ::close(lineFd);
  ::close(feedFd);
  if (std::count(feedTimes.begin(), feedTimes.end(), -1.0) +
          std::count(unchangedTimes.begin(), unchangedTimes.end(), -1.0) +
          std::count(httpTimes.begin(), httpTimes.end(), -1.0) +
          std::count(keyedTimes.begin(), keyedTimes.end(), -1.0) +
          std::count(lineTimes.begin(), lineTimes.end(), -1.0) >
      0) {
    std::fprintf(stderr, "a connection failed\n");
    return 1;
  }

  const double lineMedian = Percentile(lineTimes, 0.5);
  const double lineP99 = Percentile(lineTimes, 0.99);
  std::printf("requests: %zu each; facility 1, all types, 7 nights from %s, %lld types\n",
              httpTimes.size(), qPrintable(arrival.toString(Qt::ISODate)),
              static_cast<long long>(free.size()));
  std::printf("%-36s %10s %10s %8s %8s\n", "", "median us", "p99 us", "ratio", "p99 ratio");
  const auto row = [&](const char* name, const std::vector<double>& times) {
    const double median = Percentile(times, 0.5);
    const double p99 = Percentile(times, 0.99);
    std::printf("%-36s %10.1f %10.1f %8.2f %8.2f\n", name, median, p99, median / lineMedian,
                p99 / lineP99);
  };
  row("GET /api/v1/availability, guest", httpTimes);
  row("GET /api/v1/availability, key", keyedTimes);
  row("LEDIG over the line protocol", lineTimes);
  row("GET /ical/v1/1/2.ics, whole (200)", feedTimes);
  row("the same with its ETag (304)", unchangedTimes);
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  const int requests = arguments.size() > 1 ? std::max(100, arguments[1].toInt()) : 2000;
  return Measure(requests);
}
