#include "server/listener.h"

#include <QTcpSocket>

#include <utility>

namespace taurelin {

Listener::Listener(QObject* parent) : QObject(parent) {
  resume_.setSingleShot(true);
  resume_.setInterval(kAcceptPauseMs);
  connect(&resume_, &QTimer::timeout, this, [this] {
    if (server_.isListening()) server_.resumeAccepting();
  });
  // With TLS a connection becomes pending only after its handshake, not when it is accepted.
  connect(&server_, &QTcpServer::pendingConnectionAvailable, this, &Listener::onNewConnection);
  connect(&server_, &QTcpServer::acceptError, this, &Listener::onAcceptError);
  connect(&server_, &Door::outOfDescriptors, this, [this] {
    resumeShortly(QStringLiteral("no descriptor is free for a new connection"));
  });
  connect(&server_, &Door::refused, this, [this](const QString& peer, const QString& reason) {
    paused_ = false;
    Q_EMIT clientRefused(peer, reason);
  });
  connect(&server_, &Door::handshakeFailed, this,
          [this](const QString& peer, const QString& reason) {
            Q_EMIT clientRefused(peer, QStringLiteral("TLS handshake failed: ") + reason);
          });
}

void Listener::setDoor(const DoorSettings& door, int maxConnections) {
  door_ = door;
  server_.setSettings(door, maxConnections);
}

void Listener::start(quint16 port) {
  if (server_.isListening()) return;
  if (!server_.listen(door_.listenAddress, port)) {
    throw ListenError(QStringLiteral("cannot listen on %1 port %2: %3")
                          .arg(door_.listenAddress.toString())
                          .arg(port)
                          .arg(server_.errorString()));
  }
  server_.guardAccepts();
}

void Listener::stop() {
  resume_.stop();
  server_.close();
  server_.dropHandshakes();
  const QList<ClientConnection*> open = std::exchange(connections_, {});
  for (ClientConnection* connection : open) {
    connection->abort();
    Q_EMIT clientGone(connection);
    connection->deleteLater();
  }
}

void Listener::onNewConnection() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    paused_ = false;
    auto* connection = new ClientConnection(socket, this);
    connections_ << connection;
    connect(connection, &ClientConnection::disconnected, this, [this](ClientConnection* gone) {
      if (!connections_.removeOne(gone)) return;
      Q_EMIT clientGone(gone);
      gone->deleteLater();
    });
    Q_EMIT clientAccepted(connection);
  }
}

void Listener::onAcceptError(QAbstractSocket::SocketError error) {
  // Out of descriptors or memory (EMFILE, ENFILE, ENOBUFS, ENOMEM), or a client that gave
  // up before it was accepted: the listening socket is sound. QTcpServer has paused
  // accepting; it resumes shortly, and the connections that are open stay.
  if (error == QAbstractSocket::SocketResourceError || error == QAbstractSocket::NetworkError) {
    resumeShortly(server_.errorString());
    return;
  }
  Q_EMIT listenerFailed(server_.errorString());
}

void Listener::resumeShortly(const QString& error) {
  if (!paused_) Q_EMIT acceptPaused(error);
  paused_ = true;
  resume_.start();
}

}  // namespace taurelin
