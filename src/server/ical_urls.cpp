#include "server/ical_urls.h"

#include "channels/feed_token.h"
#include "server/configuration.h"
#include "server/configuration_store.h"
#include "server/headless_face.h"
#include "server/http_settings.h"
#include "server/store_wording.h"
#include "store/booking_store.h"
#include "store/database_error.h"
#include "store/database_session.h"

#include <QSettings>

#include <cstdio>
#include <set>
#include <utility>

namespace taurelin {
namespace {

// The facility and type pairs the feeds answer for: the facilities of the rental-type
// summary, each with the types its availability matrix lists.
std::set<std::pair<int, int>> SoldPairs(DatabaseSession& session) {
  session.EnsureUtleietyper();
  std::set<int> facilities;
  for (const RentalTypeSummaryRow& row : session.qryUtleietyper()) {
    if (!row.ANLEGG.isNull()) facilities.insert(row.ANLEGG.toInt());
  }
  BookingStore& store = session.store();
  const QDate today = QDate::currentDate();
  std::set<std::pair<int, int>> pairs;
  for (int facility : facilities) {
    for (const AvailabilityDay& day : store.Matrix(facility, -1, today, today)) {
      pairs.insert({facility, day.type});
    }
  }
  return pairs;
}

}  // namespace

int PrintIcalUrls(const ServerOptions& options, const QString& baseUrl) {
  const std::unique_ptr<QSettings> settings = OpenConfigurationStore(options.configFile);
  const QString group = ConfigurationGroup(options.instance) + u'/';
  const auto value = [&](const char* key) {
    return settings->value(group + QLatin1String(key)).toString().trimmed();
  };
  // Only what the feeds' URLs need is read: nothing is asked, nothing written back.
  ServerConfiguration configuration;
  configuration.httpListenAddress = value("HttpListenAddress");
  configuration.httpSecretFile = value("HttpSecretFile");
  const QString alias = value("DatabaseAlias");
  if (alias.isEmpty()) {
    PrintLine(QStringLiteral("--ical-urls reads the database of the configuration's "
                             "DatabaseAlias, and the configuration %1 names none")
                  .arg(settings->fileName()));
    return 2;
  }
  std::optional<int> port = options.httpPort;
  if (!port) port = ReadInteger(*settings, group + QStringLiteral("HttpPort"));
  if (baseUrl.isEmpty() && (!port || *port <= 0 || *port > 65535)) {
    PrintLine(QStringLiteral("--ical-urls needs the address the feeds are reached at: give "
                             "--base-url URL, or an HttpPort in the configuration"));
    return 2;
  }

  HttpOptions given;
  given.port = static_cast<quint16>(port.value_or(0));
  given.listenAddress = options.httpListenAddress;
  given.stateDirectory = options.timeOutDirectory;
  HeadlessFace face;
  OperatorStoreReports reports(face, nullptr);
  try {
    // The secret and the address exactly as the server takes them.
    const HttpFaceSettings http = MakeHttpFaceSettings(configuration, std::nullopt, given);
    QString base = baseUrl;
    if (base.isEmpty()) {
      const QString host = http.address.toString();
      base = QStringLiteral("http://%1:%2")
                 .arg(host.contains(u':') ? u'[' + host + u']' : host)
                 .arg(*port);
    }
    while (base.endsWith(u'/')) base.chop(1);

    DatabaseSession session(AliasList::Load(options.aliasFile.isEmpty() ? AliasList::DefaultFile()
                                                                        : options.aliasFile),
                            reports);
    session.ConnectAPIDatabase(alias);
    const FeedTokens tokens(http.access.secret);
    for (const auto& [facility, type] : SoldPairs(session)) {
      std::printf("%d %d %s/ical/v1/%d/%d.ics?token=%s\n", facility, type, qPrintable(base),
                  facility, type, qPrintable(tokens.tokenFor(facility, type)));
    }
    session.ReleaseAPIDatabase();
  } catch (const std::exception& failure) {
    PrintLine(QString::fromUtf8(failure.what()));
    return 1;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace taurelin
