#pragma once

// Test support: an HTTP server on 127.0.0.1 that answers each request with what the test
// says, for the channel reads' tests. Nothing leaves the machine.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

namespace taurelin {

class TestHttpServer : public QObject {
 public:
  struct Request {
    QByteArray path;
    QHash<QByteArray, QByteArray> headers;  // lower-case names
  };
  // Writes the answer to the socket; the socket is closed by the server after a plain answer
  // (see Answer).
  using Handler = std::function<void(const Request&, QTcpSocket*)>;

  explicit TestHttpServer(Handler handler) : handler_(std::move(handler)) {
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
      }
    });
  }

  QByteArray url(const QByteArray& path) const {
    return "http://127.0.0.1:" + QByteArray::number(server_.serverPort()) + path;
  }
  const QList<Request>& requests() const { return requests_; }

  // A whole answer, after which the connection closes.
  static void Answer(QTcpSocket* socket, int status, const QByteArray& body,
                     const QByteArray& headers = {}) {
    socket->write("HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Length: " +
                  QByteArray::number(body.size()) + "\r\nConnection: close\r\n" + headers +
                  "\r\n" + body);
    socket->disconnectFromHost();
  }

 private:
  void readFrom(QTcpSocket* socket) {
    QByteArray& buffer = buffers_[socket];
    buffer += socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) return;
    Request request;
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    request.path = lines.value(0).split(' ').value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
      const qsizetype colon = lines[i].indexOf(':');
      if (colon > 0) {
        request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                               lines[i].mid(colon + 1).trimmed());
      }
    }
    buffers_.remove(socket);
    requests_.append(request);
    handler_(request, socket);
  }

  Handler handler_;
  QTcpServer server_;
  QHash<QTcpSocket*, QByteArray> buffers_;
  QList<Request> requests_;
};

}  // namespace taurelin
