#include "server/server_core.h"

#include "base/elapsed_text.h"
#include "expiry/expiry_sweep.h"
#include "protocol/parser.h"
#include "protocol/reply_envelope.h"
#include "protocol/windows1252.h"
#include "server/builtin_test_request.h"
#include "server/configuration_store.h"
#include "server/descriptor_limit.h"
#include "server/http_settings.h"
#include "server/operation_log.h"
#include "store/alias_list.h"
#include "store/booking_store.h"
#include "store/database_error.h"
#include "store/statement.h"
#include "store/upgrade_check.h"
#include "web/booking_code.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSettings>

namespace taurelin {

ServerCore::ServerCore(ServerOptions options, OperatorInterface& face, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      face_(face),
      settings_(OpenConfigurationStore(options_.configFile)),
      aliases_(AliasList::Load(options_.aliasFile.isEmpty() ? AliasList::DefaultFile()
                                                            : options_.aliasFile)),
      storeReports_(face, [this](const QString& line) { log(line); }),
      session_(std::make_unique<DatabaseSession>(aliases_, storeReports_)),
      timeOuts_(options_.timeOutDirectory) {
  restartTimer_.setInterval(1000);
  connect(&restartTimer_, &QTimer::timeout, this, &ServerCore::onRestartTimer);
  timeOuts_.setLog([this](const QString& line) { log(line); });
  // Damage to the register is the operator's to know also with logging off.
  timeOuts_.setAlert([this](const QString& line) { tell(line); });
  connect(&sweepTimer_, &QTimer::timeout, this, &ServerCore::sweepExpired);
  connect(&listener_, &Listener::clientAccepted, this, &ServerCore::onClientAccepted);
  connect(&listener_, &Listener::clientGone, this, &ServerCore::onClientGone);
  connect(&listener_, &Listener::listenerFailed, this, [this](const QString& error) {
    log(QStringLiteral("Listener error : ") + error);
    SetListenerActive(false);
    restartTimer_.start();
  });
  connect(&listener_, &Listener::clientRefused, this,
          [this](const QString& peer, const QString& reason) {
            log(QStringLiteral("Client ") + peer + QStringLiteral(" refused: ") + reason);
          });
  connect(&listener_, &Listener::acceptPaused, this, [this](const QString& error) {
    tell(QStringLiteral("Accepting clients paused for a moment: ") + error);
  });
}

ServerCore::~ServerCore() = default;

QString ServerCore::GetVersionText() { return QStringLiteral(TAURELIN_VERSION); }

void ServerCore::start() {
  OperationLog& operationLog = ProcessLog();
  operationLog.setBaseName(OperationLog::BaseNameFor(options_.instance));
  configuration_ = ReadConfiguration(*settings_, options_.instance, aliases_.names(), face_);
  logging_ = configuration_.logging;
  face_.setLogfileChecked(logging_);
  operationLog.setRetentionDays(configuration_.logRetentionDays);
  operationLog.setEnabled(logging_);

  face_.setPanel(OperatorInterface::kPortPanel,
                 QStringLiteral("IP Port : ") + QString::number(configuration_.port));
  face_.setPanel(OperatorInterface::kVersionPanel,
                 QStringLiteral("Version : ") + GetVersionText());
  door_ = MakeDoorSettings(configuration_, options_.listenAddress);

  const QString exposure = aliases_.passwordExposure();
  if (!exposure.isEmpty()) tell(exposure);
  session_->ConnectAPIDatabase(configuration_.databaseAlias);
  try {
    // Damage first, while the damaged records are still where they were; then the free
    // records go, before this instance's first sweep. A register that cannot be compacted
    // is told and kept as it is: the server starts all the same.
    timeOuts_.check();
    timeOuts_.compact();
  } catch (const TimeOutRegisterError& error) {
    tell(QString::fromUtf8(error.what()));
  }
  sweepTimer_.start(1000);
  SetListenerActive(true);
  startChannels();
  startHttp();
  startMail();
}

void ServerCore::startMail() {
  const std::optional<DatabaseAlias> database = aliases_.find(configuration_.databaseAlias);
  if (!database) return;  // no database: no booking, and no mail
  std::function<QString(qint64)> codeFor;
  if (!bookingSecret_.isEmpty()) {
    const BookingCodes codes(bookingSecret_);
    codeFor = [codes](qint64 refnr) { return codes.codeFor(refnr); };
  }
  MailService::Hooks hooks;
  hooks.log = [this](const QString& line) { log(line); };
  hooks.tell = [this](const QString& line) { tell(line); };
  hooks.status = [this](const QString& text) { face_.setMailStatus(text); };
  mail_ = std::make_unique<MailService>(configuration_.mail, *database, QDir::currentPath(),
                                        std::move(codeFor), std::move(hooks));
  mail_->start(&session_->connection());
}

void ServerCore::startChannels() {
  const QString file =
      options_.channelsFile.isEmpty() ? configuration_.channelsFile : options_.channelsFile;
  if (file.isEmpty()) return;
  QList<ChannelFeed> feeds;
  try {
    feeds = ReadChannelFile(file);
  } catch (const ChannelFileError& error) {
    throw ConfigurationError(QString::fromUtf8(error.what()));
  }
  ChannelPoller::Hooks hooks;
  const RemovalRules removal = configuration_.channelRemoval;
  hooks.import = [this, removal](const ChannelFeed& feed,
                                 std::shared_ptr<const CalendarReading> reading) {
    return StartImport(*session_, feed, std::move(reading), QDateTime::currentDateTime(),
                       removal, mail_ ? mail_->events() : nullptr);
  };
  hooks.conflicts = [this](const ChannelFeed& feed) { return CurrentConflicts(*session_, feed); };
  hooks.log = [this](const QString& line) { log(line); };
  hooks.tell = [this](const QString& line) { tell(line); };
  hooks.trouble = [this](const ChannelState& state, const QString& problem,
                         const QDateTime& since) {
    if (!mail_) return;
    try {
      mail_->mails().ChannelTrouble(session_->connection(), state.feed.name,
                                    state.feed.facility, state.feed.type, problem, since);
    } catch (const DatabaseError& error) {
      log(QStringLiteral("Mail: the business's mail of channel %1 could not be written: %2")
              .arg(state.feed.name, QString::fromUtf8(error.what())));
    }
  };
  hooks.changed = [this] {
    face_.setChannelStatus(channelReport().statusText());
    refreshLogView();
  };
  ChannelPoller::Settings settings;
  settings.staleAfterSeconds = configuration_.channelStaleSeconds;
  settings.daysAhead = configuration_.feeds.daysAhead;
  settings.removal = removal;
  // A database upgraded by an earlier version lacks what the import keeps now: said once
  // here, rather than as an SQL error at every read.
  if (session_->connection().database().isOpen()) {
    const QStringList missing =
        CheckUpgrade(session_->connection().database()).filter(QStringLiteral("KANAL_"));
    if (!missing.isEmpty()) {
      tell(QStringLiteral("Channel calendars cannot be imported until the database is upgraded "
                          "(taurelin-db upgrade %1): %2")
               .arg(configuration_.databaseAlias, missing.join(QStringLiteral("; "))));
    }
  }
  channels_ = std::make_unique<ChannelPoller>(feeds, std::move(hooks), settings);
  channels_->start();
  face_.setChannelStatus(channelReport().statusText());
  log(QStringLiteral("Reading %1 channel calendars from %2").arg(feeds.size()).arg(file));
}

ChannelReport ServerCore::channelReport() const {
  static const QList<ChannelState> kNone;
  if (!channels_) return {kNone, {}, QDateTime::currentDateTimeUtc(), 0};
  return {channels_->states(), channels_->started(), QDateTime::currentDateTimeUtc(),
          channels_->staleAfterSeconds()};
}

void ServerCore::startHttp() {
  const std::optional<int> port = options_.httpPort ? options_.httpPort : configuration_.httpPort;
  if (!port) return;
  HttpOptions given;
  given.port = static_cast<quint16>(*port);
  given.listenAddress = options_.httpListenAddress;
  given.keyFile = options_.httpKeys;
  given.stateDirectory = options_.timeOutDirectory;
  const HttpFaceSettings settings = MakeHttpFaceSettings(configuration_, door_, given);
  bookingSecret_ = settings.access.secret;
  if (settings.guests.confirmSeconds > 0 && session_->connection().database().isOpen() &&
      !CheckUpgrade(session_->connection().database())
           .filter(QStringLiteral("BEKREFT_VENTER"))
           .isEmpty()) {
    // Guests' bookers then fail rather than book without the confirmation asked for.
    tell(QStringLiteral("Guests cannot finish bookings until the database is upgraded "
                        "(taurelin-db upgrade %1): GuestConfirmByMail keeps its waiting "
                        "bookings in the table BEKREFT_VENTER")
             .arg(configuration_.databaseAlias));
  }
  HttpFaceHooks hooks;
  hooks.context = [this] { return requestContext(true); };
  hooks.log = [this](const QString& line) { log(line); };
  hooks.served = [this] { refreshLogView(); };
  hooks.lineListening = [this] { return listener_.isActive(); };
  hooks.databaseReachable = [this] {
    try {
      Statement probe(session_->connection());
      probe.add(QStringLiteral("SELECT 1"));
      probe.run();
      return probe.next();
    } catch (const DatabaseError&) {
      return false;
    }
  };
  hooks.serverMetrics = [this] { return serverMetrics(); };
  if (channels_) hooks.channels = [this] { return channelReport().json(); };
  hooks.nations = [this] {
    return session_->store().Nations();
  };
  hooks.mails = [this](const QString& state) {
    return mail_ ? mail_->list(session_->connection(), state) : QJsonObject();
  };
  hooks.retryMail = [this](const QString& id) -> std::optional<bool> {
    if (!mail_) return std::nullopt;
    return mail_->retry(session_->connection(), id);
  };
  hooks.degraded = [this] {
    QStringList problems = channelReport().problems();
    if (mail_) problems << mail_->problems(session_->connection());
    return problems;
  };
  http_ = std::make_unique<HttpFace>(std::move(hooks));
  try {
    http_->start(settings);
  } catch (const ApiKeyError& error) {
    throw ConfigurationError(QString::fromUtf8(error.what()));
  }
  log(QStringLiteral("HTTP face started on %1 port %2")
          .arg(settings.address.toString())
          .arg(http_->port()));
}

QByteArray ServerCore::serverMetrics() {
  int held = 0;
  try {
    for (const TimeOutRecord& record : timeOuts_.entries()) held += record.isFree() ? 0 : 1;
  } catch (const TimeOutRegisterError&) {
    held = -1;  // the register cannot be read: no count to give
  }
  QByteArray text =
      "# HELP taurelin_line_connections Line-protocol connections open now.\n"
      "# TYPE taurelin_line_connections gauge\n"
      "taurelin_line_connections " + QByteArray::number(listener_.connectionCount()) + '\n';
  if (held >= 0) {
    text += "# HELP taurelin_pending_holds Reservations held that have no booker yet.\n"
            "# TYPE taurelin_pending_holds gauge\n"
            "taurelin_pending_holds " + QByteArray::number(held) + '\n';
  }
  text += channelReport().metrics();
  if (mail_) text += mail_->metrics(session_->connection());
  return text;
}

quint16 ServerCore::httpPort() const { return http_ ? http_->port() : 0; }

QString ServerCore::httpAddress() const {
  return http_ && http_->listening() ? http_->address().toString() : QString();
}

void ServerCore::stop() {
  restartTimer_.stop();
  sweepTimer_.stop();
  SetListenerActive(false);
  if (http_) http_->stop();
  if (channels_) channels_->stop();
  if (mail_) mail_->stop();
  session_->ReleaseAPIDatabase();
}

void ServerCore::SetListenerActive(bool on) {
  if (listener_.isActive() == on) return;
  if (on) {
    prepareDoor();
    listener_.start(static_cast<quint16>(configuration_.port));
    log(QStringLiteral("Listener started"));
    face_.setPanel(OperatorInterface::kListenerPanel, QStringLiteral("Listener active"));
  } else {
    stopping_ = true;
    listener_.stop();
    stopping_ = false;
    log(QStringLiteral("Listener stopped"));
    face_.setPanel(OperatorInterface::kListenerPanel, QStringLiteral("Listener inactive"));
  }
  face_.setListenChecked(listener_.isActive());
}

void ServerCore::prepareDoor() {
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
    tell(text);
  }
  listener_.setDoor(*door_, room.connections);
  doorReady_ = true;
}

void ServerCore::toggleListening() {
  try {
    SetListenerActive(!listener_.isActive());
  } catch (const ListenError& error) {
    face_.setListenChecked(false);
    face_.showError(QString::fromStdString(error.what()));
  }
}

void ServerCore::onRestartTimer() {
  try {
    SetListenerActive(true);
  } catch (const ListenError&) {
    return;  // tried again on the next tick
  }
  restartTimer_.stop();
}

void ServerCore::onClientAccepted(ClientConnection* connection) {
  log(QStringLiteral("Client ") + connection->peer() + QStringLiteral("  accepted"));
  face_.setPanel(OperatorInterface::kConnectionPanel,
                 QStringLiteral("Client on ") + connection->peer() + QStringLiteral(" accepted"));
  log(QStringLiteral("Client ") + connection->peer() + QStringLiteral(" is connecting"));
  face_.setPanel(OperatorInterface::kConnectionPanel,
                 QStringLiteral("Serving ") + connection->peer());

  connect(connection, &ClientConnection::requestReceived, this, &ServerCore::onRequest);
  connect(connection, &ClientConnection::requestTooLong, this, [this](ClientConnection* c) {
    log(QStringLiteral("Client ") + c->peer() + QStringLiteral(" sent a request over 1 MiB"));
    // An empty reply: no columns, no rows.
    c->send(ToWindows1252(ReplyEnvelope::Write(InstructionReply(QString())) + u'\n'));
  });
  connect(connection, &ClientConnection::idle, this, [this](ClientConnection* c) {
    log(QStringLiteral("Client %1 sent nothing for %2 s; connection closed")
            .arg(c->peer())
            .arg(configuration_.idleTimeoutSeconds));
    c->abort();
  });
  connection->setIdleTimeout(configuration_.idleTimeoutSeconds);
  connect(connection, &ClientConnection::failed, this,
          [this](ClientConnection* c, const QString& error) {
            // Only this client's connection is closed; the listener and the others go on.
            log(QStringLiteral("Client ") + c->peer() + QStringLiteral(" error : ") + error);
            c->abort();
          });
}

void ServerCore::onClientGone(ClientConnection* connection) {
  log(QStringLiteral("Client ") + connection->peer() + QStringLiteral(" is disconnecting"));
  face_.setPanel(OperatorInterface::kConnectionPanel, QStringLiteral("Not connected"));
  // A listener stopped on purpose stays stopped.
  if (!stopping_) restartTimer_.start();
}

void ServerCore::onRequest(ClientConnection* connection, const QByteArray& bytes) {
  face_.setServing(true);
  QElapsedTimer timer;
  timer.start();
  const QString request = FromWindows1252(bytes);
  log(QStringLiteral("I0 : ") + request);
  const QString reply = answer(request);
  connection->send(ToWindows1252(reply));
  log(QStringLiteral("U0 : ") + reply);
  log(QStringLiteral("Instruksjonen tok totalt  ") + FormatElapsed(timer.elapsed()));
  face_.setServing(false);
  refreshLogView();
}

HandlerContext ServerCore::handlerContext() {
  HandlerContext context;
  context.configuration = settings_.get();
  context.database = session_.get();
  return context;
}

RequestContext ServerCore::requestContext(bool http) {
  RequestContext context;
  context.writeLog = [this](const QString& line) { log(line); };
  context.handlers = handlerContext();
  // A web shop on the line protocol sends its own mails, unless it asks for ours.
  if (mail_ && (http || configuration_.mail.lineProtocolBookings)) {
    context.handlers.events = mail_->events();
  }
  context.timeOuts = &timeOuts_;
  context.maxRows = configuration_.maxRequestRows;
  return context;
}

QString ServerCore::answer(const QString& request) {
  RequestContext context = requestContext(false);
  return ProcessRequest(request, context);
}

void ServerCore::sweepExpired() {
  sweepTimer_.setInterval(options_.sweepIntervalSeconds * 1000);
  HandlerContext context = handlerContext();
  int handled = 0;
  try {
    handled = CheckTimeOuts(timeOuts_, context);
  } catch (const std::exception& failure) {
    // The sweep ends where it failed; the next one starts again from the first entry. A
    // notice, not an error box: a box would hold the sweeps and the requests behind it.
    const QString text = QStringLiteral("The sweep for expired reservations failed: ") +
                         QString::fromUtf8(failure.what());
    tell(text);
  }
  if (handled > 0) refreshLogView();
}

QString ServerCore::runBuiltInTest() {
  const QString reply = answer(BuiltInTestRequest());
  log(QStringLiteral("Respons : ") + reply);
  refreshLogView();
  return reply;
}

void ServerCore::tell(const QString& message) {
  log(message);
  face_.showNotice(message);
}

void ServerCore::log(const QString& message) {
  try {
    WriteLogLine(message);
  } catch (const LogWriteError& error) {
    face_.showNotice(QStringLiteral("The log cannot be written: ") +
                     QString::fromStdString(error.what()));
  }
}

void ServerCore::toggleLogging() {
  logging_ = !logging_;
  if (!WriteLogSwitch(*settings_, options_.instance, logging_)) {
    face_.showNotice(QStringLiteral("The log switch cannot be stored in ") + settings_->fileName());
  }
  face_.setLogfileChecked(logging_);
  ProcessLog().setEnabled(logging_);
}

void ServerCore::toggleLogView() {
  logViewShown_ = !logViewShown_;
  face_.setShowLogfileChecked(logViewShown_);
  if (!logViewShown_) {
    face_.hideLogView();
    return;
  }
  logTail_.reset();
  showLog();
}

void ServerCore::showLog() {
  const LogTail::Text read = logTail_.read(ProcessLog().currentFilePath());
  if (read.whole) {
    face_.showLogView(read.text);
  } else if (!read.text.isEmpty()) {
    face_.appendLogView(read.text);
  }
}

void ServerCore::refreshLogView() {
  if (!logViewShown_) return;
  try {
    showLog();
  } catch (const LogWriteError& error) {
    face_.showNotice(QString::fromStdString(error.what()));
  }
}

}  // namespace taurelin
