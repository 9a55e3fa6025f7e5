#include "server/client_connection.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace taurelin {
namespace {

// IPv4 clients of a dual-stack listener are shown as plain dotted addresses.
QString DottedAddress(const QHostAddress& address) {
  bool isIpv4 = false;
  const quint32 ipv4 = address.toIPv4Address(&isIpv4);
  return isIpv4 ? QHostAddress(ipv4).toString() : address.toString();
}

}  // namespace

ClientConnection::ClientConnection(QTcpSocket* socket, QObject* parent)
    : QObject(parent), socket_(socket), peer_(DottedAddress(socket->peerAddress())) {
  socket_->setParent(this);
  silence_.setSingleShot(true);
  silence_.setInterval(kSilenceMs);
  connect(&silence_, &QTimer::timeout, this, &ClientConnection::onSilence);
  // What waits unread stays bounded: past this the socket stops reading and TCP holds the
  // client back.
  socket_->setReadBufferSize(kMaxRequestBytes);
  connect(socket_, &QTcpSocket::readyRead, this, &ClientConnection::onReadyRead);
  connect(socket_, &QTcpSocket::disconnected, this, [this] { Q_EMIT disconnected(this); });
  connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
    // A client that hangs up is no error; its disconnect is reported on its own.
    if (error == QAbstractSocket::RemoteHostClosedError) return;
    Q_EMIT failed(this, socket_->errorString());
  });
}

void ClientConnection::send(const QByteArray& answer) {
  if (socket_->state() != QAbstractSocket::ConnectedState) return;
  socket_->write(answer);
  socket_->flush();
}

void ClientConnection::close() {
  silence_.stop();
  socket_->disconnectFromHost();
}

void ClientConnection::abort() {
  silence_.stop();
  socket_->abort();
}

void ClientConnection::onReadyRead() {
  // Bytes that come while requests wait for their turn stay with the socket until then.
  if (!turnPending_) takeLine();
}

void ClientConnection::takeLine() {
  turnPending_ = false;
  if (!buffer_.contains('\n')) buffer_ += socket_->readAll();
  const qsizetype lineFeed = buffer_.indexOf('\n');
  if (lineFeed >= 0) {
    const QByteArray line = buffer_.left(lineFeed + 1);
    buffer_.remove(0, lineFeed + 1);
    if (discarding_) {
      discarding_ = false;
    } else if (line.size() > kMaxRequestBytes) {
      Q_EMIT requestTooLong(this);
    } else {
      Q_EMIT requestReceived(this, line);
    }
    // The connection may have been closed while the request was served.
    if (socket_->state() != QAbstractSocket::ConnectedState) {
      buffer_.clear();
      silence_.stop();
      return;
    }
    // One request a turn of the event loop: a client that sends many at once is served in
    // turns with the other clients, not ahead of them.
    if (buffer_.contains('\n') || socket_->bytesAvailable() > 0) {
      turnPending_ = true;
      silence_.stop();
      QTimer::singleShot(0, this, &ClientConnection::takeLine);
      return;
    }
  }
  if (buffer_.size() > kMaxRequestBytes) {
    buffer_.clear();
    if (!discarding_) Q_EMIT requestTooLong(this);
    discarding_ = true;
  }
  if (buffer_.isEmpty()) {
    silence_.stop();
  } else {
    silence_.start();
  }
}

void ClientConnection::onSilence() {
  if (buffer_.isEmpty() || discarding_ || turnPending_) return;
  const QByteArray request = buffer_;
  buffer_.clear();
  Q_EMIT requestReceived(this, request);
}

}  // namespace taurelin
