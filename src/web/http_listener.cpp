#include "web/http_listener.h"

namespace taurelin {

HttpListener::HttpListener(HttpLimits limits, int maxConnections, Admission admits,
                           QObject* parent)
    : QTcpServer(parent),
      limits_(limits),
      maxConnections_(maxConnections),
      admits_(std::move(admits)) {}

void HttpListener::incomingConnection(qintptr descriptor) {
  auto* socket = new HttpSocket(limits_, this);
  if (!socket->setSocketDescriptor(descriptor)) {
    delete socket;
    return;
  }
  const QString peer = socket->peerAddress().toString();
  QString reason;
  if (admits_ && !admits_(socket->peerAddress())) {
    reason = QStringLiteral("not an allowed address");
  } else if (open_ >= maxConnections_) {
    reason = QStringLiteral("too many HTTP connections");
  }
  if (!reason.isEmpty()) {
    socket->abort();
    socket->deleteLater();
    Q_EMIT refused(peer, reason);
    return;
  }
  ++open_;
  connect(socket, &QObject::destroyed, this, [this] { --open_; });
  connect(socket, &HttpSocket::closedByGuard, this,
          [this, peer](const QString& why) { Q_EMIT closedByGuard(peer, why); });
  // The library takes the socket here and connects its reader.
  addPendingConnection(socket);
  socket->followLibraryReads();
}

}  // namespace taurelin
