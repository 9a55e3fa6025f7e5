// Clients that do what no web shop does: too many rows at once, answers never read, a
// connection left silent. None of them may cost the other clients their answers.

#include "demo_requests.h"
#include "server_process.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace taurelin {
namespace {

TEST(HostileClientTest, ARequestOfTooManyRowsRunsNoneAndHoldsNobodyBack) {
  ServerProcess server(/*withDemo=*/true);
  ASSERT_TRUE(server.start()) << server.standardError().toStdString();
  // A thousand reservations in one request: the row cap refuses all of them at once.
  constexpr int kRows = 1000;
  const QByteArray row = Reservation(QStringLiteral("x"), 1).split('=').last().trimmed();
  QByteArray data;
  for (int i = 0; i < kRows; ++i) data += row + ';';
  const QByteArray columns = Reservation(QStringLiteral("x"), 1).split('&')[2];
  const QByteArray flood = "messageID=flood&count=" + QByteArray::number(kRows) + "&" + columns +
                           "&data=" + data + "\n";
  auto flooder = server.connect();
  auto other = server.connect();
  const QByteArray availability =
      Request(QStringLiteral("free"),
              QStringLiteral("ANLEGGSNR;UTYPE;UTL_OBJ;PENSJONSTYPE;ANKOMST;AVREISE"),
              QStringLiteral("LEDIG;1;1;*;1;%1;%2").arg(Day(30), Day(33)));
  other->write(availability);
  const QList<QByteArray> before = ReadAnswers(*other, 1);
  ASSERT_EQ(before.size(), 1);
  flooder->write(flood);
  flooder->flush();
  other->write(TestApiRequest("other"));
  ASSERT_EQ(ReadAnswers(*other, 1).size(), 1);
  const QList<QByteArray> refused = ReadAnswers(*flooder, 1);
  ASSERT_EQ(refused.size(), 1);
  EXPECT_TRUE(refused[0].startsWith("messageID=flood&1000&header=INSTRUKSJON;ANLEGGSNR;"))
      << refused[0].left(200).toStdString();

  // Not one of the rows ran: every unit is as free as before.
  flooder->write(availability);
  const QList<QByteArray> after = ReadAnswers(*flooder, 1);
  ASSERT_EQ(after.size(), 1);
  EXPECT_EQ(after[0], before[0]);
  ASSERT_EQ(server.stop(), 0);
  EXPECT_TRUE(server.logMessages().contains(
      QStringLiteral("Request refused : 1000 rows, at most 100 allowed")));
}

// How many requests the server has taken: its log has a line for each.
qsizetype RequestsTaken(const ServerProcess& server) {
  QFile log(QDir(server.workingDirectory())
                .filePath(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                          QStringLiteral(" - API.LOG")));
  return log.open(QIODevice::ReadOnly) ? log.readAll().count(" - I0 : ") : 0;
}

// A client that sends and sends but never reads its answers is held back by TCP once its
// unread answers pass a bound: the server takes no more of its requests, so it neither reads
// on nor queues answers without end.
TEST(HostileClientTest, AClientThatNeverReadsIsHeldBack) {
  ServerProcess server;
  ASSERT_TRUE(server.start()) << server.standardError().toStdString();
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(server.port());
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  pollfd connecting{fd, POLLOUT, 0};
  ASSERT_EQ(::poll(&connecting, 1, 5000), 1);

  const QByteArray request = TestApiRequest("unread");
  QByteArray chunk;
  while (chunk.size() < 64 * 1024) chunk += request;
  qint64 written = 0;
  for (pollfd writable{fd, POLLOUT, 0}; written < 40LL * 1024 * 1024;) {
    if (::poll(&writable, 1, 3000) == 0) break;  // the client is held back
    const ssize_t n = ::send(fd, chunk.constData(), static_cast<size_t>(chunk.size()),
                             MSG_NOSIGNAL);
    if (n > 0) written += n;
  }
  // Far more requests were sent than the bound lets the server take ...
  const qint64 sent = written / request.size();
  ASSERT_GT(sent, 30000);
  // ... and once it has stopped taking them, it has taken about as many as a few megabytes
  // of answers in the buffers between the two hold (each answer is some 700 bytes).
  qsizetype taken = RequestsTaken(server);
  for (QDeadlineTimer deadline(60000); !deadline.hasExpired();) {
    QThread::msleep(1000);
    const qsizetype now = RequestsTaken(server);
    if (now == taken) break;
    taken = now;
  }
  EXPECT_LT(taken, 15000) << "of " << sent << " sent";
  ::close(fd);

  auto other = server.connect();
  other->write(TestApiRequest("after"));
  const QList<QByteArray> answers = ReadAnswers(*other, 1, 20000);
  ASSERT_EQ(answers.size(), 1);
  EXPECT_TRUE(answers[0].startsWith("messageID=after&count=10"));
}

TEST(HostileClientTest, ASilentClientIsClosedAfterTheIdleTimeOut) {
  ServerProcess server;
  server.setConfiguration(QStringLiteral("IdleTimeoutSeconds"), 2);
  ASSERT_TRUE(server.start()) << server.standardError().toStdString();
  auto silent = server.connect();
  auto talking = server.connect();
  QDeadlineTimer deadline(20000);
  int asked = 0;
  while (silent->state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
    talking->write(TestApiRequest("alive" + QByteArray::number(asked++)));
    ASSERT_EQ(ReadAnswers(*talking, 1).size(), 1);
    silent->waitForDisconnected(250);
  }
  EXPECT_EQ(silent->state(), QAbstractSocket::UnconnectedState);
  EXPECT_EQ(talking->state(), QAbstractSocket::ConnectedState);
  ASSERT_EQ(server.stop(), 0);
  EXPECT_TRUE(server.logMessages().join(u'\n').contains(
      u"Client 127.0.0.1 sent nothing for 2 s; connection closed"));
}

}  // namespace
}  // namespace taurelin
