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
  buffer_ += socket_->readAll();
  takeLines();
  if (buffer_.isEmpty()) {
    silence_.stop();
  } else {
    silence_.start();
  }
}

void ClientConnection::takeLines() {
  // Requests are served one after another; the connection may be closed while one is
  // served, so the buffer is looked at again after each.
  for (;;) {
    const qsizetype lineFeed = buffer_.indexOf('\n');
    if (lineFeed < 0) break;
    const QByteArray line = buffer_.left(lineFeed + 1);
    buffer_.remove(0, lineFeed + 1);
    if (discarding_) {
      discarding_ = false;
    } else if (line.size() > kMaxRequestBytes) {
      Q_EMIT requestTooLong(this);
    } else {
      Q_EMIT requestReceived(this, line);
    }
    if (socket_->state() != QAbstractSocket::ConnectedState) {
      buffer_.clear();
      return;
    }
  }
  if (buffer_.size() > kMaxRequestBytes) {
    buffer_.clear();
    if (!discarding_) Q_EMIT requestTooLong(this);
    discarding_ = true;
  }
}

void ClientConnection::onSilence() {
  if (buffer_.isEmpty() || discarding_) return;
  const QByteArray request = buffer_;
  buffer_.clear();
  Q_EMIT requestReceived(this, request);
}

}  // namespace taurelin
