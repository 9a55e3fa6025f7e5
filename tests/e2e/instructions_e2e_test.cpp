// Every instruction over TCP against the demo business, and reservations raced by servers
// that share one database (on SQLite and on PostgreSQL).

#include "demo_requests.h"
#include "server_process.h"

#include "expiry/timeout_register.h"
#include "protocol/reply_envelope.h"

#include <gtest/gtest.h>

#include <QSet>

#include <vector>

namespace taurelin {
namespace {

class DemoTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.start()) << server_.standardError().toStdString(); }

  QString Ask(const QByteArray& request) {
    auto client = server_.connect();
    client->write(request);
    const QList<QByteArray> answers = ReadAnswers(*client, 1, 10000);
    return answers.isEmpty() ? QString() : Reply(answers.first());
  }

  ServerProcess server_{true};
};

TEST_F(DemoTest, EveryInstructionAnswers) {
  const QString kort = Ask(Request("k", "ANLEGGSNR", "KORT;1"));
  EXPECT_TRUE(kort.startsWith(u"&count=4&header=INSTRUKSJON;ANLEGGSNR;KORT;TEKST;GYLDIG&data=KORT;0;"))
      << kort.toStdString();
  const QString utype = Ask(Request("u", "ANLEGGSNR", "UTYPE;1"));
  EXPECT_TRUE(utype.startsWith(u"&count=")) << utype.toStdString();
  EXPECT_FALSE(utype.contains(u"errorcode"));
  const QString pris = Ask(Request("p", "ANLEGGSNR;UTYPE;UTL_OBJ", "PRIS;0;1;*"));
  EXPECT_TRUE(pris.contains(u"&data=PRIS;0;1; ;")) << pris.toStdString();
  const QString ledig = Ask(Request("l", "ANLEGGSNR;UTYPE;UTL_OBJ;PENSJONSTYPE;ANKOMST;AVREISE",
                                    "LEDIG;1;1;*;1;" + Day(30) + ";" + Day(33)));
  EXPECT_TRUE(ledig.startsWith(u"&count=1&")) << ledig.toStdString();
  EXPECT_FALSE(ledig.contains(u"errorcode"));
  const QString matrix = Ask(Request("m", "ANLEGGSNR;UTYPE;UTL_OBJ;AGENT;FRA;TIL",
                                     "LEDIGMATRISE;1;1;*;*;" + Day(1) + ";" + Day(7)));
  EXPECT_TRUE(matrix.startsWith(u"&count=7&")) << matrix.toStdString();

  const QString reserved = Ask(Reservation("r", 1));
  ASSERT_TRUE(reserved.startsWith(u"&count=1&")) << reserved.toStdString();
  const QString refnr = ReplyEnvelope::GetReplyValue(reserved, QStringLiteral("REFNR"));
  const QString fetched = Ask(Request("h", "REFNR", "HENTBOOK;" + refnr));
  EXPECT_TRUE(fetched.startsWith(u"&count=1&")) << fetched.toStdString();
  EXPECT_TRUE(fetched.contains(QStringLiteral("HENTBOOK;0;1;0;") + Day(30) + u';' + Day(33)));
  EXPECT_EQ(Ask(Request("a", "REFNR", "AVBESTILL;" + refnr)),
            "&count=1&header=INSTRUKSJON;REFNR&data=AVBESTILL;" + refnr);
  EXPECT_TRUE(Ask(Request("h2", "REFNR", "HENTBOOK;" + refnr)).contains(u"'-1001'"));

  // With a booker the booking is kept and marked cancelled, and still fetched.
  const QString second =
      ReplyEnvelope::GetReplyValue(Ask(Reservation("r2", 1)), QStringLiteral("REFNR"));
  EXPECT_EQ(Ask(Request("b",
                        "REFNR;AGENT;NASJON;ENAVN;FNAVN;ADRESSE1;ADRESSE2;POSTNR;POSTSTED;"
                        "TELEFON;FAKS;EPOST;ANMERKNING",
                        "BOOKING;" + second + ";1;norge;Hansen;Kari;Storgata 1;;0150;Oslo;"
                        "22000000;;kari@example.no;")),
            "&count=1&header=INSTRUKSJON;REFNR;TOTALPRIS&data=BOOKING;" + second + ";0");
  EXPECT_EQ(Ask(Request("a2", "REFNR", "AVBESTILL;" + second)),
            "&count=1&header=INSTRUKSJON;REFNR&data=AVBESTILL;" + second);
  EXPECT_TRUE(Ask(Request("h3", "REFNR", "HENTBOOK;" + second)).startsWith(u"&count=1&"));
}

// Servers sharing one database, each with several clients, race for the last units. They
// run in one directory, so they also race for the one time-out register there.
void RaceForTheLastUnits(const std::vector<ServerProcess*>& servers) {
  ServerProcess& first = *servers.front();
  for (ServerProcess* server : servers) {
    server->setWorkingDirectory(first.workingDirectory());
    ASSERT_TRUE(server->start()) << server->standardError().toStdString();
  }

  // How many units of type 1 at facility 1 are free for the stay.
  auto free = [&first] {
    auto client = first.connect();
    client->write(Request("f", "ANLEGGSNR;UTYPE;UTL_OBJ;PENSJONSTYPE;ANKOMST;AVREISE",
                          "LEDIG;1;1;*;1;" + Day(30) + ";" + Day(33)));
    const QList<QByteArray> answers = ReadAnswers(*client, 1, 10000);
    return answers.isEmpty()
               ? -1000
               : ReplyEnvelope::GetReplyValue(Reply(answers.first()), "LEDIG").toInt();
  };
  const int before = free();
  ASSERT_GT(before, 0);

  // Eight clients on each server ask for one unit each, at least twice as many as are free.
  constexpr int kClientsPerServer = 8;
  const int clientCount = kClientsPerServer * static_cast<int>(servers.size());
  const int requests = std::max(2 * before, clientCount);
  std::vector<std::unique_ptr<QTcpSocket>> clients;
  for (int i = 0; i < clientCount; ++i) {
    clients.push_back(servers[static_cast<size_t>(i) % servers.size()]->connect());
  }
  for (int i = 0; i < requests; ++i) {
    clients[static_cast<size_t>(i) % clients.size()]->write(Reservation(QString::number(i), 1));
  }
  int reserved = 0;
  int refused = 0;
  for (size_t c = 0; c < clients.size(); ++c) {
    const int expected = requests / clientCount +
                         (static_cast<int>(c) < requests % clientCount ? 1 : 0);
    const QList<QByteArray> answers = ReadAnswers(*clients[c], expected, 60000);
    ASSERT_EQ(answers.size(), expected) << "client " << c;
    for (const QByteArray& answer : answers) {
      const QString reply = Reply(answer);
      if (reply.startsWith(u"&count=1&")) {
        ++reserved;
      } else {
        EXPECT_TRUE(reply.contains(u"'-2065'")) << reply.toStdString();
        ++refused;
      }
    }
  }
  EXPECT_EQ(reserved, before);
  EXPECT_EQ(reserved + refused, requests);
  EXPECT_EQ(free(), 0);
  // Every reservation has its own entry: none was lost to another server's registration.
  QSet<QString> registered;
  for (const TimeOutRecord& record : TimeOutRegister(first.workingDirectory()).entries()) {
    if (!record.isFree()) registered << record.refnr;
  }
  EXPECT_EQ(registered.size(), reserved);
}

TEST(RaceTest, TwoServersNeverSellTheLastUnitTwice) {
  TestDatabase database(true);
  ServerProcess first(database);
  ServerProcess second(database);
  RaceForTheLastUnits({&first, &second});
}

TEST(RaceTest, ThreeServersOnPostgresNeverSellTheLastUnitTwice) {
  if (!PostgresTestDatabase::Available()) GTEST_SKIP() << PostgresTestDatabase::kSkip;
  PostgresTestDatabase database(PostgresTestDatabase::kDemo);
  ServerProcess first(database);
  ServerProcess second(database);
  ServerProcess third(database);
  RaceForTheLastUnits({&first, &second, &third});
}

}  // namespace
}  // namespace taurelin
