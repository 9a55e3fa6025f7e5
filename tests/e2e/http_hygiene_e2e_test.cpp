// What the server does with connections themselves: requests framed to be read two ways are
// refused and end their connection, a client that asks to close is closed after its answer,
// one address cannot take all connections, on the HTTP face or on the line protocol, and an
// answer without a body (HEAD, 304) leaves the connection fit for the next request.

#include "server_process.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QThread>
#include <zlib.h>

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

QByteArray Gunzip(const QByteArray& stream) {
  z_stream z{};
  if (inflateInit2(&z, 15 + 16) != Z_OK) return "inflateInit2 failed";
  QByteArray out;
  char chunk[4096];
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.constData()));
  z.avail_in = static_cast<uInt>(stream.size());
  int result = Z_OK;
  while (result == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(chunk);
    z.avail_out = sizeof chunk;
    result = inflate(&z, Z_NO_FLUSH);
    out.append(chunk, static_cast<qsizetype>(sizeof chunk - z.avail_out));
  }
  const bool whole = result == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  return whole ? out : "not a whole gzip stream";
}

QByteArray Header(const RawHttpAnswer& answer, const QByteArray& name) {
  for (const QByteArray& line : answer.head.split('\n')) {
    if (line.toLower().startsWith(name.toLower() + ": ")) {
      return line.mid(name.size() + 2).trimmed();
    }
  }
  return {};
}

QByteArray SourceFile(const QString& path) {
  QFile file(QStringLiteral(TAURELIN_WEB_SOURCES) + path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing");
}

// The head of an answer that has no body, whatever its Content-Length says.
QByteArray ReadHead(QTcpSocket& socket) {
  QByteArray bytes;
  const QDeadlineTimer deadline(15000);
  while (!bytes.contains("\r\n\r\n") && !deadline.hasExpired()) {
    if (!socket.waitForReadyRead(50)) continue;
    // One byte at a time: what follows the head belongs to the next answer.
    char byte;
    while (!bytes.contains("\r\n\r\n") && socket.getChar(&byte)) bytes += byte;
  }
  return bytes;
}

TEST_F(HttpHygieneTest, PageFilesAreGzippedForWhoAsksAndValidatedAndHeadHasNoBody) {
  // One connection for all, each answer read whole before the next request.
  auto client = Connect(port_);
  const auto get = [&](const QByteArray& target, const QByteArray& headers = {}) {
    client->write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n");
    const RawHttpAnswers read = Read(*client, 1);
    return read.answers.isEmpty() ? RawHttpAnswer{} : read.answers.first();
  };
  // A client that does not ask for gzip gets the very bytes of the files, as ever.
  for (const char* refusing : {"", "Accept-Encoding: gzip;q=0, identity\r\n"}) {
    const RawHttpAnswer plain = get("/app.js", refusing);
    EXPECT_EQ(plain.status, 200);
    EXPECT_EQ(plain.body, SourceFile("/page/app.js")) << refusing;
    EXPECT_TRUE(Header(plain, "Content-Encoding").isEmpty());
    EXPECT_EQ(Header(plain, "Vary"), "Accept-Encoding");
    EXPECT_EQ(get("/api/v1/openapi.json", refusing).body, SourceFile("/openapi.json"));
  }
  const QByteArray gzip = "Accept-Encoding: br, gzip;q=0.8\r\n";
  for (const char* target : {"/app.js", "/api/v1/openapi.json"}) {
    const RawHttpAnswer packed = get(target, gzip);
    EXPECT_EQ(Header(packed, "Content-Encoding"), "gzip") << target;
    EXPECT_LT(packed.body.size(), get(target).body.size() / 2) << target;
    EXPECT_EQ(Gunzip(packed.body), get(target).body) << target;
  }
  EXPECT_EQ(Header(get("/api/v1/openapi.json"), "Cache-Control"), "no-store");

  // The page names each file by a URL with its version: that one may be kept for a year.
  const RawHttpAnswer page = get("/", "Accept-Language: nb-NO,nb;q=0.9\r\n");
  EXPECT_EQ(Header(page, "Cache-Control"), "no-cache");
  EXPECT_EQ(Header(page, "Vary"), "Accept-Encoding, Accept-Language");
  EXPECT_TRUE(page.body.contains("<html lang=\"nb\">"));
  const QString versioned =
      QRegularExpression(QStringLiteral("src=\"(/app\\.js\\?v=[^\"]+)\""))
          .match(QString::fromUtf8(page.body))
          .captured(1);
  ASSERT_FALSE(versioned.isEmpty());
  EXPECT_EQ(Header(get(versioned.toLatin1()), "Cache-Control"),
            "public, max-age=31536000, immutable");
  EXPECT_EQ(Header(get("/app.js?v=stale"), "Cache-Control"), "no-cache");

  // Its ETag answers 304 without a body, a HEAD answers as GET would without one, and the
  // connection serves the next request after each.
  const RawHttpAnswer style = get("/style.css", gzip);
  const QByteArray etag = Header(style, "ETag");
  ASSERT_TRUE(etag.startsWith('"'));
  EXPECT_NE(etag, Header(get("/style.css"), "ETag"));  // each form has its own
  const QByteArray style304 = "GET /style.css HTTP/1.1\r\nHost: 127.0.0.1\r\n" + gzip +
                              "If-None-Match: \"other\", " + etag + "\r\n\r\n";
  client->write(style304);
  const QByteArray held = ReadHead(*client);
  EXPECT_TRUE(held.startsWith("HTTP/1.1 304")) << held.constData();
  EXPECT_TRUE(held.contains("ETag: " + etag));
  EXPECT_TRUE(Served(*client));
  client->write("HEAD /style.css HTTP/1.1\r\nHost: 127.0.0.1\r\n" + gzip + "\r\n");
  const QByteArray head = ReadHead(*client);
  EXPECT_TRUE(head.startsWith("HTTP/1.1 200")) << head.constData();
  EXPECT_TRUE(head.contains("Content-Length: " + QByteArray::number(style.body.size())));
  EXPECT_TRUE(head.contains("ETag: " + etag));
  EXPECT_TRUE(Served(*client));
  // A HEAD where only GET is answered is refused, also without a body.
  client->write("HEAD /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_TRUE(ReadHead(*client).startsWith("HTTP/1.1 405"));
  EXPECT_TRUE(Served(*client));
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
