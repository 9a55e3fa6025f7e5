#include "server/server_core.h"

#include "protocol/parser.h"
#include "server/builtin_test_request.h"
#include "server/configuration_store.h"
#include "server/door_settings.h"
#include "store/alias_list.h"
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
               [this] { return handlerContext(); }),
      channels_(face, log_, *session_, [this] { return mail_.get(); }),
      http_(*session_, {.log = log_,
                        .lines = lines_,
                        .sweeper = sweeper_,
                        .channels = channels_,
                        .context = [this] { return requestContext(true); },
                        .mail = [this] { return mail_.get(); }}) {}

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
  channels_.start(
      options_.channelsFile.isEmpty() ? configuration_.channelsFile : options_.channelsFile,
      configuration_);
  http_.start(options_, configuration_);
  startMail();
}

void ServerCore::startMail() {
  const std::optional<DatabaseAlias> database = aliases_.find(configuration_.databaseAlias);
  if (!database) return;  // no database: no booking, and no mail
  std::function<QString(qint64)> codeFor;
  if (!http_.bookingSecret().isEmpty()) {
    const BookingCodes codes(http_.bookingSecret());
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

void ServerCore::stop() {
  sweeper_.stop();
  lines_.stop();
  http_.stop();
  channels_.stop();
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
