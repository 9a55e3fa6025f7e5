#include "web/http_listener.h"

#include "web/address_key.h"

namespace taurelin {

HttpListener::HttpListener(HttpLimits limits, int maxConnections, Admission admits,
                           QObject* parent)
    : QTcpServer(parent),
      limits_(limits),
      maxConnections_(maxConnections),
      admits_(std::move(admits)) {}

void HttpListener::capPerAddress(int most, Admission exempt) {
  perAddress_ = most;
  exempt_ = std::move(exempt);
}

void HttpListener::incomingConnection(qintptr descriptor) {
  auto* socket = new HttpSocket(limits_, this);
  if (!socket->setSocketDescriptor(descriptor)) {
    delete socket;
    return;
  }
  const QHostAddress address = socket->peerAddress();
  const QString peer = address.toString();
  const QString key = AddressKey(address);
  QString reason;
  if (admits_ && !admits_(address)) {
    reason = QStringLiteral("not an allowed address");
  } else if (perAddress_ > 0 && openByAddress_.value(key) >= perAddress_ &&
             !(exempt_ && exempt_(address))) {
    reason = QStringLiteral("too many HTTP connections from this address");
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
  ++openByAddress_[key];
  connect(socket, &QObject::destroyed, this, [this, key] {
    --open_;
    if (--openByAddress_[key] == 0) openByAddress_.remove(key);
  });
  connect(socket, &HttpSocket::closedByGuard, this,
          [this, peer](const QString& why) { Q_EMIT closedByGuard(peer, why); });
  // The library takes the socket here and connects its reader.
  addPendingConnection(socket);
  socket->followLibraryReads();
}

}  // namespace taurelin
