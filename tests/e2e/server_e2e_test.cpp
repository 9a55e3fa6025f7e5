// The built server, headless, talked to over TCP.

#include "server_process.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QThread>

#include <sys/socket.h>

namespace taurelin {
namespace {

const QByteArray kTestApiData =
    "&count=10&header=INSTRUKSJON;SYSTEM;PRODUSENT;VERSJON;API-INSTRUKSJON&data="
    "TEST-API;Taurelin 5.2.x API;Vindrelok AS;1.8.0.0;PRIS;";

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // What the server took, and in which order, is read from its log: every line of it.
    server_.setConfiguration(QStringLiteral("LogLinesPerSecond"), 0);
    ASSERT_TRUE(server_.start()) << server_.standardError().toStdString();
  }

  ServerProcess server_;
};

TEST_F(ServerTest, AnswersRequestsOnAConnectionThatStaysOpen) {
  auto client = server_.connect();
  client->write(TestApiRequest("one"));
  QList<QByteArray> answers = ReadAnswers(*client, 1);
  ASSERT_EQ(answers.size(), 1);
  EXPECT_TRUE(answers[0].startsWith("messageID=one" + kTestApiData)) << answers[0].toStdString();
  EXPECT_TRUE(answers[0].endsWith(";TEST-API\n"));

  // Two requests in one write are two answers, in order; the connection is still open.
  client->write(TestApiRequest("two") + TestApiRequest("three"));
  answers = ReadAnswers(*client, 2);
  ASSERT_EQ(answers.size(), 2);
  EXPECT_TRUE(answers[0].startsWith("messageID=two&"));
  EXPECT_TRUE(answers[1].startsWith("messageID=three&"));
  EXPECT_EQ(client->state(), QAbstractSocket::ConnectedState);
}

TEST_F(ServerTest, FramesRequestsByLineFeedAndBySilence) {
  auto client = server_.connect();
  const QByteArray request = TestApiRequest("split");
  client->write(request.left(20));
  client->waitForBytesWritten(1000);
  QThread::msleep(60);
  client->write(request.mid(20));
  QList<QByteArray> answers = ReadAnswers(*client, 2, 1500);
  ASSERT_EQ(answers.size(), 1) << "a split request is answered once";
  EXPECT_TRUE(answers[0].startsWith("messageID=split&count=10"));

  // Without an LF the request is taken after a short silence.
  client->write("messageID=nolf&count=1&header=INSTRUKSJON&data=TEST-API");
  answers = ReadAnswers(*client, 1, 3000);
  ASSERT_EQ(answers.size(), 1);
  // Its data section had no LF to end it: the reply is cleared, the id answered.
  EXPECT_EQ(answers[0], "messageID=nolf\n");
}

TEST_F(ServerTest, OverlongRequestIsRefusedAndTheConnectionGoesOn) {
  auto client = server_.connect();
  client->write("messageID=big&count=1&header=INSTRUKSJON&data=" + QByteArray(1100000, 'x'));
  client->write("\n" + TestApiRequest("after"));
  const QList<QByteArray> answers = ReadAnswers(*client, 2, 10000);
  ASSERT_EQ(answers.size(), 2);
  EXPECT_EQ(answers[0], "&count=0&header=&data=\n");
  EXPECT_TRUE(answers[1].startsWith("messageID=after&count=10"));
}

TEST_F(ServerTest, OneClientsResetDoesNotDisturbAnother) {
  auto steady = server_.connect();
  auto rude = server_.connect();
  rude->write(TestApiRequest("rude").left(10));
  rude->waitForBytesWritten(1000);
  // Closing with SO_LINGER 0 sends a reset instead of an orderly close.
  const linger reset{1, 0};
  ::setsockopt(static_cast<int>(rude->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset,
               sizeof reset);
  rude->abort();
  QThread::msleep(100);
  steady->write(TestApiRequest("steady"));
  const QList<QByteArray> answers = ReadAnswers(*steady, 1);
  ASSERT_EQ(answers.size(), 1);
  EXPECT_TRUE(answers[0].startsWith("messageID=steady&count=10"));
  auto later = server_.connect();
  EXPECT_EQ(later->state(), QAbstractSocket::ConnectedState);
}

TEST_F(ServerTest, LogsARequestsLinesInOrderAndStopsCleanly) {
  auto client = server_.connect();
  client->write(TestApiRequest("logged"));
  ASSERT_EQ(ReadAnswers(*client, 1).size(), 1);
  client->disconnectFromHost();
  QThread::msleep(100);
  EXPECT_EQ(server_.stop(), 0) << server_.standardError().toStdString();

  QStringList messages = server_.logMessages();
  QStringList heads;
  for (const QString& message : messages) heads << message.left(22);
  const QStringList expected = {"Listener started",       "Mail: written as files",
                                "Client 127.0.0.1  acce",
                                "Client 127.0.0.1 is co", "I0 : messageID=logged&",
                                "Instruksjonen tok  0 s", "U0 : messageID=logged&",
                                "Instruksjonen tok tota", "Client 127.0.0.1 is di",
                                "Listener stopped"};
  ASSERT_EQ(heads.size(), expected.size()) << messages.join(u'|').toStdString();
  for (qsizetype i = 0; i < expected.size(); ++i) {
    EXPECT_TRUE(heads[i].startsWith(expected[i])) << i << ": " << messages[i].toStdString();
  }
}

TEST_F(ServerTest, ServesTwoHundredConnectionsAtOnce) {
  constexpr int kClients = 200;
  constexpr int kRequests = 50;
  std::vector<std::unique_ptr<QTcpSocket>> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.push_back(server_.connect());
    ASSERT_EQ(clients.back()->state(), QAbstractSocket::ConnectedState) << c;
  }
  for (int c = 0; c < kClients; ++c) {
    QByteArray burst;
    for (int r = 0; r < kRequests; ++r) burst += TestApiRequest(QByteArray::number(c * 1000 + r));
    clients[c]->write(burst);
    clients[c]->flush();
  }
  for (int c = 0; c < kClients; ++c) {
    const QList<QByteArray> answers = ReadAnswers(*clients[c], kRequests, 30000);
    ASSERT_EQ(answers.size(), kRequests) << "client " << c;
    for (int r = 0; r < kRequests; ++r) {
      ASSERT_TRUE(answers[r].startsWith("messageID=" + QByteArray::number(c * 1000 + r) + "&"))
          << "client " << c << " answer " << r;
    }
  }
}

// A client that sends a thousand requests at once is served in turns with another client:
// the other's request, sent once the first answer is back, is served long before the last of
// the thousand.
TEST_F(ServerTest, ManyRequestsAtOnceDoNotHoldBackAnotherClient) {
  constexpr int kRequests = 1000;
  auto busy = server_.connect();
  auto other = server_.connect();
  QByteArray burst;
  for (int r = 0; r < kRequests; ++r) burst += TestApiRequest("busy" + QByteArray::number(r));
  busy->write(burst);
  busy->flush();
  ASSERT_TRUE(busy->waitForReadyRead(5000));  // answers have begun; left unread for now
  other->write(TestApiRequest("other"));
  ASSERT_EQ(ReadAnswers(*other, 1).size(), 1);
  ASSERT_EQ(ReadAnswers(*busy, kRequests, 30000).size(), kRequests);
  busy->disconnectFromHost();
  other->disconnectFromHost();
  ASSERT_EQ(server_.stop(), 0);

  // The requests in the order the server took them.
  QStringList served;
  for (const QString& message : server_.logMessages()) {
    if (message.startsWith(u"I0 : messageID=")) {
      served << message.section(u'=', 1).section(u'&', 0, 0);
    }
  }
  ASSERT_EQ(served.size(), kRequests + 1);
  EXPECT_LT(served.indexOf(QStringLiteral("other")), kRequests / 2);
}

}  // namespace
}  // namespace taurelin

namespace taurelin {
namespace {

TEST_F(ServerTest, ClientToolFramesValuesPrintsATableAndTellsARefusalByItsStatus) {
  QProcess client;
  client.start(QStringLiteral(TAURELIN_CLIENT_BINARY),
               {QStringLiteral("--port"), QString::number(server_.port()), QStringLiteral("--table"),
                QStringLiteral("OM_TN_API"), QStringLiteral("EXTRA=æ")});
  ASSERT_TRUE(client.waitForFinished(10000));
  EXPECT_EQ(client.exitCode(), 0);
  const QStringList lines = QString::fromUtf8(client.readAllStandardOutput()).split(u'\n');
  ASSERT_GE(lines.size(), 6);
  EXPECT_TRUE(lines[0].startsWith(u"INSTRUKSJON  NØKKEL")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].startsWith(u"OM_TN_API    HKEY_CURRENT_USER\\Control Panel\\International"))
      << lines[1].toStdString();
  EXPECT_TRUE(server_.logMessages().join(u'\n').contains(
      u"I0 : messageID=taurelin-client&count=1&header=INSTRUKSJON;EXTRA&data=OM_TN_API;æ"));

  // An answer with an error code is printed, and a script can tell it by the exit status.
  client.start(QStringLiteral(TAURELIN_CLIENT_BINARY),
               {QStringLiteral("--port"), QString::number(server_.port()), QStringLiteral("--line"),
                QStringLiteral("messageID=refused&header=INSTRUKSJON&data=TEST-API")});
  ASSERT_TRUE(client.waitForFinished(10000));
  EXPECT_EQ(client.exitCode(), 3);
  EXPECT_TRUE(client.readAllStandardOutput().startsWith(
      "messageID=refused&count=0&header=&data=&errorcode="));
}

}  // namespace
}  // namespace taurelin

namespace taurelin {
namespace {

TEST(ServerLogTest, UnwritableLogCostsNoAnswer) {
  ServerProcess server;
  // A directory where today's log file should be: every log write fails.
  QDir(server.directory().path())
      .mkdir(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
             QStringLiteral(" - API.LOG"));
  ASSERT_TRUE(server.start()) << server.standardError().toStdString();
  auto client = server.connect();
  client->write(TestApiRequest("unlogged"));
  const QList<QByteArray> answers = ReadAnswers(*client, 1);
  ASSERT_EQ(answers.size(), 1);
  EXPECT_TRUE(answers[0].startsWith("messageID=unlogged&count=10")) << answers[0].toStdString();
  EXPECT_EQ(server.stop(), 0);
  EXPECT_TRUE(server.standardError().contains(u"The log cannot be written"));
}

}  // namespace
}  // namespace taurelin
