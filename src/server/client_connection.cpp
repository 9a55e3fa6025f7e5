#include "server/client_connection.h"

#include "server/door_settings.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <malloc.h>

namespace taurelin {

ClientConnection::ClientConnection(QTcpSocket* socket, QObject* parent)
    : QObject(parent), socket_(socket), peer_(PlainAddress(socket->peerAddress()).toString()) {
  socket_->setParent(this);
  silence_.setSingleShot(true);
  silence_.setInterval(kSilenceMs);
  connect(&silence_, &QTimer::timeout, this, &ClientConnection::onSilence);
  idle_.setSingleShot(true);
  connect(&idle_, &QTimer::timeout, this, [this] { Q_EMIT idle(this); });
  // What waits unread stays bounded: past this the socket stops reading and TCP holds the
  // client back.
  socket_->setReadBufferSize(kMaxRequestBytes);
  connect(socket_, &QTcpSocket::readyRead, this, &ClientConnection::onReadyRead);
  connect(socket_, &QTcpSocket::bytesWritten, this, &ClientConnection::onBytesWritten);
  connect(socket_, &QTcpSocket::disconnected, this, [this] { Q_EMIT disconnected(this); });
  connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
    // A client that hangs up is no error; its disconnect is reported on its own.
    if (error == QAbstractSocket::RemoteHostClosedError) return;
    Q_EMIT failed(this, socket_->errorString());
  });
}

ClientConnection::~ClientConnection() {
  // Run once the socket, a child deleted after this body, is gone too.
  if (heldMuch_) QTimer::singleShot(0, [] { malloc_trim(0); });
}

void ClientConnection::send(const QByteArray& answer) {
  if (socket_->state() != QAbstractSocket::ConnectedState) return;
  socket_->write(answer);
  socket_->flush();
  if (socket_->bytesToWrite() > kMostUnsentBytes) {
    Q_EMIT failed(this, QStringLiteral("more than %1 MiB of answers left unread")
                            .arg(kMostUnsentBytes / (1024 * 1024)));
  }
}

void ClientConnection::close() {
  silence_.stop();
  idle_.stop();
  socket_->disconnectFromHost();
}

void ClientConnection::abort() {
  silence_.stop();
  idle_.stop();
  socket_->abort();
}

void ClientConnection::setIdleTimeout(int seconds) {
  idle_.setInterval(seconds * 1000);
  restartIdleTimer();
}

void ClientConnection::restartIdleTimer() {
  if (idle_.interval() > 0 && socket_->state() == QAbstractSocket::ConnectedState) {
    idle_.start();
  } else {
    idle_.stop();
  }
}

bool ClientConnection::backedUp() const { return socket_->bytesToWrite() > kMaxUnsentBytes; }

void ClientConnection::onReadyRead() {
  restartIdleTimer();
  // Bytes that come while requests wait for their turn, or for the client to read, stay
  // with the socket until then.
  if (!turnPending_ && !waitingForReader_) takeLine();
}

void ClientConnection::onBytesWritten() {
  restartIdleTimer();
  if (!waitingForReader_ || backedUp()) return;
  waitingForReader_ = false;
  if (!turnPending_) {
    turnPending_ = true;
    QTimer::singleShot(0, this, &ClientConnection::takeLine);
  }
}

void ClientConnection::takeLine() {
  turnPending_ = false;
  if (backedUp()) {
    // Taking more would queue answers without end for a client that reads none.
    waitingForReader_ = true;
    heldMuch_ = true;
    silence_.stop();
    return;
  }
  if (!buffer_.contains('\n')) buffer_ += socket_->readAll();
  if (buffer_.size() > kMaxUnsentBytes) heldMuch_ = true;
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
  if (buffer_.isEmpty() || discarding_ || turnPending_ || waitingForReader_) return;
  const QByteArray request = buffer_;
  buffer_.clear();
  Q_EMIT requestReceived(this, request);
}

}  // namespace taurelin
