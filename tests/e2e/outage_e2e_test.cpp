// A database outage seen through the server: requests meanwhile answer their handler's
// database error, the server reconnects on the next request, and the operator hears once.

#include "demo_requests.h"
#include "server_process.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

QString Ask(QTcpSocket& client, const QByteArray& request) {
  client.write(request);
  const QList<QByteArray> answers = ReadAnswers(client, 1, 20000);
  return answers.isEmpty() ? QString() : Reply(answers.first());
}

QByteArray Availability(const QString& id, const QString& facility) {
  return Request(id, QStringLiteral("ANLEGGSNR;UTYPE;UTL_OBJ;PENSJONSTYPE;ANKOMST;AVREISE"),
                 QStringLiteral("LEDIG;%1;*;*;*;%2;%3").arg(facility, Day(30), Day(33)));
}

qsizetype Lines(const QStringList& lines, const char* part) {
  return lines.filter(QLatin1String(part)).size();
}

TEST(OutageTest, RequestsInAnOutageAnswerDatabaseErrorsAndTheNextOneAfterItIsServed) {
  if (!PostgresTestDatabase::Available()) GTEST_SKIP() << PostgresTestDatabase::kSkip;
  PostgresTestDatabase database(PostgresTestDatabase::kDemo);
  ServerProcess server(database);
  ASSERT_TRUE(server.start()) << server.standardError().toStdString();
  auto client = server.connect();
  // Both of the server's connections have served, and kept their statements.
  ASSERT_TRUE(Ask(*client, Availability("w", "1")).startsWith(u"&count="));

  database.allowConnections(false);
  // The reservation's facility lookup and the availability's occupancy (on the second
  // connection) meet the outage first.
  EXPECT_TRUE(Ask(*client, Reservation("r1", 1)).contains(u"&errorcode='-2052'"));
  EXPECT_TRUE(Ask(*client, Availability("l1", "-1")).contains(u"&errorcode='-2032b'"));

  database.allowConnections(true);
  const QString reserved = Ask(*client, Reservation("r2", 1));
  EXPECT_TRUE(reserved.startsWith(u"&count=1&")) << reserved.toStdString();
  const QString free = Ask(*client, Availability("l2", "1"));
  EXPECT_TRUE(free.startsWith(u"&count=") && !free.contains(u"errorcode")) << free.toStdString();

  // A restart between two requests ends both sessions while they wait: the next request
  // finds them ended before it sends anything, reconnects, and is served without a word.
  database.allowConnections(false);
  database.allowConnections(true);
  const QString again = Ask(*client, Reservation("r3", 1));
  EXPECT_TRUE(again.startsWith(u"&count=1&")) << again.toStdString();

  client.reset();
  ASSERT_EQ(server.stop(), 0);
  const QStringList errors = server.standardError().split(u'\n');
  const QStringList log = server.logMessages();
  EXPECT_EQ(Lines(errors, "is unreachable"), 1) << server.standardError().toStdString();
  EXPECT_EQ(Lines(errors, "answers again"), 1) << server.standardError().toStdString();
  EXPECT_EQ(Lines(log, "is unreachable"), 1);
  EXPECT_EQ(Lines(log, "answers again"), 1);
  // Statements of the ended sessions are dropped without a warning each.
  EXPECT_EQ(Lines(errors, "Unable to free statement"), 0) << server.standardError().toStdString();
}

}  // namespace
}  // namespace taurelin
