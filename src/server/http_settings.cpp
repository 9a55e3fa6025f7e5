#include "server/http_settings.h"

#include "web/booking_code.h"

#include <QDir>
#include <QFileInfo>

namespace taurelin {
namespace {

[[noreturn]] void Refuse(const QString& text) { throw ConfigurationError(text); }

QStringList Entries(const QString& list) {
  QStringList entries;
  for (const QString& entry : list.split(u',', Qt::SkipEmptyParts)) {
    if (!entry.trimmed().isEmpty()) entries << entry.trimmed();
  }
  return entries;
}

QList<QPair<QHostAddress, int>> Subnets(const QString& name, const QString& list) {
  QList<QPair<QHostAddress, int>> subnets;
  for (const QString& entry : Entries(list)) {
    const QPair<QHostAddress, int> subnet = QHostAddress::parseSubnet(entry);
    if (subnet.second < 0) Refuse(QStringLiteral("%1: \"%2\" is no address or subnet").arg(name, entry));
    subnets << subnet;
  }
  return subnets;
}

// The names a request's Host may give: the configured ones, else the listen address (unless
// it is every address), localhost and the loopback addresses.
QStringList AllowedHosts(const QString& configured, const QHostAddress& listen) {
  QStringList hosts = Entries(configured);
  if (!hosts.isEmpty()) return hosts;
  hosts << QStringLiteral("localhost") << QStringLiteral("127.0.0.1") << QStringLiteral("::1");
  if (listen != QHostAddress::Any && listen != QHostAddress::AnyIPv4 &&
      listen != QHostAddress::AnyIPv6) {
    hosts << listen.toString();
  }
  return hosts;
}

}  // namespace

HttpFaceSettings MakeHttpFaceSettings(const ServerConfiguration& configuration,
                                      const std::optional<DoorSettings>& door,
                                      const HttpOptions& options) {
  HttpFaceSettings settings;
  const QString given = options.listenAddress.isEmpty() ? configuration.httpListenAddress
                                                        : options.listenAddress;
  if (!given.trimmed().isEmpty() && !settings.address.setAddress(given.trimmed())) {
    Refuse(QStringLiteral("the HTTP listen address \"%1\" is no address").arg(given));
  }
  // The HTTP face speaks no TLS and asks no certificate: where the line protocol demands
  // TLS, plain HTTP stays on this machine, behind a proxy that speaks TLS.
  if (door && door->tls && !settings.address.isLoopback()) {
    Refuse(QStringLiteral(
        "the HTTP face speaks plain HTTP; with TlsCertificate set it listens on a loopback "
        "address only (put a TLS-terminating proxy before it)"));
  }
  settings.port = options.port;
  if (door && !door->allowedClients.isEmpty()) {
    const DoorSettings admitted = *door;
    settings.admits = [admitted](const QHostAddress& peer) { return admitted.admits(peer); };
  }

  HttpAccessSettings& access = settings.access;
  access.allowedHosts = AllowedHosts(configuration.httpAllowedHosts, settings.address);
  access.proxies = TrustedProxies(Subnets(QStringLiteral("HttpTrustedProxies"),
                                          configuration.httpTrustedProxies));
  access.keyFile = options.keyFile.isEmpty() ? configuration.httpApiKeys.trimmed()
                                             : options.keyFile;
  access.rates = configuration.rates;
  settings.guests = configuration.guests;
  settings.feeds = configuration.feeds;
  if (configuration.httpMaxConnections) {
    settings.maxConnections = *configuration.httpMaxConnections;
  }
  if (configuration.httpMaxConnectionsPerAddress) {
    settings.maxConnectionsPerAddress = *configuration.httpMaxConnectionsPerAddress;
  }
  // A trusted proxy carries many guests over its own connections.
  if (!access.proxies.empty()) {
    const TrustedProxies proxies = access.proxies;
    settings.uncappedPeers = [proxies](const QHostAddress& peer) { return proxies.trusts(peer); };
  }

  const QString secretFile = configuration.httpSecretFile.trimmed();
  try {
    access.secret = secretFile.isEmpty()
                        ? BookingCodes::LoadSecret(
                              QDir(options.stateDirectory.isEmpty() ? QDir::currentPath()
                                                                    : options.stateDirectory)
                                  .filePath(QLatin1String(kSecretFileName)),
                              true)
                        : BookingCodes::LoadSecret(secretFile, false);
  } catch (const BookingCodeError& error) {
    Refuse(QString::fromUtf8(error.what()));
  }
  return settings;
}

}  // namespace taurelin
