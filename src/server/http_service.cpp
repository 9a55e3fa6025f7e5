#include "server/http_service.h"

#include "server/http_settings.h"
#include "store/booking_store.h"
#include "store/database_error.h"
#include "store/statement.h"
#include "store/upgrade_check.h"

#include <utility>

namespace taurelin {

HttpService::HttpService(DatabaseSession& session, Neighbours neighbours)
    : session_(&session), n_(std::move(neighbours)) {}

HttpService::~HttpService() = default;

void HttpService::start(const ServerOptions& options, const ServerConfiguration& configuration) {
  const std::optional<int> port = options.httpPort ? options.httpPort : configuration.httpPort;
  if (!port) return;
  HttpOptions given;
  given.port = static_cast<quint16>(*port);
  given.listenAddress = options.httpListenAddress;
  given.keyFile = options.httpKeys;
  given.stateDirectory = options.timeOutDirectory;
  const HttpFaceSettings settings = MakeHttpFaceSettings(configuration, n_.lines.door(), given);
  bookingSecret_ = settings.access.secret;
  if (settings.guests.confirmSeconds > 0 && session_->connection().database().isOpen() &&
      !CheckUpgrade(session_->connection().database())
           .filter(QStringLiteral("BEKREFT_VENTER"))
           .isEmpty()) {
    // Guests' bookers then fail rather than book without the confirmation asked for.
    n_.log.tell(QStringLiteral("Guests cannot finish bookings until the database is upgraded "
                               "(taurelin-db upgrade %1): GuestConfirmByMail keeps its waiting "
                               "bookings in the table BEKREFT_VENTER")
                    .arg(configuration.databaseAlias));
  }
  HttpFaceHooks hooks;
  hooks.context = n_.context;
  hooks.log = [this](const QString& line) { n_.log.log(line); };
  hooks.logsRequest = [this] {
    return n_.log.admitRequest(QStringLiteral("HTTP requests"), 1);
  };
  hooks.served = [this] { n_.log.refreshLogView(); };
  hooks.lineListening = [this] { return n_.lines.active(); };
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
  if (n_.channels.running()) hooks.channels = [this] { return n_.channels.report().json(); };
  hooks.nations = [this] {
    return session_->store().Nations();
  };
  hooks.mails = [this](const QString& state) {
    MailService* mail = n_.mail();
    return mail ? mail->list(session_->connection(), state) : QJsonObject();
  };
  hooks.retryMail = [this](const QString& id) -> std::optional<bool> {
    MailService* mail = n_.mail();
    if (!mail) return std::nullopt;
    return mail->retry(session_->connection(), id);
  };
  hooks.degraded = [this] {
    QStringList problems = n_.channels.report().problems();
    if (MailService* mail = n_.mail()) problems << mail->problems(session_->connection());
    return problems;
  };
  face_ = std::make_unique<HttpFace>(std::move(hooks));
  try {
    face_->start(settings);
  } catch (const ApiKeyError& error) {
    throw ConfigurationError(QString::fromUtf8(error.what()));
  }
  n_.log.log(QStringLiteral("HTTP face started on %1 port %2")
                 .arg(settings.address.toString())
                 .arg(face_->port()));
}

QByteArray HttpService::serverMetrics() {
  int held = 0;
  try {
    for (const TimeOutRecord& record : n_.sweeper.timeOuts().entries()) {
      held += record.isFree() ? 0 : 1;
    }
  } catch (const TimeOutRegisterError&) {
    held = -1;  // the register cannot be read: no count to give
  }
  QByteArray text =
      "# HELP taurelin_line_connections Line-protocol connections open now.\n"
      "# TYPE taurelin_line_connections gauge\n"
      "taurelin_line_connections " + QByteArray::number(n_.lines.connectionCount()) + '\n';
  if (held >= 0) {
    text += "# HELP taurelin_pending_holds Reservations held that have no booker yet.\n"
            "# TYPE taurelin_pending_holds gauge\n"
            "taurelin_pending_holds " + QByteArray::number(held) + '\n';
  }
  text += n_.channels.report().metrics();
  text += n_.log.metrics();
  if (MailService* mail = n_.mail()) text += mail->metrics(session_->connection());
  return text;
}

void HttpService::stop() {
  if (face_) face_->stop();
}

quint16 HttpService::port() const { return face_ ? face_->port() : 0; }

QString HttpService::address() const {
  return face_ && face_->listening() ? face_->address().toString() : QString();
}

}  // namespace taurelin
