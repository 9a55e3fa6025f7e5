#include "server/mail_commands.h"

#include "mail/mail_event.h"
#include "server/configuration.h"
#include "server/configuration_store.h"
#include "server/headless_face.h"
#include "server/http_settings.h"
#include "server/mail_service.h"
#include "store/connection.h"
#include "store/database_error.h"
#include "web/booking_code.h"

#include <QDir>
#include <QSettings>

#include <cstdio>
#include <memory>

namespace taurelin {
namespace {

// What both commands need: the mail settings and the database, as the server has them.
struct MailSetup {
  MailConfiguration mail;
  DatabaseAlias database;
  QByteArray secret;  // the booking codes', when one can be had
};

std::optional<MailSetup> Setup(const ServerOptions& options, const char* command) {
  const std::unique_ptr<QSettings> settings = OpenConfigurationStore(options.configFile);
  MailSetup setup;
  settings->beginGroup(ConfigurationGroup(options.instance));
  ServerConfiguration configuration;
  try {
    setup.mail = ReadMailConfiguration(*settings);
  } catch (const ConfigurationError& error) {
    PrintLine(QString::fromUtf8(error.what()));
    return std::nullopt;
  }
  const QString alias = settings->value(QStringLiteral("DatabaseAlias")).toString().trimmed();
  configuration.httpSecretFile = settings->value(QStringLiteral("HttpSecretFile")).toString();
  settings->endGroup();
  const std::optional<DatabaseAlias> database =
      AliasList::Load(options.aliasFile.isEmpty() ? AliasList::DefaultFile() : options.aliasFile)
          .find(alias);
  if (!database) {
    PrintLine(QStringLiteral("%1 reads the database of the configuration's DatabaseAlias, and "
                             "the configuration %2 names none the alias file knows")
                  .arg(QLatin1String(command), settings->fileName()));
    return std::nullopt;
  }
  setup.database = *database;
  HttpOptions given;
  given.stateDirectory = options.timeOutDirectory;
  try {
    setup.secret = MakeHttpFaceSettings(configuration, std::nullopt, given).access.secret;
  } catch (const std::exception&) {
    // No booking page: a preview has no code and no link, as the server's mails would not.
  }
  return setup;
}

}  // namespace

int PreviewMail(const ServerOptions& options, const QString& event, const QString& language,
                const QString& refnr) {
  const std::optional<MailEvent> which = MailEventFromName(event);
  bool isNumber = false;
  const qint64 number = refnr.toLongLong(&isNumber);
  if (!which || !isNumber) {
    PrintLine(QStringLiteral("--mail-preview takes an event (booking-confirmed, "
                             "booking-changed, booking-cancelled, business-new-booking, "
                             "business-cancellation) and a reference number"));
    return 2;
  }
  const std::optional<MailSetup> setup = Setup(options, "--mail-preview");
  if (!setup) return 2;
  try {
    std::function<QString(qint64)> codeFor;
    if (!setup->secret.isEmpty()) {
      const BookingCodes codes(setup->secret);
      codeFor = [codes](qint64 booking) { return codes.codeFor(booking); };
    }
    MailService service(setup->mail, setup->database, QDir::currentPath(), codeFor, {});
    Connection connection(QStringLiteral("mail-preview"));
    QString error;
    if (!connection.open(setup->database, &error, false)) throw DatabaseError(error);
    const std::optional<QByteArray> message =
        service.mails().Preview(connection, *which, number, language);
    if (!message) {
      PrintLine(QStringLiteral("there is no booking %1").arg(number));
      return 1;
    }
    std::fwrite(message->constData(), 1, static_cast<size_t>(message->size()), stdout);
  } catch (const std::exception& failure) {
    PrintLine(QString::fromUtf8(failure.what()));
    return 1;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

int SendTestMail(const ServerOptions& options, const QString& address) {
  const std::optional<MailSetup> setup = Setup(options, "--mail-test");
  if (!setup) return 2;
  try {
    MailService service(setup->mail, setup->database, QDir::currentPath(), {}, {});
    const DeliveryOutcome outcome = service.sendTest(address);
    const char* kinds[] = {"sent", "not sent yet (a retry could help)", "refused"};
    std::printf("%s: %s\n", kinds[static_cast<int>(outcome.kind)], qPrintable(outcome.answer));
    std::fflush(stdout);
    return outcome.kind == DeliveryOutcome::Kind::kDelivered ? 0 : 1;
  } catch (const std::exception& failure) {
    PrintLine(QString::fromUtf8(failure.what()));
    return 1;
  }
}

}  // namespace taurelin
