// What the server does with connections themselves: requests framed to be read two ways are
// refused and end their connection, a client that asks to close is closed after its answer,
// and one address cannot take all connections, on the HTTP face or on the line protocol.

#include "server_process.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QThread>

#include <memory>

namespace taurelin {
namespace {

const QByteArray kHealth = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

struct RawHttpAnswer {
  int status = 0;
  QByteArray head;
  QByteArray body;
};

struct RawHttpAnswers {
  QList<RawHttpAnswer> answers;
  bool closed = false;  // the server closed the connection
};

std::unique_ptr<QTcpSocket> Connect(quint16 port, const QString& from = QString()) {
  auto socket = std::make_unique<QTcpSocket>();
  if (!from.isEmpty()) socket->bind(QHostAddress(from));
  socket->connectToHost(QStringLiteral("127.0.0.1"), port);
  socket->waitForConnected(5000);
  return socket;
}

// Reads answers until `count` have come whole, or the server closed the connection.
RawHttpAnswers Read(QTcpSocket& socket, int count) {
  RawHttpAnswers read;
  QByteArray bytes;
  const QDeadlineTimer deadline(15000);
  while (read.answers.size() < count && !deadline.hasExpired()) {
    bytes += socket.readAll();
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end >= 0) {
      RawHttpAnswer answer;
      answer.head = bytes.left(end);
      answer.status = answer.head.mid(9, 3).toInt();
      const qsizetype at = answer.head.toLower().indexOf("content-length: ");
      const qsizetype length = at < 0 ? 0 : answer.head.mid(at + 16).split('\r').first().toInt();
      if (bytes.size() >= end + 4 + length) {
        answer.body = bytes.mid(end + 4, length);
        bytes.remove(0, end + 4 + length);
        read.answers << answer;
        continue;
      }
    }
    if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0) {
      read.closed = true;
      break;
    }
    socket.waitForReadyRead(50);
  }
  return read;
}

// Sends `raw` on a new connection and reads what comes until the server closes it.
RawHttpAnswers Exchange(quint16 port, const QByteArray& raw) {
  auto socket = Connect(port);
  socket->write(raw);
  return Read(*socket, 100);
}

QList<int> Statuses(const RawHttpAnswers& read) {
  QList<int> statuses;
  for (const RawHttpAnswer& answer : read.answers) statuses << answer.status;
  return statuses;
}

bool Served(QTcpSocket& socket) {
  socket.write(kHealth);
  const RawHttpAnswers read = Read(socket, 1);
  return Statuses(read) == QList<int>{200};
}

class HttpHygieneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.setConfiguration(QStringLiteral("HttpMaxConnectionsPerAddress"), 2);
    ASSERT_TRUE(server_.start({QStringLiteral("--http"), QStringLiteral("0")}))
        << server_.standardError().toStdString();
    port_ = server_.httpPort();
    ASSERT_NE(port_, 0);
  }

  bool logged(const QString& line) const { return server_.logMessages().contains(line); }

  ServerProcess server_;
  quint16 port_ = 0;
};

TEST_F(HttpHygieneTest, SmugglingShapedRequestsAreRefusedAndNothingBehindThemIsAnswered) {
  const QList<QByteArray> shapes = {
      "Content-Length: 6\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\nG",
      "Content-Length: 2\r\nContent-Length: 47\r\n\r\n{}",
  };
  for (const QByteArray& shape : shapes) {
    // The request before it is answered; the one behind it is never.
    const RawHttpAnswers read =
        Exchange(port_, kHealth + "POST /api/v1/reservations HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                  "Content-Type: application/json\r\n" +
                            shape + kHealth);
    ASSERT_EQ(Statuses(read), (QList<int>{200, 400})) << shape.constData();
    EXPECT_TRUE(read.closed);
    EXPECT_TRUE(read.answers[1].head.contains("\r\nConnection: close"));
    EXPECT_TRUE(read.answers[1].body.startsWith("{\"error\":{\"code\":\"malformed_request\""))
        << read.answers[1].body.constData();
  }
  // Told in the log once a minute (and at the stop), not once a connection.
  ASSERT_EQ(server_.stop(), 0);
  EXPECT_TRUE(logged("HTTP 127.0.0.1 connection closed, the request gives both Content-Length "
                     "and Transfer-Encoding: 1 in the last minute"))
      << server_.logMessages().join(u'\n').toStdString();
  EXPECT_TRUE(logged("HTTP 127.0.0.1 connection closed, the request gives Content-Length twice, "
                     "with different values: 1 in the last minute"));
}

TEST_F(HttpHygieneTest, AClientThatAsksToCloseIsClosedAfterItsAnswer) {
  const QByteArray close = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  const QByteArray http10 = "GET /health HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  for (const QByteArray& request : {close, http10}) {
    const RawHttpAnswers read = Exchange(port_, request + kHealth);
    ASSERT_EQ(Statuses(read), QList<int>{200}) << request.constData();
    EXPECT_TRUE(read.closed);
    EXPECT_TRUE(read.answers[0].head.contains("\r\nConnection: close"));
  }
  // Without asking, the connection stays for the next request.
  auto client = Connect(port_);
  EXPECT_TRUE(Served(*client));
  EXPECT_TRUE(Served(*client));
}

TEST_F(HttpHygieneTest, AnAddressPastItsConnectionCapIsRefusedWhileAnotherIsServed) {
  auto first = Connect(port_);
  auto second = Connect(port_);
  ASSERT_TRUE(Served(*first));
  ASSERT_TRUE(Served(*second));
  auto third = Connect(port_);
  third->write(kHealth);
  const RawHttpAnswers refused = Read(*third, 1);
  EXPECT_TRUE(refused.answers.isEmpty());
  EXPECT_TRUE(refused.closed);
  EXPECT_TRUE(Served(*Connect(port_, QStringLiteral("127.0.0.2"))));

  // Once one of its connections is gone, the address is served again.
  first->disconnectFromHost();
  bool served = false;
  const QDeadlineTimer deadline(30000);
  while (!served && !deadline.hasExpired()) {
    served = Served(*Connect(port_));
    if (!served) QThread::msleep(100);
  }
  EXPECT_TRUE(served);
  EXPECT_TRUE(Served(*second));
}

TEST(HttpProxyCapTest, ATrustedProxyIsNotHeldToThePerAddressCap) {
  ServerProcess server;
  server.setConfiguration(QStringLiteral("HttpMaxConnectionsPerAddress"), 1);
  server.setConfiguration(QStringLiteral("HttpTrustedProxies"), QStringLiteral("127.0.0.1"));
  ASSERT_TRUE(server.start({QStringLiteral("--http"), QStringLiteral("0")}))
      << server.standardError().toStdString();
  auto first = Connect(server.httpPort());
  auto second = Connect(server.httpPort());
  EXPECT_TRUE(Served(*first));
  EXPECT_TRUE(Served(*second));
  auto stranger = Connect(server.httpPort(), QStringLiteral("127.0.0.2"));
  ASSERT_TRUE(Served(*stranger));
  auto again = Connect(server.httpPort(), QStringLiteral("127.0.0.2"));
  again->write(kHealth);
  const RawHttpAnswers refused = Read(*again, 1);
  EXPECT_TRUE(refused.answers.isEmpty());
  EXPECT_TRUE(refused.closed);
}

bool LineAnswered(QTcpSocket& client) {
  client.write(TestApiRequest("cap"));
  const QList<QByteArray> answers = ReadAnswers(client, 1, 10000);
  return !answers.isEmpty() && answers.first().contains("&count=10&");
}

TEST(LineConnectionCapTest, AnAddressPastItsConnectionCapIsRefusedWhileAnotherIsServed) {
  ServerProcess server;
  server.setConfiguration(QStringLiteral("MaxConnectionsPerAddress"), 2);
  ASSERT_TRUE(server.start()) << server.standardError().toStdString();
  auto first = server.connect();
  auto second = server.connect();
  ASSERT_TRUE(LineAnswered(*first));
  ASSERT_TRUE(LineAnswered(*second));
  auto third = server.connect();
  third->write(TestApiRequest("cap"));
  const QDeadlineTimer deadline(30000);
  while (third->state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
    third->waitForReadyRead(100);
  }
  EXPECT_EQ(third->state(), QAbstractSocket::UnconnectedState);
  EXPECT_TRUE(third->readAll().isEmpty());
  EXPECT_TRUE(LineAnswered(*server.connect(QStringLiteral("127.0.0.1"),
                                           QStringLiteral("127.0.0.2"))));
  EXPECT_TRUE(LineAnswered(*first));
  EXPECT_TRUE(server.logMessages().contains(
      "Client 127.0.0.1 refused: too many connections from this address"))
      << server.logMessages().join(u'\n').toStdString();
}

}  // namespace
}  // namespace taurelin
