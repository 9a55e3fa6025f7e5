#include "server/server_core.h"

#include "protocol/parser.h"
#include "server/builtin_test_request.h"
#include "server/configuration_store.h"
#include "server/door_settings.h"
#include "server/http_settings.h"
#include "store/alias_list.h"
#include "store/booking_store.h"
#include "store/database_error.h"
#include "store/statement.h"
#include "store/upgrade_check.h"
#include "web/booking_code.h"

#include <QDir>
#include <QSettings>

namespace taurelin {

ServerCore::ServerCore(ServerOptions options, OperatorInterface& face, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      face_(face),
      settings_(OpenConfigurationStore(options_.configFile)),
      log_(face, *settings_, options_.instance),
      aliases_(AliasList::Load(options_.aliasFile.isEmpty() ? AliasList::DefaultFile()
                                                            : options_.aliasFile)),
      storeReports_(face, [this](const QString& line) { log_.log(line); }),
      session_(std::make_unique<DatabaseSession>(aliases_, storeReports_)),
      lines_(face, log_, [this](const QString& request) { return answer(request); }),
      sweeper_(options_.timeOutDirectory, options_.sweepIntervalSeconds, log_,
               [this] { return handlerContext(); }) {}

ServerCore::~ServerCore() = default;

QString ServerCore::GetVersionText() { return QStringLiteral(TAURELIN_VERSION); }

void ServerCore::start() {
  log_.nameFile();
  configuration_ = ReadConfiguration(*settings_, options_.instance, aliases_.names(), face_);
  log_.start(configuration_);

  face_.setPanel(OperatorInterface::kPortPanel,
                 QStringLiteral("IP Port : ") + QString::number(configuration_.port));
  face_.setPanel(OperatorInterface::kVersionPanel,
                 QStringLiteral("Version : ") + GetVersionText());
  lines_.configure(MakeDoorSettings(configuration_, options_.listenAddress), configuration_.port,
                   configuration_.idleTimeoutSeconds);

  const QString exposure = aliases_.passwordExposure();
  if (!exposure.isEmpty()) log_.tell(exposure);
  session_->ConnectAPIDatabase(configuration_.databaseAlias);
  sweeper_.start();
  lines_.setActive(true);
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
  hooks.log = [this](const QString& line) { log_.log(line); };
  hooks.tell = [this](const QString& line) { log_.tell(line); };
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
  hooks.log = [this](const QString& line) { log_.log(line); };
  hooks.tell = [this](const QString& line) { log_.tell(line); };
  hooks.trouble = [this](const ChannelState& state, const QString& problem,
                         const QDateTime& since) {
    if (!mail_) return;
    try {
      mail_->mails().ChannelTrouble(session_->connection(), state.feed.name,
                                    state.feed.facility, state.feed.type, problem, since);
    } catch (const DatabaseError& error) {
      log_.log(QStringLiteral("Mail: the business's mail of channel %1 could not be written: %2")
                   .arg(state.feed.name, QString::fromUtf8(error.what())));
    }
  };
  hooks.changed = [this] {
    face_.setChannelStatus(channelReport().statusText());
    log_.refreshLogView();
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
      log_.tell(QStringLiteral("Channel calendars cannot be imported until the database is "
                               "upgraded (taurelin-db upgrade %1): %2")
                    .arg(configuration_.databaseAlias, missing.join(QStringLiteral("; "))));
    }
  }
  channels_ = std::make_unique<ChannelPoller>(feeds, std::move(hooks), settings);
  channels_->start();
  face_.setChannelStatus(channelReport().statusText());
  log_.log(QStringLiteral("Reading %1 channel calendars from %2").arg(feeds.size()).arg(file));
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
  const HttpFaceSettings settings = MakeHttpFaceSettings(configuration_, lines_.door(), given);
  bookingSecret_ = settings.access.secret;
  if (settings.guests.confirmSeconds > 0 && session_->connection().database().isOpen() &&
      !CheckUpgrade(session_->connection().database())
           .filter(QStringLiteral("BEKREFT_VENTER"))
           .isEmpty()) {
    // Guests' bookers then fail rather than book without the confirmation asked for.
    log_.tell(QStringLiteral("Guests cannot finish bookings until the database is upgraded "
                             "(taurelin-db upgrade %1): GuestConfirmByMail keeps its waiting "
                             "bookings in the table BEKREFT_VENTER")
                  .arg(configuration_.databaseAlias));
  }
  HttpFaceHooks hooks;
  hooks.context = [this] { return requestContext(true); };
  hooks.log = [this](const QString& line) { log_.log(line); };
  hooks.served = [this] { log_.refreshLogView(); };
  hooks.lineListening = [this] { return lines_.active(); };
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
    return BookingStore(session_->dmBook(), session_->connection()).Nations();
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
  log_.log(QStringLiteral("HTTP face started on %1 port %2")
               .arg(settings.address.toString())
               .arg(http_->port()));
}

QByteArray ServerCore::serverMetrics() {
  int held = 0;
  try {
    for (const TimeOutRecord& record : sweeper_.timeOuts().entries()) {
      held += record.isFree() ? 0 : 1;
    }
  } catch (const TimeOutRegisterError&) {
    held = -1;  // the register cannot be read: no count to give
  }
  QByteArray text =
      "# HELP taurelin_line_connections Line-protocol connections open now.\n"
      "# TYPE taurelin_line_connections gauge\n"
      "taurelin_line_connections " + QByteArray::number(lines_.connectionCount()) + '\n';
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
  sweeper_.stop();
  lines_.stop();
  if (http_) http_->stop();
  if (channels_) channels_->stop();
  if (mail_) mail_->stop();
  session_->ReleaseAPIDatabase();
}

HandlerContext ServerCore::handlerContext() {
  HandlerContext context;
  context.configuration = settings_.get();
  context.database = session_.get();
  return context;
}

RequestContext ServerCore::requestContext(bool http) {
  RequestContext context;
  context.writeLog = [this](const QString& line) { log_.log(line); };
  context.handlers = handlerContext();
  // A web shop on the line protocol sends its own mails, unless it asks for ours.
  if (mail_ && (http || configuration_.mail.lineProtocolBookings)) {
    context.handlers.events = mail_->events();
  }
  context.timeOuts = &sweeper_.timeOuts();
  context.maxRows = configuration_.maxRequestRows;
  return context;
}

QString ServerCore::answer(const QString& request) {
  RequestContext context = requestContext(false);
  return ProcessRequest(request, context);
}

QString ServerCore::runBuiltInTest() {
  const QString reply = answer(BuiltInTestRequest());
  log_.log(QStringLiteral("Respons : ") + reply);
  log_.refreshLogView();
  return reply;
}

}  // namespace taurelin
