#include "web/http_socket.h"

namespace taurelin {

HttpSocket::HttpSocket(const HttpLimits& limits, QObject* parent)
    : QTcpSocket(parent), limits_(limits) {
  // The library keeps a request's bytes until the request is whole; this bounds them.
  setReadBufferSize(limits_.maxRequestBytes);
  deadline_.setSingleShot(true);
  idle_.setSingleShot(true);
  connect(&deadline_, &QTimer::timeout, this, [this] {
    refuse(408, "Request Timeout", QStringLiteral("the request did not arrive in time"));
  });
  connect(&idle_, &QTimer::timeout, this, &HttpSocket::onIdle);
  // Connected before the library connects its own reader, so it counts each chunk first.
  connect(this, &QTcpSocket::readyRead, this, &HttpSocket::onReadyRead);
  connect(this, &QTcpSocket::bytesWritten, this, [this] { idle_.start(limits_.idleMs); });
  idle_.start(limits_.idleMs);
}

void HttpSocket::onReadyRead() {
  if (refused_) return;
  if (received_ == 0) deadline_.start(limits_.requestDeadlineMs);
  received_ += bytesAvailable();
  idle_.start(limits_.idleMs);
  // Judged after the library has read this chunk: a request that ends exactly at the limit
  // is answered, not refused.
  if (received_ >= limits_.maxRequestBytes) {
    QTimer::singleShot(0, this, &HttpSocket::checkRequestSize);
  }
}

void HttpSocket::checkRequestSize() {
  if (received_ >= limits_.maxRequestBytes) {
    refuse(413, "Payload Too Large", QStringLiteral("the request is larger than %1 bytes")
                                         .arg(limits_.maxRequestBytes));
  }
}

qint64 HttpSocket::writeData(const char* data, qint64 size) {
  // An answer is being written: the request it answers is done.
  received_ = 0;
  deadline_.stop();
  idle_.start(limits_.idleMs);
  const qint64 written = QTcpSocket::writeData(data, size);
  if (!refused_ && bytesToWrite() > limits_.maxUnsentBytes) {
    refused_ = true;
    QTimer::singleShot(0, this, [this] {
      Q_EMIT closedByGuard(QStringLiteral("unread answers"));
      abort();
    });
  }
  return written;
}

void HttpSocket::onIdle() {
  if (refused_) {
    abort();
    return;
  }
  if (received_ > 0) {
    refuse(408, "Request Timeout", QStringLiteral("the request did not arrive in time"));
    return;
  }
  Q_EMIT closedByGuard(QStringLiteral("idle"));
  disconnectFromHost();
}

void HttpSocket::refuse(int status, const QByteArray& reason, const QString& why) {
  if (refused_ || state() != ConnectedState) return;
  refused_ = true;
  deadline_.stop();
  Q_EMIT closedByGuard(why);
  const QByteArray code = status == 408 ? QByteArrayLiteral("request_timeout")
                                        : QByteArrayLiteral("payload_too_large");
  const QByteArray body = "{\"error\":{\"code\":\"" + code + "\",\"message\":\"" +
                          why.toUtf8() + "\"}}";
  QByteArray answer = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
  answer += "Content-Type: application/json\r\nConnection: close\r\nContent-Length: " +
            QByteArray::number(body.size()) + "\r\n\r\n" + body;
  write(answer);
  flush();
  disconnectFromHost();
  // A client that neither reads nor closes is not waited for long.
  idle_.start(1000);
}

}  // namespace taurelin
