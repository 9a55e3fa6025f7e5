#include "server/configuration.h"

#include "base/integer_text.h"
#include "server/configuration_store.h"

#include <QSettings>

namespace taurelin {
namespace {

const QString kLogfile = QStringLiteral("Logfile");
const QString kPort = QStringLiteral("Port");
const QString kIpAddress = QStringLiteral("IPAddress");
const QString kDatabaseAlias = QStringLiteral("DatabaseAlias");
const QString kMaxRequestRows = QStringLiteral("MaxRequestRows");
const QString kIdleTimeoutSeconds = QStringLiteral("IdleTimeoutSeconds");
const QString kLogRetentionDays = QStringLiteral("LogRetentionDays");
const QString kLogMinFreeMB = QStringLiteral("LogMinFreeMB");
const QString kLogLinesPerSecond = QStringLiteral("LogLinesPerSecond");
const QString kHttpPort = QStringLiteral("HttpPort");
const QString kHttpMaxConnections = QStringLiteral("HttpMaxConnections");
const QString kHttpMaxConnectionsPerAddress = QStringLiteral("HttpMaxConnectionsPerAddress");

// Writes one value and makes sure it reached the file.
bool Write(QSettings& settings, const QString& key, const QVariant& value) {
  settings.setValue(key, value);
  settings.sync();
  return settings.status() == QSettings::NoError;
}

void WriteOrThrow(QSettings& settings, const QString& key, const QVariant& value) {
  if (!Write(settings, key, value)) {
    throw ConfigurationError(QStringLiteral("cannot write %1 to the configuration %2")
                                 .arg(key, settings.fileName()));
  }
}

QString ReadText(QSettings& settings, const QString& key) {
  const QVariant value = settings.value(key);
  if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(u',');
  return value.toString();
}

// Asks for the port until the operator gives an integer, or cancels. A store that takes no
// write ends the read: asking again would not mend it, and headless, where the offered port
// is the answer every time, would ask for ever.
int AskPort(QSettings& settings, OperatorInterface& face) {
  face.showMessage(QStringLiteral("Port er ikke definert for applikasjonen"));
  for (;;) {
    const std::optional<QString> answer =
        face.askValue(QStringLiteral("Definer IP-port"), QStringLiteral("Port :"),
                      QStringLiteral("12000"));
    if (!answer) return 0;
    if (const std::optional<int> port = ToInteger(answer->trimmed())) {
      WriteOrThrow(settings, kPort, *port);
      return *port;
    }
    face.showError(QStringLiteral("Ugyldig port (heltall)"));
  }
}

// An optional whole number: `fallback` when absent; present, it must lie in [low, high], for
// a value the operator set and mistyped must not silently become another one.
int ReadOptional(QSettings& settings, const QString& key, int fallback, int low, int high) {
  if (!settings.contains(key)) return fallback;
  const std::optional<int> value = ReadInteger(settings, key);
  if (!value || *value < low || *value > high) {
    throw ConfigurationError(
        QStringLiteral("%1 in the configuration %2 must be a whole number from %3 to %4, not "
                       "\"%5\"")
            .arg(key, settings.fileName())
            .arg(low)
            .arg(high)
            .arg(ReadText(settings, key)));
  }
  return *value;
}

DoorValues ReadDoorValues(QSettings& settings) {
  return {ReadText(settings, QStringLiteral("ListenAddress")),
          ReadText(settings, QStringLiteral("MaxConnections")),
          ReadText(settings, QStringLiteral("EnforceClientAddress")),
          ReadText(settings, QStringLiteral("AllowedClients")),
          ReadText(settings, QStringLiteral("TlsCertificate")),
          ReadText(settings, QStringLiteral("TlsKey")),
          ReadText(settings, QStringLiteral("TlsClientCa")),
          ReadText(settings, QStringLiteral("MaxConnectionsPerAddress"))};
}

// A setting that is true or false (also 1 or 0); absent or empty: `absent`.
bool ReadFlag(QSettings& settings, const QString& key, bool absent) {
  const QString value = ReadText(settings, key).trimmed().toLower();
  if (value.isEmpty()) return absent;
  if (value == u"true" || value == u"1") return true;
  if (value == u"false" || value == u"0") return false;
  throw ConfigurationError(QStringLiteral("%1 in the configuration %2 must be true or false, "
                                          "not \"%3\"")
                               .arg(key, settings.fileName(), value));
}

}  // namespace

std::optional<int> ReadInteger(QSettings& settings, const QString& key) {
  const QVariant value = settings.value(key);
  if (!value.isValid() || value.typeId() == QMetaType::QStringList) return std::nullopt;
  return ToInteger(value.toString().trimmed());
}

MailConfiguration ReadMailConfiguration(QSettings& settings) {
  MailConfiguration mail;
  const auto read = [&settings](const char* key, int& value, int low, int high) {
    value = ReadOptional(settings, QLatin1String(key), value, low, high);
  };
  const auto text = [&settings](const char* key, QString& value) {
    const QString given = ReadText(settings, QLatin1String(key)).trimmed();
    if (!given.isEmpty()) value = given;
  };
  text("MailFrom", mail.from);
  text("MailReplyTo", mail.replyTo);
  text("MailBusinessAddress", mail.businessAddress);
  text("MailBusinessLanguage", mail.businessLanguage);
  text("MailDefaultLanguage", mail.defaultLanguage);
  text("MailTemplates", mail.templates);
  text("MailContact", mail.contact);
  text("HttpPublicUrl", mail.publicUrl);
  text("MailSmtpUrl", mail.smtpUrl);
  text("MailSmtpUser", mail.smtpUser);
  text("MailSmtpPasswordFile", mail.smtpPasswordFile);
  text("MailPickupDir", mail.pickupDir);
  read("MailPerBookingPerHour", mail.perBookingPerHour, 1, 1000);
  read("MailRetryHours", mail.retryHours, 1, 24 * 30);
  read("MailKeepDays", mail.keepDays, 1, 3650);
  read("MailStaleSeconds", mail.staleSeconds, 60, 86400 * 30);
  read("MailReminderDays", mail.reminderDays, 0, 60);
  mail.lineProtocolBookings =
      ReadFlag(settings, QStringLiteral("MailLineProtocolBookings"), mail.lineProtocolBookings);
  return mail;
}

ServerConfiguration ReadConfiguration(QSettings& settings, const QString& instance,
                                      const QStringList& aliases, OperatorInterface& face) {
  ServerConfiguration configuration;
  settings.beginGroup(ConfigurationGroup(instance));
  struct GroupGuard {
    QSettings& settings;
    ~GroupGuard() { settings.endGroup(); }
  } guard{settings};

  const std::optional<int> logfile = ReadInteger(settings, kLogfile);
  configuration.logging = logfile.value_or(0) != 0;
  if (!logfile) WriteOrThrow(settings, kLogfile, 0);

  const std::optional<int> port = ReadInteger(settings, kPort);
  configuration.port = port ? *port : AskPort(settings, face);

  configuration.clientAddress = ReadText(settings, kIpAddress);
  if (configuration.clientAddress.isEmpty()) {
    const QString offered = QStringLiteral("10.0.0.1");
    configuration.clientAddress =
        face.askValue(QStringLiteral("Definer IP-adresse for klient"),
                      QStringLiteral("IP-adresse :"), offered)
            .value_or(offered);
    WriteOrThrow(settings, kIpAddress, configuration.clientAddress);
  }

  configuration.databaseAlias = ReadText(settings, kDatabaseAlias);
  if (configuration.databaseAlias.isEmpty()) {
    const std::optional<QString> chosen = face.pickAlias(aliases);
    if (chosen && !chosen->isEmpty()) {
      configuration.databaseAlias = *chosen;
      WriteOrThrow(settings, kDatabaseAlias, configuration.databaseAlias);
    }
  }

  configuration.maxRequestRows =
      ReadOptional(settings, kMaxRequestRows, configuration.maxRequestRows, 1, 1000000);
  configuration.idleTimeoutSeconds =
      ReadOptional(settings, kIdleTimeoutSeconds, configuration.idleTimeoutSeconds, 0, 86400 * 7);
  configuration.logRetentionDays =
      ReadOptional(settings, kLogRetentionDays, configuration.logRetentionDays, 0, 36500);
  configuration.logMinFreeMB =
      ReadOptional(settings, kLogMinFreeMB, configuration.logMinFreeMB, 0, 1000000000);
  configuration.logLinesPerSecond =
      ReadOptional(settings, kLogLinesPerSecond, configuration.logLinesPerSecond, 0, 1000000);
  configuration.door = ReadDoorValues(settings);
  if (settings.contains(kHttpPort)) {
    configuration.httpPort = ReadOptional(settings, kHttpPort, 0, 0, 65535);
  }
  configuration.httpListenAddress = ReadText(settings, QStringLiteral("HttpListenAddress"));
  if (settings.contains(kHttpMaxConnections)) {
    configuration.httpMaxConnections = ReadOptional(settings, kHttpMaxConnections, 0, 1, 1000000);
  }
  if (settings.contains(kHttpMaxConnectionsPerAddress)) {
    configuration.httpMaxConnectionsPerAddress =
        ReadOptional(settings, kHttpMaxConnectionsPerAddress, 0, 0, 1000000);
  }
  configuration.httpApiKeys = ReadText(settings, QStringLiteral("HttpApiKeys"));
  configuration.httpSecretFile = ReadText(settings, QStringLiteral("HttpSecretFile"));
  configuration.httpAllowedHosts = ReadText(settings, QStringLiteral("HttpAllowedHosts"));
  configuration.httpTrustedProxies = ReadText(settings, QStringLiteral("HttpTrustedProxies"));
  GuestLimits& guests = configuration.guests;
  const auto read = [&settings](const char* key, int& value, int low, int high) {
    value = ReadOptional(settings, QLatin1String(key), value, low, high);
  };
  read("GuestMaxUnits", guests.maxUnits, 1, 1000);
  read("GuestHoldSeconds", guests.holdSeconds, 1, 86400);
  read("GuestMaxHolds", guests.maxHolds, 1, 1000);
  read("GuestMaxBookingsPerDay", guests.maxBookingsPerDay, 1, 100000);
  if (ReadFlag(settings, QStringLiteral("GuestConfirmByMail"), false)) {
    int minutes = 30;
    read("GuestConfirmMinutes", minutes, 1, 24 * 60);
    guests.confirmSeconds = minutes * 60;
  }
  RateLimits& rates = configuration.rates;
  read("GuestReadsPerMinute", rates.guestReads, 1, 1000000);
  read("GuestWritesPerMinute", rates.guestWrites, 1, 1000000);
  read("KeyReadsPerMinute", rates.keyReads, 1, 1000000);
  read("KeyWritesPerMinute", rates.keyWrites, 1, 1000000);
  configuration.channelsFile = ReadText(settings, QStringLiteral("ChannelsFile"));
  read("ChannelStaleSeconds", configuration.channelStaleSeconds, 60, 86400 * 30);
  RemovalRules& removal = configuration.channelRemoval;
  read("ChannelRemovedAfter", removal.removedAfterSeconds, 0, 86400 * 30);
  read("ChannelDropShare", removal.dropSharePercent, 1, 100);
  read("ChannelSuspectSeconds", removal.suspectSeconds, 0, 86400 * 30);
  configuration.mail = ReadMailConfiguration(settings);
  // The guest confirms from a link to the booking page: without its address there is none.
  if (guests.confirmSeconds > 0 && configuration.mail.publicUrl.trimmed().isEmpty()) {
    throw ConfigurationError(
        QStringLiteral("GuestConfirmByMail in the configuration %1 needs HttpPublicUrl, the "
                       "booking page's public address, for the link the guest confirms with")
            .arg(settings.fileName()));
  }
  read("IcalDaysAhead", configuration.feeds.daysAhead, 1, 3660);
  const QString summary = ReadText(settings, QStringLiteral("IcalSummary")).trimmed();
  if (!summary.isEmpty()) configuration.feeds.summary = summary;
  return configuration;
}

bool WriteLogSwitch(QSettings& settings, const QString& instance, bool on) {
  settings.beginGroup(ConfigurationGroup(instance));
  bool written = Write(settings, kLogfile, on ? 1 : 0);
  if (!written && on) Write(settings, kLogfile, 0);
  settings.endGroup();
  return written;
}

}  // namespace taurelin
