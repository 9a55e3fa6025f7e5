// The server's door: the address it listens on, the clients it admits, and TLS. Without
// these values it is open as it always was (the other tests run so).

#include "server_process.h"
#include "test_certificates.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>

namespace taurelin {
namespace {

// Whether a TEST-API request on `socket` is answered as on any connection.
bool Answered(QTcpSocket& socket, const QByteArray& id = "door") {
  if (socket.state() != QAbstractSocket::ConnectedState) return false;
  socket.write(TestApiRequest(id));
  const QList<QByteArray> answers = ReadAnswers(socket, 1, 10000);
  return answers.size() == 1 && answers[0].startsWith("messageID=" + id + "&count=10&") &&
         answers[0].endsWith(";TEST-API\n");
}

// Whether the server closes `socket` without answering the request sent on it.
bool ClosedUnanswered(QTcpSocket& socket) {
  if (socket.state() == QAbstractSocket::ConnectedState) socket.write(TestApiRequest("no"));
  QByteArray received;
  const QDeadlineTimer deadline(30000);
  while (socket.state() != QAbstractSocket::UnconnectedState && !deadline.hasExpired()) {
    socket.waitForReadyRead(100);
    received += socket.readAll();
  }
  return socket.state() == QAbstractSocket::UnconnectedState && received.isEmpty();
}

bool Logged(const ServerProcess& server, const QString& message) {
  return server.logMessages().contains(message);
}

TEST(DoorTest, ListensOnTheConfiguredAddressAndTheOptionWins) {
  ServerProcess server;
  server.setConfiguration(QStringLiteral("ListenAddress"), QStringLiteral("::1"));
  ASSERT_TRUE(server.start()) << server.standardError().toStdString();
  EXPECT_TRUE(Answered(*server.connect(QStringLiteral("::1"))));
  EXPECT_NE(server.connect()->state(), QAbstractSocket::ConnectedState);
  ASSERT_EQ(server.stop(), 0);

  ASSERT_TRUE(server.start({QStringLiteral("--listen"), QStringLiteral("127.0.0.2")}))
      << server.standardError().toStdString();
  EXPECT_TRUE(Answered(*server.connect(QStringLiteral("127.0.0.2"))));
  EXPECT_NE(server.connect()->state(), QAbstractSocket::ConnectedState);
  EXPECT_NE(server.connect(QStringLiteral("::1"))->state(), QAbstractSocket::ConnectedState);
}

TEST(DoorTest, AdmitsOnlyTheAllowedClients) {
  ServerProcess server;  // its IPAddress is 127.0.0.1
  server.setConfiguration(QStringLiteral("EnforceClientAddress"), 1);
  ASSERT_TRUE(server.start()) << server.standardError().toStdString();
  EXPECT_TRUE(Answered(*server.connect()));
  EXPECT_TRUE(ClosedUnanswered(*server.connect(QStringLiteral("127.0.0.1"),
                                               QStringLiteral("127.0.0.2"))));
  ASSERT_EQ(server.stop(), 0);
  EXPECT_TRUE(Logged(server, "Client 127.0.0.2 refused: not an allowed address"))
      << server.logMessages().join(u'\n').toStdString();

  // A list of addresses and subnets, without the configured address.
  server.setConfiguration(QStringLiteral("EnforceClientAddress"), 0);
  server.setConfiguration(QStringLiteral("AllowedClients"), QStringLiteral("::1, 127.0.0.2/31"));
  ASSERT_TRUE(server.start()) << server.standardError().toStdString();
  EXPECT_TRUE(Answered(*server.connect(QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.3"))));
  EXPECT_TRUE(Answered(*server.connect(QStringLiteral("::1"))));
  EXPECT_TRUE(ClosedUnanswered(*server.connect()));
}

TEST(DoorTest, UnusableValuesFailStartUpNamingThem) {
  const QList<QStringList> cases = {
      {"ListenAddress", "shop.example"},
      {"MaxConnections", "0"},
      {"MaxConnectionsPerAddress", "-1"},
      {"EnforceClientAddress", "yes"},
      {"AllowedClients", "127.0.0.1, 10.0.0.0/33"},
      {"AllowedClients", " , "},
      {"TlsCertificate", "/nonexistent/server.pem", "TlsKey", "/nonexistent/server.key"},
      {"TlsKey", "/nonexistent/server.key"},
  };
  for (const QStringList& values : cases) {
    ServerProcess server;
    for (qsizetype i = 0; i + 1 < values.size(); i += 2) server.setConfiguration(values[i], values[i + 1]);
    EXPECT_FALSE(server.start()) << values.join(u' ').toStdString();
    EXPECT_EQ(server.stop(), 1);
    EXPECT_TRUE(server.standardError().contains(values[0]))
        << server.standardError().toStdString();
  }
  ServerProcess server;
  EXPECT_FALSE(server.start({QStringLiteral("--listen"), QStringLiteral("every")}));
  EXPECT_EQ(server.stop(), 1);
  EXPECT_TRUE(server.standardError().contains(u"--listen \"every\" is no IP address"))
      << server.standardError().toStdString();
}

class TlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(certificates_.made()) << certificates_.error().toStdString();
    server_.setConfiguration(QStringLiteral("TlsCertificate"), certificates_.path("server.pem"));
    server_.setConfiguration(QStringLiteral("TlsKey"), certificates_.path("server.key"));
  }

  // A TLS client that trusts the test CA, with the client certificate when `withCertificate`.
  std::unique_ptr<QSslSocket> Connect(bool withCertificate) {
    auto socket = std::make_unique<QSslSocket>();
    QSslConfiguration tls = socket->sslConfiguration();
    tls.setCaCertificates(QSslCertificate::fromPath(certificates_.path("ca.pem")));
    if (withCertificate) {
      tls.setLocalCertificateChain(QSslCertificate::fromPath(certificates_.path("client.pem")));
      QFile key(certificates_.path("client.key"));
      EXPECT_TRUE(key.open(QIODevice::ReadOnly));
      tls.setPrivateKey(QSslKey(key.readAll(), QSsl::Ec));
    }
    socket->setSslConfiguration(tls);
    socket->connectToHostEncrypted(QStringLiteral("127.0.0.1"), server_.port());
    socket->waitForEncrypted(10000);
    return socket;
  }

  // Runs taurelin-client with `arguments` against the server; its exit code and output.
  std::pair<int, QString> Client(const QStringList& arguments) {
    QProcess client;
    client.start(QStringLiteral(TAURELIN_CLIENT_BINARY),
                 QStringList{QStringLiteral("--port"), QString::number(server_.port()),
                             QStringLiteral("--tls")} +
                     arguments + QStringList{QStringLiteral("TEST-API")});
    if (!client.waitForFinished(20000)) return {-1, {}};
    return {client.exitCode(), QString::fromUtf8(client.readAllStandardOutput())};
  }

  TestCertificates certificates_;
  ServerProcess server_;
};

TEST_F(TlsTest, AnswersOverTlsAndClosesWhatIsNoHandshake) {
  ASSERT_TRUE(server_.start()) << server_.standardError().toStdString();
  auto tls = Connect(false);
  ASSERT_TRUE(tls->isEncrypted()) << tls->errorString().toStdString();
  EXPECT_TRUE(Answered(*tls, "tls"));
  EXPECT_TRUE(Answered(*tls, "again"));

  // A plain client, and one that says nothing: neither holds its connection.
  EXPECT_TRUE(ClosedUnanswered(*server_.connect()));
  auto silent = server_.connect();
  const QDeadlineTimer deadline(30000);
  while (silent->state() != QAbstractSocket::UnconnectedState && !deadline.hasExpired()) {
    silent->waitForReadyRead(100);
  }
  EXPECT_EQ(silent->state(), QAbstractSocket::UnconnectedState);

  const auto [verified, answer] = Client({QStringLiteral("--ca"), certificates_.path("ca.pem")});
  EXPECT_EQ(verified, 0);
  EXPECT_TRUE(answer.startsWith(u"messageID=taurelin-client&count=10&")) << answer.toStdString();
  // A server the client cannot verify is refused.
  EXPECT_EQ(Client({}).first, 1);

  ASSERT_EQ(server_.stop(), 0);
  const QString log = server_.logMessages().join(u'\n');
  EXPECT_TRUE(log.contains(u"refused: TLS handshake failed: it sent no TLS handshake"))
      << log.toStdString();
  EXPECT_TRUE(log.contains(u"refused: TLS handshake failed: no handshake within 5 s"));
}

TEST_F(TlsTest, WithAClientCaOnlyAClientWithACertificateIsServed) {
  server_.setConfiguration(QStringLiteral("TlsClientCa"), certificates_.path("ca.pem"));
  ASSERT_TRUE(server_.start()) << server_.standardError().toStdString();
  auto shop = Connect(true);
  ASSERT_TRUE(shop->isEncrypted()) << shop->errorString().toStdString();
  EXPECT_TRUE(Answered(*shop, "shop"));
  EXPECT_TRUE(ClosedUnanswered(*Connect(false)));

  const QStringList ca = {QStringLiteral("--ca"), certificates_.path("ca.pem")};
  EXPECT_EQ(Client(ca + QStringList{QStringLiteral("--cert"), certificates_.path("client.pem"),
                                    QStringLiteral("--key"), certificates_.path("client.key")})
                .first,
            0);
  EXPECT_EQ(Client(ca).first, 1);
}

}  // namespace
}  // namespace taurelin
