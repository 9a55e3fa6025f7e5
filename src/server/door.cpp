#include "server/door.h"

#include "web/address_key.h"

#include <QEvent>
#include <QSocketNotifier>
#include <QSslSocket>
#include <QTcpSocket>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace taurelin {
namespace {

QHostAddress PeerOf(qintptr descriptor) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (::getpeername(static_cast<int>(descriptor), reinterpret_cast<sockaddr*>(&address),
                    &length) != 0) {
    return {};
  }
  return PlainAddress(QHostAddress(reinterpret_cast<const sockaddr*>(&address)));
}

}  // namespace

Door::Door(QObject* parent) : QSslServer(parent) {
  setHandshakeTimeout(kHandshakeTimeoutMs);
  connect(this, &QSslServer::errorOccurred, this,
          [this](QSslSocket* socket, QAbstractSocket::SocketError error) {
            const QString peer = handshaking_.take(socket);
            if (peer.isNull()) return;
            Q_EMIT handshakeFailed(peer, error == QAbstractSocket::SocketTimeoutError
                                             ? QStringLiteral("no handshake within %1 s")
                                                   .arg(kHandshakeTimeoutMs / 1000)
                                             : socket->errorString());
          });
}

void Door::setSettings(const DoorSettings& settings, int maxOpen) {
  settings_ = settings;
  maxOpen_ = maxOpen;
  if (settings_.tls) setSslConfiguration(*settings_.tls);
}

void Door::incomingConnection(qintptr descriptor) {
  const QHostAddress address = PeerOf(descriptor);
  const QString peer = address.isNull() ? QStringLiteral("(gone)") : address.toString();
  const QString key = AddressKey(address);
  QString refusal;
  if (!settings_.admits(address)) {
    refusal = QStringLiteral("not an allowed address");
  } else if (settings_.maxConnectionsPerAddress > 0 &&
             openByAddress_.value(key) >= settings_.maxConnectionsPerAddress) {
    refusal = QStringLiteral("too many connections from this address");
  } else if (open_ >= maxOpen_) {
    refusal = QStringLiteral("%1 connections are open, the most allowed").arg(open_);
  }
  if (!refusal.isEmpty()) {
    ::close(static_cast<int>(descriptor));
    Q_EMIT refused(peer, refusal);
    return;
  }
  if (settings_.tls) {
    QSslServer::incomingConnection(descriptor);
    watchHandshake(descriptor, peer, key);
    return;
  }
  auto* socket = new QTcpSocket(this);
  if (!socket->setSocketDescriptor(descriptor)) {
    delete socket;
    ::close(static_cast<int>(descriptor));  // a failed take-over leaves it open
    return;
  }
  count(socket, key);
  addPendingConnection(socket);
}

void Door::count(QTcpSocket* socket, const QString& key) {
  ++open_;
  ++openByAddress_[key];
  // Not in this object's name: QSslServer cuts a socket's ties to it once encrypted.
  connect(socket, &QObject::destroyed, &ties_, [this, key](QObject* gone) {
    --open_;
    if (--openByAddress_[key] == 0) openByAddress_.remove(key);
    const QString peer = handshaking_.take(gone);
    // Closed by QSslServer without an error: its first bytes were no TLS handshake.
    if (!peer.isNull()) Q_EMIT handshakeFailed(peer, QStringLiteral("it sent no TLS handshake"));
  });
}

void Door::watchHandshake(qintptr descriptor, const QString& peer, const QString& key) {
  for (QSslSocket* socket : findChildren<QSslSocket*>(Qt::FindDirectChildrenOnly)) {
    if (socket->socketDescriptor() != descriptor) continue;
    count(socket, key);
    handshaking_.insert(socket, peer);
    connect(socket, &QSslSocket::encrypted, &ties_,
            [this, socket] { handshaking_.remove(socket); });
    return;
  }
}

// Qt 6.4 takes an accept that fails for want of a descriptor (EMFILE) for a passing one and
// tries again at once, for as long as the shortage lasts: the server would spin. So before
// Qt's listening socket is served, a free descriptor is looked for; without one, accepting
// pauses. The watched notifier is that of Qt's socket engine for the listening socket.
void Door::guardAccepts() {
  for (QSocketNotifier* notifier : findChildren<QSocketNotifier*>()) {
    if (notifier->type() == QSocketNotifier::Read && notifier->socket() == socketDescriptor()) {
      notifier->installEventFilter(this);
    }
  }
}

bool Door::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::SockAct) return QSslServer::eventFilter(watched, event);
  const int spare = ::fcntl(static_cast<int>(socketDescriptor()), F_DUPFD_CLOEXEC, 0);
  if (spare >= 0) {
    ::close(spare);
    return false;
  }
  pauseAccepting();
  Q_EMIT outOfDescriptors();
  return true;
}

void Door::dropHandshakes() {
  const QList<QObject*> sockets = handshaking_.keys();
  handshaking_.clear();
  qDeleteAll(sockets);
}

}  // namespace taurelin
