#pragma once

// The line protocol's listener as the server runs it: its door, its clients and the restart
// after a failure.
//
// Promises: it never listens before it has the door that start-up checked, so never more
// openly than configured; the first start raises the descriptor limit and sizes the
// connections to it, telling the operator when that leaves fewer than MaxConnections. A
// listener that fails, or whose client goes, is started again every second until it listens;
// one stopped on purpose stays stopped. Each request is answered, logged and timed in the
// order it came; a client that sends too much, falls silent for its idle time-out or fails
// loses only its own connection.

#include "server/door_settings.h"
#include "server/listener.h"
#include "server/operator_interface.h"
#include "server/server_log.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

namespace taurelin {

class LineListener : public QObject {
  Q_OBJECT

 public:
  // The reply to one request, as the request cycle gives it.
  using Answer = std::function<QString(const QString& request)>;

  LineListener(OperatorInterface& face, ServerLog& log, Answer answer,
               QObject* parent = nullptr);

  // Who may connect and how, the port and the clients' idle time-out, once start-up has
  // checked them; until then the listener stays closed.
  void configure(const DoorSettings& door, int port, int idleTimeoutSeconds);
  // Starts or stops listening. Throws ListenError when the port cannot be opened, or when it
  // has no door.
  void setActive(bool on);
  // The operator's Listen: a listener that cannot start is shown as an error, not thrown.
  void toggle();
  // Stops listening (closing every connection) and trying again.
  void stop();

  bool active() const { return listener_.isActive(); }
  // The port it listens on, 0 when it does not.
  quint16 port() const { return listener_.isActive() ? listener_.port() : 0; }
  int connectionCount() const { return listener_.connectionCount(); }
  // The door start-up checked; nothing before, or when its values could not be used.
  const std::optional<DoorSettings>& door() const { return door_; }

 private:
  void onClientAccepted(ClientConnection* connection);
  void onClientGone(ClientConnection* connection);
  void onRequest(ClientConnection* connection, const QByteArray& bytes);
  void onRestartTimer();
  void prepareDoor();

  OperatorInterface& face_;
  ServerLog& log_;
  Answer answer_;
  int port_ = 0;
  int idleTimeoutSeconds_ = 0;
  std::optional<DoorSettings> door_;  // set once start-up has checked the door's values
  bool doorReady_ = false;            // the listener has its door
  Listener listener_;
  QTimer restartTimer_;
  bool stopping_ = false;  // the listener is being stopped on purpose
};

}  // namespace taurelin
