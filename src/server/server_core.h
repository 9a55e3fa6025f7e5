#pragma once

// The server: it wires its parts and keeps their start-up order, and it owns the request
// cycle and the Test command. The parts are the log (ServerLog), the line protocol's
// listener (LineListener), the expiry sweep (ExpirySweeper), the channel calendars
// (ChannelService), the HTTP face (HttpService) and the booking mails (MailService). It knows
// nothing of widgets; it shows and asks through its face (the operator window or the
// headless shell), so both faces behave alike.

#include "expiry/timeout_register.h"
#include "handlers/instruction.h"
#include "server/channel_service.h"
#include "server/configuration.h"
#include "server/expiry_sweeper.h"
#include "server/http_service.h"
#include "server/line_listener.h"
#include "server/mail_service.h"
#include "server/operator_interface.h"
#include "server/server_log.h"
#include "server/server_options.h"
#include "server/store_wording.h"
#include "store/database_session.h"

#include <QObject>
#include <QString>

#include <memory>

class QSettings;

namespace taurelin {

class ServerCore : public QObject {
  Q_OBJECT

 public:
  ServerCore(ServerOptions options, OperatorInterface& face, QObject* parent = nullptr);
  ~ServerCore() override;

  // Start-up, in order: configuration, version, the listener's door, database, expiry sweep,
  // listener, the channel calendars' reads when a channel file is given, and the HTTP face
  // when a port is given for it. A failure ends it at that step
  // and is thrown; what was done before stays. The sweep is scheduled only once the database
  // is connected, so that no sweep runs while start-up still waits for the operator: its
  // first run comes about a second later, then one per interval.
  void start();
  // Stops the listener and the HTTP face (closing every connection) and the sweep, and
  // releases the database.
  void stop();

  // Starts or stops the listener. Throws ListenError when the port cannot be opened, or when
  // start-up found the door's values unusable: the server never listens more openly than
  // configured. The first start raises the descriptor limit and sizes the connections to it.
  void SetListenerActive(bool on) { lines_.setActive(on); }
  // The operator's Listen: a listener that cannot start is shown as an error, not thrown.
  void toggleListening() { lines_.toggle(); }
  // Turns logging on or off and stores the switch for the next start.
  void toggleLogging() { log_.toggleLogging(); }
  // Shows or hides today's log. Throws LogWriteError when it should show a file that is
  // not there. While shown, the view takes in what is logged after each request and sweep.
  void toggleLogView() { log_.toggleLogView(); }
  // The Test command: runs the built-in test request as a client's would run, logs the
  // answer and returns it. It needs no start-up, since the request fails before it would
  // reach the database.
  QString runBuiltInTest();

  static QString GetVersionText();

  bool listening() const { return lines_.active(); }
  // The port the listener listens on, 0 when it does not.
  quint16 listeningPort() const { return lines_.port(); }
  // The HTTP face's port and address; 0 when it does not listen.
  quint16 httpPort() const { return http_.port(); }
  QString httpAddress() const { return http_.address(); }
  const ServerConfiguration& configuration() const { return configuration_; }
  bool logging() const { return log_.logging(); }
  bool logViewShown() const { return log_.logViewShown(); }
  TimeOutRegister& timeOuts() { return sweeper_.timeOuts(); }
  // Whether the expiry sweep is scheduled.
  bool sweeping() const { return sweeper_.scheduled(); }

 private:
  HandlerContext handlerContext();
  // The environment of one request, of the HTTP face or the line protocol.
  RequestContext requestContext(bool http);
  // Starts the booking mails. Throws ConfigurationError for settings that cannot be used.
  void startMail();
  QString answer(const QString& request);

  ServerOptions options_;
  OperatorInterface& face_;
  std::unique_ptr<QSettings> settings_;
  ServerLog log_;
  AliasList aliases_;
  OperatorStoreReports storeReports_;
  std::unique_ptr<DatabaseSession> session_;
  ServerConfiguration configuration_;
  LineListener lines_;
  ExpirySweeper sweeper_;
  ChannelService channels_;
  HttpService http_;
  std::unique_ptr<MailService> mail_;
};

}  // namespace taurelin
