#pragma once

// Reading the server's configuration at start-up: the log switch, the port, the client's
// address and the database alias of an instance, asking the operator for what is missing
// and storing the answers; and the listener's optional values, which are only read.

#include "channels/removal_rules.h"
#include "protocol/request_context.h"
#include "server/operator_interface.h"
#include "web/guest_rules.h"
#include "web/calendar_feeds.h"
#include "web/http_access.h"

#include <QString>

#include <optional>
#include <stdexcept>

class QSettings;

namespace taurelin {

class ConfigurationError : public std::runtime_error {
 public:
  explicit ConfigurationError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

// Who may connect, on which address and how: optional values, as they stand in the
// configuration (empty when absent) and never written back. MakeDoorSettings checks them.
struct DoorValues {
  QString listenAddress;         // ListenAddress
  QString maxConnections;        // MaxConnections
  QString enforceClientAddress;  // EnforceClientAddress
  QString allowedClients;        // AllowedClients
  QString tlsCertificate;        // TlsCertificate
  QString tlsKey;                // TlsKey
  QString tlsClientCa;           // TlsClientCa
  QString maxConnectionsPerAddress;  // MaxConnectionsPerAddress
};

// The booking mails' settings, as they stand in the configuration (checked when the mail
// service starts).
struct MailConfiguration {
  QString from = QStringLiteral("booking@localhost");  // MailFrom: "Name <address>" or address
  QString replyTo;                                    // MailReplyTo
  QString businessAddress;                            // MailBusinessAddress; empty: none
  QString businessLanguage = QStringLiteral("nb");    // MailBusinessLanguage
  QString defaultLanguage = QStringLiteral("nb");     // MailDefaultLanguage
  QString templates;  // MailTemplates: a folder; empty: the ones shipped with the server
  QString contact;    // MailContact: how a guest reaches the business
  QString publicUrl;  // HttpPublicUrl: the booking page's public address; empty: no link
  QString smtpUrl;    // MailSmtpUrl: smtp:// or smtps://; empty: the pickup folder
  QString smtpUser;          // MailSmtpUser
  QString smtpPasswordFile;  // MailSmtpPasswordFile
  QString pickupDir = QStringLiteral("mail");  // MailPickupDir, from the working folder
  int perBookingPerHour = 10;  // MailPerBookingPerHour
  int retryHours = 48;         // MailRetryHours
  int keepDays = 30;           // MailKeepDays
  int staleSeconds = 900;      // MailStaleSeconds
  int reminderDays = 3;        // MailReminderDays: days before arrival; 0: no reminder
  bool lineProtocolBookings = false;  // MailLineProtocolBookings
};

struct ServerConfiguration {
  bool logging = false;
  int port = 0;  // 0: not set
  QString clientAddress;
  QString databaseAlias;

  // Optional values: read when present, never written.
  // MaxRequestRows: the most rows one request may carry.
  int maxRequestRows = RequestContext::kDefaultMaxRows;
  // IdleTimeoutSeconds: a client silent this long is closed; 0: never.
  int idleTimeoutSeconds = 0;
  // LogRetentionDays: a day's log is deleted this many days after its day; 0: never.
  int logRetentionDays = 0;
  // LogMinFreeMB: below this much free space on the log's disk, requests are not logged;
  // 0: no floor.
  int logMinFreeMB = 512;
  // LogLinesPerSecond: past this many request lines in a second, the rest of the second is
  // summed up by kind; 0: every line is written.
  int logLinesPerSecond = 50;
  // ListenAddress, MaxConnections, EnforceClientAddress, AllowedClients, Tls*,
  // MaxConnectionsPerAddress.
  DoorValues door;
  // HttpPort: the JSON API's port (0: the system chooses); absent: no HTTP face.
  std::optional<int> httpPort;
  // HttpListenAddress: the one address the HTTP face listens on; empty: 127.0.0.1.
  QString httpListenAddress;
  // HttpMaxConnections, HttpMaxConnectionsPerAddress (0: no cap); absent: the face's own.
  std::optional<int> httpMaxConnections;
  std::optional<int> httpMaxConnectionsPerAddress;
  // Who may do what on the HTTP face, as they stand (checked by MakeHttpFaceSettings):
  // HttpApiKeys (the key file), HttpSecretFile (the booking codes' secret), HttpAllowedHosts
  // and HttpTrustedProxies (comma-separated).
  QString httpApiKeys;
  QString httpSecretFile;
  QString httpAllowedHosts;
  QString httpTrustedProxies;
  // GuestMaxUnits, GuestHoldSeconds, GuestMaxHolds, GuestMaxBookingsPerDay, and
  // GuestConfirmByMail (false) with GuestConfirmMinutes (30).
  GuestLimits guests;
  // GuestReadsPerMinute, GuestWritesPerMinute, KeyReadsPerMinute, KeyWritesPerMinute.
  RateLimits rates;
  // ChannelsFile: the calendars of the business's other sales channels; empty: none.
  QString channelsFile;
  // ChannelStaleSeconds: a channel's calendar not read for longer is reported stale.
  int channelStaleSeconds = 3600;
  // ChannelRemovedAfter (seconds), ChannelDropShare (percent), ChannelSuspectSeconds: how
  // much evidence the import needs before it cancels a booking whose event is gone.
  RemovalRules channelRemoval;
  // The booking mails: see MailConfiguration.
  MailConfiguration mail;
  // IcalDaysAhead (1 to 3660), IcalSummary: how far ahead the exported calendar feeds reach
  // and what their events say; absent or empty: the defaults.
  CalendarFeedSettings feeds;
};

// Reads the instance's group of `settings` (created when missing). A missing or invalid
// Logfile is written as 0; a missing Port, IPAddress or DatabaseAlias is asked of the
// operator and written. Throws ConfigurationError when Logfile, IPAddress or DatabaseAlias
// cannot be written, or when an optional value is present but out of its range.
ServerConfiguration ReadConfiguration(QSettings& settings, const QString& instance,
                                      const QStringList& aliases, OperatorInterface& face);

// The mail settings of the group `settings` is in. Throws ConfigurationError for a value out
// of its range.
MailConfiguration ReadMailConfiguration(QSettings& settings);

// Writes the log switch as the Logfile value: 1 or 0; when that cannot be written, 0 is
// tried. Returns whether the value now stored is the one asked for.
bool WriteLogSwitch(QSettings& settings, const QString& instance, bool on);

// Reads an integer value; a missing value or one that is no integer reads as nothing.
std::optional<int> ReadInteger(QSettings& settings, const QString& key);

}  // namespace taurelin
