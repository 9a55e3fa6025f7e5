#pragma once

// The TCP listener: accepts every client on the configured port and keeps their
// connections. Stopping it closes every connection.

#include "server/client_connection.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <stdexcept>

namespace taurelin {

class ListenError : public std::runtime_error {
 public:
  explicit ListenError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

class Listener : public QObject {
  Q_OBJECT

 public:
  explicit Listener(QObject* parent = nullptr);

  bool isActive() const { return server_.isListening(); }
  // The port it listens on (the one the system chose when asked for port 0).
  quint16 port() const { return server_.serverPort(); }
  // Starts listening on every address. Throws ListenError when the port cannot be opened.
  void start(quint16 port);
  // Stops listening and closes every client connection.
  void stop();
  int connectionCount() const { return static_cast<int>(connections_.size()); }

 Q_SIGNALS:
  // A client came; its events come from `connection` from now on.
  void clientAccepted(taurelin::ClientConnection* connection);
  // A client's connection is gone; `connection` is deleted afterwards.
  void clientGone(taurelin::ClientConnection* connection);
  // The listening socket itself failed.
  void listenerFailed(const QString& error);

 private:
  void onNewConnection();

  QTcpServer server_;
  QList<ClientConnection*> connections_;
};

}  // namespace taurelin
