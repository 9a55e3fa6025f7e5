#include "server/line_listener.h"

#include "base/elapsed_text.h"
#include "handlers/instruction_reply.h"
#include "protocol/reply_envelope.h"
#include "protocol/windows1252.h"
#include "server/descriptor_limit.h"

#include <QElapsedTimer>

#include <utility>

namespace taurelin {
namespace {

// The kinds a flood of the line protocol is summed up by in the log.
const QString kRequests = QStringLiteral("Line protocol requests");
const QString kConnections = QStringLiteral("Line protocol connections");

}  // namespace

LineListener::LineListener(OperatorInterface& face, ServerLog& log, Answer answer,
                           QObject* parent)
    : QObject(parent), face_(face), log_(log), answer_(std::move(answer)) {
  restartTimer_.setInterval(1000);
  connect(&restartTimer_, &QTimer::timeout, this, &LineListener::onRestartTimer);
  connect(&listener_, &Listener::clientAccepted, this, &LineListener::onClientAccepted);
  connect(&listener_, &Listener::clientGone, this, &LineListener::onClientGone);
  connect(&listener_, &Listener::listenerFailed, this, [this](const QString& error) {
    log_.log(QStringLiteral("Listener error : ") + error);
    setActive(false);
    restartTimer_.start();
  });
  connect(&listener_, &Listener::clientRefused, this,
          [this](const QString& peer, const QString& reason) {
            log_.logRequest(kConnections, QStringLiteral("Client ") + peer +
                                              QStringLiteral(" refused: ") + reason);
          });
  connect(&listener_, &Listener::acceptPaused, this, [this](const QString& error) {
    log_.tell(QStringLiteral("Accepting clients paused for a moment: ") + error);
  });
}

void LineListener::configure(const DoorSettings& door, int port, int idleTimeoutSeconds) {
  door_ = door;
  port_ = port;
  idleTimeoutSeconds_ = idleTimeoutSeconds;
}

void LineListener::setActive(bool on) {
  if (listener_.isActive() == on) return;
  if (on) {
    prepareDoor();
    listener_.start(static_cast<quint16>(port_));
    log_.log(QStringLiteral("Listener started"));
    face_.setPanel(OperatorInterface::kListenerPanel, QStringLiteral("Listener active"));
  } else {
    stopping_ = true;
    listener_.stop();
    stopping_ = false;
    log_.log(QStringLiteral("Listener stopped"));
    face_.setPanel(OperatorInterface::kListenerPanel, QStringLiteral("Listener inactive"));
  }
  face_.setListenChecked(listener_.isActive());
}

void LineListener::stop() {
  restartTimer_.stop();
  setActive(false);
}

void LineListener::prepareDoor() {
  if (doorReady_) return;
  if (!door_) {
    throw ListenError(QStringLiteral("the listener stays closed: start-up ended before it "
                                     "settled who may connect"));
  }
  const ConnectionRoom room = RoomForConnections(door_->maxConnections);
  if (room.connections < door_->maxConnections) {
    const QString text = QStringLiteral("The descriptor limit of %1 leaves room for %2 "
                                        "connections at once (MaxConnections is %3)")
                             .arg(room.descriptorLimit)
                             .arg(room.connections)
                             .arg(door_->maxConnections);
    log_.tell(text);
  }
  listener_.setDoor(*door_, room.connections);
  doorReady_ = true;
}

void LineListener::toggle() {
  try {
    setActive(!listener_.isActive());
  } catch (const ListenError& error) {
    face_.setListenChecked(false);
    face_.showError(QString::fromStdString(error.what()));
  }
}

void LineListener::onRestartTimer() {
  try {
    setActive(true);
  } catch (const ListenError&) {
    return;  // tried again on the next tick
  }
  restartTimer_.stop();
}

void LineListener::onClientAccepted(ClientConnection* connection) {
  const bool logged = log_.admitRequest(kConnections, 2);
  if (logged) {
    log_.log(QStringLiteral("Client ") + connection->peer() + QStringLiteral("  accepted"));
  }
  face_.setPanel(OperatorInterface::kConnectionPanel,
                 QStringLiteral("Client on ") + connection->peer() + QStringLiteral(" accepted"));
  if (logged) {
    log_.log(QStringLiteral("Client ") + connection->peer() + QStringLiteral(" is connecting"));
  }
  face_.setPanel(OperatorInterface::kConnectionPanel,
                 QStringLiteral("Serving ") + connection->peer());

  connect(connection, &ClientConnection::requestReceived, this, &LineListener::onRequest);
  connect(connection, &ClientConnection::requestTooLong, this, [this](ClientConnection* c) {
    log_.logRequest(kConnections, QStringLiteral("Client ") + c->peer() +
                                      QStringLiteral(" sent a request over 1 MiB"));
    // An empty reply: no columns, no rows.
    c->send(ToWindows1252(ReplyEnvelope::Write(InstructionReply(QString())) + u'\n'));
  });
  connect(connection, &ClientConnection::idle, this, [this](ClientConnection* c) {
    log_.logRequest(kConnections,
                    QStringLiteral("Client %1 sent nothing for %2 s; connection closed")
                        .arg(c->peer())
                        .arg(idleTimeoutSeconds_));
    c->abort();
  });
  connection->setIdleTimeout(idleTimeoutSeconds_);
  connect(connection, &ClientConnection::failed, this,
          [this](ClientConnection* c, const QString& error) {
            // Only this client's connection is closed; the listener and the others go on.
            log_.logRequest(kConnections, QStringLiteral("Client ") + c->peer() +
                                              QStringLiteral(" error : ") + error);
            c->abort();
          });
}

void LineListener::onClientGone(ClientConnection* connection) {
  log_.logRequest(kConnections, QStringLiteral("Client ") + connection->peer() +
                                    QStringLiteral(" is disconnecting"));
  face_.setPanel(OperatorInterface::kConnectionPanel, QStringLiteral("Not connected"));
  // A listener stopped on purpose stays stopped.
  if (!stopping_) restartTimer_.start();
}

void LineListener::onRequest(ClientConnection* connection, const QByteArray& bytes) {
  face_.setServing(true);
  QElapsedTimer timer;
  timer.start();
  const QString request = FromWindows1252(bytes);
  // A request's three lines are logged together or summed up with the flood they are part of.
  const bool logged = log_.admitRequest(kRequests, 3);
  if (logged) log_.log(QStringLiteral("I0 : ") + request);
  const QString reply = answer_(request);
  connection->send(ToWindows1252(reply));
  if (logged) {
    log_.log(QStringLiteral("U0 : ") + reply);
    log_.log(QStringLiteral("Instruksjonen tok totalt  ") + FormatElapsed(timer.elapsed()));
  }
  face_.setServing(false);
  log_.refreshLogView();
}

}  // namespace taurelin
