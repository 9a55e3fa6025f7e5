#include "server/listener.h"

#include <QTcpSocket>

#include <utility>

namespace taurelin {

Listener::Listener(QObject* parent) : QObject(parent) {
  connect(&server_, &QTcpServer::newConnection, this, &Listener::onNewConnection);
  connect(&server_, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
    Q_EMIT listenerFailed(server_.errorString());
  });
}

void Listener::start(quint16 port) {
  if (server_.isListening()) return;
  if (!server_.listen(QHostAddress::Any, port)) {
    throw ListenError(QStringLiteral("cannot listen on port %1: %2").arg(port).arg(server_.errorString()));
  }
}

void Listener::stop() {
  server_.close();
  const QList<ClientConnection*> open = std::exchange(connections_, {});
  for (ClientConnection* connection : open) {
    connection->abort();
    Q_EMIT clientGone(connection);
    connection->deleteLater();
  }
}

void Listener::onNewConnection() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
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

}  // namespace taurelin
