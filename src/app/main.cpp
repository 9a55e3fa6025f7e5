// taurelin-api: the booking interface server, with an operator window or headless. A build
// without the window (TAURELIN_WITH_WINDOW 0) links no GUI library and always runs headless.

#include "app/quit_on_signals.h"
#include "app/steady_heap.h"
#include "protocol/windows1252.h"
#include "server/configuration_store.h"
#include "server/headless_face.h"
#include "server/ical_urls.h"
#include "server/mail_commands.h"
#include "server/server_core.h"
#include "web/api_keys.h"

#if TAURELIN_WITH_WINDOW
#include "app/window_launch.h"
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLocale>
#include <QSettings>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

using namespace taurelin;

struct CommandLine {
  QCommandLineOption headless{QStringLiteral("headless"),
#if TAURELIN_WITH_WINDOW
                              QStringLiteral("Run without a window (also when no display is "
                                             "available).")};
#else
                              QStringLiteral("Run without a window. This build has no operator "
                                             "window: it always runs headless.")};
#endif
  QCommandLineOption config{QStringLiteral("config"),
                            QStringLiteral("Configuration file (default: $TAURELIN_CONFIG, "
                                           "else ~/.config/Vindrelok/Taurelin.conf)."),
                            QStringLiteral("FILE")};
  QCommandLineOption aliases{QStringLiteral("aliases"),
                             QStringLiteral("Database alias file (default: $TAURELIN_ALIASES, "
                                            "else ~/.config/Vindrelok/aliases.ini)."),
                             QStringLiteral("FILE")};
  QCommandLineOption test{QStringLiteral("test"),
                          QStringLiteral("Run the built-in test request, print its answer "
                                         "and exit.")};
  QCommandLineOption sweepInterval{
      QStringLiteral("sweep-interval"),
      QStringLiteral("Seconds between the sweeps that cancel expired reservations, 1 to "
                     "86400 (default 60). The first sweep runs a second after the database is "
                     "connected."),
      QStringLiteral("SECONDS"), QStringLiteral("60")};
  QCommandLineOption listen{
      QStringLiteral("listen"),
      QStringLiteral("Listen on this address only, IPv4 or IPv6, e.g. 192.0.2.10 or ::1 "
                     "(default: the configuration's ListenAddress, else every address)."),
      QStringLiteral("ADDRESS")};
  QCommandLineOption http{
      QStringLiteral("http"),
      QStringLiteral("Also answer the JSON API over HTTP on this port, 0 to 65535 (0: the "
                     "system chooses; default: the configuration's HttpPort, else no HTTP)."),
      QStringLiteral("PORT")};
  QCommandLineOption httpListen{
      QStringLiteral("http-listen"),
      QStringLiteral("The address the HTTP API listens on (default: the configuration's "
                     "HttpListenAddress, else 127.0.0.1)."),
      QStringLiteral("ADDRESS")};
  QCommandLineOption httpKeys{
      QStringLiteral("http-keys"),
      QStringLiteral("The integrators' key file of the HTTP API (default: the configuration's "
                     "HttpApiKeys, else none: every HTTP caller is a guest)."),
      QStringLiteral("FILE")};
  QCommandLineOption channels{
      QStringLiteral("channels"),
      QStringLiteral("The channel file: the calendars of other sales channels to read and book "
                     "(default: the configuration's ChannelsFile, else none)."),
      QStringLiteral("FILE")};
  QCommandLineOption newApiKey{
      QStringLiteral("new-api-key"),
      QStringLiteral("Add a fresh key named NAME to the key file (--http-keys, else "
                     "HttpApiKeys), print the key once on standard output and exit."),
      QStringLiteral("NAME")};
  QCommandLineOption scopes{
      QStringLiteral("scopes"),
      QStringLiteral("With --new-api-key: what the key may do, comma-separated from read, "
                     "reserve and manage (default: read)."),
      QStringLiteral("LIST"), QStringLiteral("read")};
  QCommandLineOption icalUrls{
      QStringLiteral("ical-urls"),
      QStringLiteral("Print the URL of the calendar feed of every facility and rental type the "
                     "server sells, one a line as FACILITY TYPE URL, and exit. The pairs come "
                     "from the database of the configuration's DatabaseAlias; the token in "
                     "each URL from the booking codes' secret (HttpSecretFile, else "
                     "BookingCodes.secret in the current folder, made if missing), so a new "
                     "secret revokes every URL.")};
  QCommandLineOption baseUrl{
      QStringLiteral("base-url"),
      QStringLiteral("With --ical-urls: where platforms reach the HTTP API, e.g. "
                     "https://booking.example.com (default: http://ADDRESS:PORT from "
                     "--http-listen or HttpListenAddress, else 127.0.0.1, and --http or "
                     "HttpPort; without either port and --base-url, --ical-urls fails)."),
      QStringLiteral("URL")};
  QCommandLineOption mailPreview{
      QStringLiteral("mail-preview"),
      QStringLiteral("Print the mail of EVENT (booking-confirmed, booking-changed, "
                     "booking-cancelled, business-new-booking, business-cancellation) about the "
                     "booking whose reference number is the argument, as it would go out, and "
                     "exit."),
      QStringLiteral("EVENT")};
  QCommandLineOption language{
      QStringLiteral("language"),
      QStringLiteral("With --mail-preview: the language (default: MailDefaultLanguage)."),
      QStringLiteral("LANG")};
  QCommandLineOption mailTest{
      QStringLiteral("mail-test"),
      QStringLiteral("Send a test mail to ADDRESS by the road the booking mails take (MailSmtpUrl, "
                     "else the pickup folder), say what the mail server answered, and exit."),
      QStringLiteral("ADDRESS")};
  QCommandLineParser parser;

  CommandLine() {
    parser.setApplicationDescription(
        QStringLiteral("Taurelin Internet booking interface: answers a web shop's booking "
                       "requests over TCP.\n\n"
                       "Who may connect and how (ListenAddress, EnforceClientAddress,\n"
                       "AllowedClients, MaxConnections, TlsCertificate, TlsKey, TlsClientCa)\n"
                       "and the bounds on a client (MaxRequestRows, IdleTimeoutSeconds) are\n"
                       "optional values of the configuration file, beside Port, IPAddress,\n"
                       "DatabaseAlias and Logfile, as are LogRetentionDays,\n"
                       "LogLinesPerSecond and LogMinFreeMB, and for the JSON API\n"
                       "HttpPort, HttpListenAddress, HttpApiKeys, HttpSecretFile,\n"
                       "HttpAllowedHosts, HttpTrustedProxies and the guest limits and budgets\n"
                       "(GuestMaxUnits, GuestHoldSeconds, GuestMaxHolds, GuestMaxBookingsPerDay,\n"
                       "GuestConfirmByMail, GuestConfirmMinutes,\n"
                       "GuestReadsPerMinute, GuestWritesPerMinute, KeyReadsPerMinute,\n"
                       "KeyWritesPerMinute), for the calendar feeds IcalDaysAhead (days ahead,\n"
                       "default 730) and IcalSummary (the events' text, default \"Ikke\n"
                       "tilgjengelig\"), and for the channel calendars ChannelsFile,\n"
                       "ChannelStaleSeconds (default 3600), ChannelRemovedAfter (seconds an\n"
                       "event must be gone before its booking is cancelled, default 3600),\n"
                       "ChannelDropShare (percent of its events a read may drop before the\n"
                       "calendar is held as suspect, default 50) and ChannelSuspectSeconds\n"
                       "(default 21600), and for the booking mails MailFrom, MailReplyTo,\n"
                       "MailBusinessAddress, MailDefaultLanguage, MailBusinessLanguage,\n"
                       "MailTemplates, MailContact, HttpPublicUrl, MailSmtpUrl, MailSmtpUser,\n"
                       "MailSmtpPasswordFile, MailPickupDir (default mail),\n"
                       "MailPerBookingPerHour, MailRetryHours, MailKeepDays, MailStaleSeconds,\n"
                       "MailReminderDays and MailLineProtocolBookings; the README says what\n"
                       "each one does."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("instance"),
        QStringLiteral("Instance name: selects the configuration group and the log file."),
        QStringLiteral("[INSTANCE]"));
    parser.addOptions({headless, config, aliases, listen, http, httpListen, httpKeys, channels,
                       newApiKey, scopes, icalUrls, baseUrl, mailPreview, language, mailTest,
                       test, sweepInterval});
  }

  // The server's options; nothing when the sweep interval or the HTTP port is no whole
  // number in its range.
  std::optional<ServerOptions> options() const {
    const QStringList positional = parser.positionalArguments();
    bool ok = false;
    const int seconds = parser.value(sweepInterval).toInt(&ok);
    if (!ok || seconds < 1 || seconds > 86400) return std::nullopt;
    std::optional<int> httpPort;
    if (parser.isSet(http)) {
      httpPort = parser.value(http).toInt(&ok);
      if (!ok || *httpPort < 0 || *httpPort > 65535) return std::nullopt;
    }
    ServerOptions options;
    options.instance = positional.isEmpty() ? QString() : positional.first();
    options.configFile = parser.value(config);
    options.aliasFile = parser.value(aliases);
    options.sweepIntervalSeconds = seconds;
    options.listenAddress = parser.value(listen);
    options.httpPort = httpPort;
    options.httpListenAddress = parser.value(httpListen);
    options.httpKeys = parser.value(httpKeys);
    options.channelsFile = parser.value(channels);
    return options;
  }
};

// Runs the built-in test request through the server core, as the operator's Test command
// does, and prints the answer as the bytes a client would receive.
int RunBuiltInTest(const ServerOptions& options) {
  HeadlessFace face;
  ServerCore core(options, face);
  const QByteArray bytes = ToWindows1252(core.runBuiltInTest());
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

// Adds a key to the key file of the command line or of the instance's configuration, and
// prints it: the key itself alone on standard output, what was done on standard error.
int AddKey(const ServerOptions& options, const QString& name, const QString& scopes) {
  QString file = options.httpKeys;
  if (file.isEmpty()) {
    const std::unique_ptr<QSettings> settings = OpenConfigurationStore(options.configFile);
    file = settings->value(ConfigurationGroup(options.instance) + QStringLiteral("/HttpApiKeys"))
               .toString()
               .trimmed();
  }
  if (file.isEmpty()) {
    PrintLine(QStringLiteral("--new-api-key needs a key file: name it with --http-keys FILE or "
                             "the configuration's HttpApiKeys"));
    return 2;
  }
  try {
    const QString key = AddApiKey(file, name, scopes);
    std::printf("%s\n", qPrintable(key));
    std::fflush(stdout);
    PrintLine(QStringLiteral("added the key %1 (%2) to %3; it is shown this once, and the file "
                             "keeps only its SHA-256. A running server reads the file again "
                             "within a second.")
                  .arg(name, ScopesText(*ParseScopes(scopes)), file));
    return 0;
  } catch (const ApiKeyError& error) {
    PrintLine(QString::fromUtf8(error.what()));
    return 1;
  }
}

int RunHeadless(const ServerOptions& options) {
  HeadlessFace face;
  ServerCore core(options, face);
  try {
    core.start();
  } catch (const std::exception& failure) {
    PrintLine(QStringLiteral("start-up failed: ") + QString::fromUtf8(failure.what()));
    core.stop();
    return 1;
  }
  if (core.httpPort() != 0) {
    // Tests and benchmarks read the port from "HTTP API on http://HOST:PORT/": the booking
    // page's address goes after it.
    const QString origin = QStringLiteral("http://%1:%2")
                               .arg(core.httpAddress().contains(u':')
                                        ? u'[' + core.httpAddress() + u']'
                                        : core.httpAddress())
                               .arg(core.httpPort());
    PrintLine(QStringLiteral("HTTP API on %1/api/v1; booking page at %1/").arg(origin));
  }
  PrintLine(QStringLiteral("listening on port %1; a request is one line, for example: "
                           "messageID=1&count=1&header=INSTRUKSJON&data=TEST-API")
                .arg(core.listeningPort()));
  QuitOnSignals signals;
  QObject::connect(&signals, &QuitOnSignals::signalled, QCoreApplication::instance(),
                   &QCoreApplication::quit);
  const int status = QCoreApplication::exec();
  PrintLine(QStringLiteral("stopping"));
  core.stop();
  return status;
}

bool DisplayAvailable() {
  return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
         qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char* argv[]) {
  KeepFreedMemoryForTheNextRequest();
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  CommandLine commandLine;
  commandLine.parser.parse(arguments);
  const bool headless = commandLine.parser.isSet(commandLine.headless) ||
                        commandLine.parser.isSet(commandLine.test) ||
                        commandLine.parser.isSet(commandLine.newApiKey) ||
                        commandLine.parser.isSet(commandLine.icalUrls) ||
                        commandLine.parser.isSet(commandLine.mailPreview) ||
                        commandLine.parser.isSet(commandLine.mailTest) || !DisplayAvailable();

#if TAURELIN_WITH_WINDOW
  std::unique_ptr<QCoreApplication> app = headless
                                              ? std::make_unique<QCoreApplication>(argc, argv)
                                              : MakeWindowApplication(argc, argv);
#else
  auto app = std::make_unique<QCoreApplication>(argc, argv);
#endif
  QCoreApplication::setApplicationName(QStringLiteral("taurelin-api"));
  QCoreApplication::setApplicationVersion(QStringLiteral(TAURELIN_VERSION));
  // Numbers are written with "." whatever the host's language.
  QLocale::setDefault(QLocale::c());
  commandLine.parser.process(*app);

  const std::optional<ServerOptions> options = commandLine.options();
  if (!options) {
    PrintLine(QStringLiteral("--sweep-interval takes a whole number of seconds from 1 to 86400, "
                             "--http a port from 0 to 65535"));
    return 2;
  }
  if (commandLine.parser.isSet(commandLine.newApiKey)) {
    return AddKey(*options, commandLine.parser.value(commandLine.newApiKey),
                  commandLine.parser.value(commandLine.scopes));
  }
  if (commandLine.parser.isSet(commandLine.icalUrls)) {
    return PrintIcalUrls(*options, commandLine.parser.value(commandLine.baseUrl));
  }
  if (commandLine.parser.isSet(commandLine.mailPreview)) {
    // [INSTANCE] REFNR: the reference number is the last word.
    const QStringList words = commandLine.parser.positionalArguments();
    ServerOptions previewed = *options;
    previewed.instance = words.size() > 1 ? words.first() : QString();
    return PreviewMail(previewed, commandLine.parser.value(commandLine.mailPreview),
                       commandLine.parser.value(commandLine.language),
                       words.value(words.size() - 1));
  }
  if (commandLine.parser.isSet(commandLine.mailTest)) {
    return SendTestMail(*options, commandLine.parser.value(commandLine.mailTest));
  }
  if (commandLine.parser.isSet(commandLine.test)) {
    try {
      return RunBuiltInTest(*options);
    } catch (const std::exception& failure) {
      PrintLine(QString::fromUtf8(failure.what()));
      return 1;
    }
  }
#if TAURELIN_WITH_WINDOW
  return headless ? RunHeadless(*options) : RunWindow(*options);
#else
  // Where the windowed build would open its window, say why none opens.
  if (!headless) {
    PrintLine(QStringLiteral("this build has no operator window; it runs headless, as with "
                             "--headless"));
  }
  return RunHeadless(*options);
#endif
}
