#pragma once

// The TCP listener: accepts the clients its door admits on the configured port and keeps
// their connections. Stopping it closes every connection. When accepting fails for want of
// descriptors or memory, accepting pauses for a moment and resumes; the open connections
// stay. Only a failure of the listening socket itself is reported as one.

#include "server/client_connection.h"
#include "server/door.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <stdexcept>

namespace taurelin {

class ListenError : public std::runtime_error {
 public:
  explicit ListenError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

class Listener : public QObject {
  Q_OBJECT

 public:
  static constexpr int kAcceptPauseMs = 250;

  explicit Listener(QObject* parent = nullptr);

  bool isActive() const { return server_.isListening(); }
  // The port it listens on (the one the system chose when asked for port 0).
  quint16 port() const { return server_.serverPort(); }
  // Who is admitted and how, and the most connections open at once; for the next start.
  void setDoor(const DoorSettings& door, int maxConnections);
  // Starts listening on the door's address. Throws ListenError when the port cannot be
  // opened.
  void start(quint16 port);
  // Stops listening and closes every client connection.
  void stop();
  int connectionCount() const { return static_cast<int>(connections_.size()); }

 Q_SIGNALS:
  // A client came; its events come from `connection` from now on.
  void clientAccepted(taurelin::ClientConnection* connection);
  // A client's connection is gone; `connection` is deleted afterwards.
  void clientGone(taurelin::ClientConnection* connection);
  // A client was turned away at the door, or its TLS handshake failed.
  void clientRefused(const QString& peer, const QString& reason);
  // Accepting failed for want of resources and pauses; said once until a client comes again.
  void acceptPaused(const QString& error);
  // The listening socket itself failed.
  void listenerFailed(const QString& error);

 private:
  void onNewConnection();
  void onAcceptError(QAbstractSocket::SocketError error);
  // Accepting is paused (by QTcpServer or the door) for want of resources: resume shortly.
  void resumeShortly(const QString& error);

  Door server_;
  DoorSettings door_;
  QList<ClientConnection*> connections_;
  QTimer resume_;
  bool paused_ = false;  // acceptPaused was said for the current shortage
};

}  // namespace taurelin
