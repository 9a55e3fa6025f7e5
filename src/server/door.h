#pragma once

// The listening socket and its door. A connection from an address the settings do not admit,
// or one past the most that may be open (in all, or from its address), is closed as soon as
// it is accepted, before a byte is read or written (so before any TLS handshake). With TLS a connection is handed on once
// its handshake is done; one whose handshake fails, or does not come within a few seconds,
// is closed. What is handed on is a QTcpSocket, a QSslSocket with TLS. When no descriptor is
// free for the next connection, it does not try to accept but pauses accepting and says so.

#include "server/door_settings.h"

#include <QHash>
#include <QObject>
#include <QSslServer>
#include <QString>

class QTcpSocket;

namespace taurelin {

class Door : public QSslServer {
  Q_OBJECT

 public:
  static constexpr int kHandshakeTimeoutMs = 5000;

  explicit Door(QObject* parent = nullptr);

  // Takes effect for the connections that come next. `maxOpen`: the most sockets open at once.
  void setSettings(const DoorSettings& settings, int maxOpen);
  // Sockets open now: those handed on that are still there, and those in their handshake.
  int openSockets() const { return open_; }
  // Closes the connections still in their TLS handshake.
  void dropHandshakes();
  // After listen(): look for a free descriptor before each accept.
  void guardAccepts();

 Q_SIGNALS:
  // A connection was closed at once; `peer` in dotted form.
  void refused(const QString& peer, const QString& reason);
  // A TLS connection was closed before its handshake was done.
  void handshakeFailed(const QString& peer, const QString& reason);
  // Accepting is paused: no descriptor was free for a waiting connection.
  void outOfDescriptors();

 protected:
  void incomingConnection(qintptr descriptor) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Counts `socket` as open, and as one of its address's (by AddressKey `key`).
  void count(QTcpSocket* socket, const QString& key);
  void watchHandshake(qintptr descriptor, const QString& peer, const QString& key);

  DoorSettings settings_;
  int maxOpen_ = kDefaultMaxConnections;
  int open_ = 0;
  QHash<QString, int> openByAddress_;  // by AddressKey
  QHash<QObject*, QString> handshaking_;  // socket → its peer
  QObject ties_;  // the context of our connections to the sockets
};

}  // namespace taurelin
