#include "server/door_settings.h"

#include "base/integer_text.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>

#include <algorithm>

namespace taurelin {
namespace {

[[noreturn]] void Refuse(const QString& text) { throw ConfigurationError(text); }

QList<QSslCertificate> ReadCertificates(const QString& name, const QString& path) {
  const QList<QSslCertificate> certificates = QSslCertificate::fromPath(path, QSsl::Pem);
  if (certificates.isEmpty()) {
    Refuse(QStringLiteral("%1 \"%2\" cannot be read as a PEM certificate").arg(name, path));
  }
  return certificates;
}

QSslKey ReadKey(const QString& path) {
  QFile file(path);
  if (file.open(QIODevice::ReadOnly)) {
    const QByteArray pem = file.readAll();
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
      const QSslKey key(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
      if (!key.isNull()) return key;
    }
  }
  Refuse(QStringLiteral("TlsKey \"%1\" cannot be read as an unencrypted PEM private key")
             .arg(path));
}

QSslConfiguration MakeTls(const DoorValues& values) {
  if (!QSslSocket::supportsSsl()) {
    Refuse(QStringLiteral("TlsCertificate is set, but TLS is not available on this system"));
  }
  QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
  tls.setProtocol(QSsl::TlsV1_2OrLater);
  tls.setLocalCertificateChain(ReadCertificates(QStringLiteral("TlsCertificate"),
                                                values.tlsCertificate));
  tls.setPrivateKey(ReadKey(values.tlsKey));
  if (values.tlsClientCa.isEmpty()) {
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
  } else {
    // Only this CA's certificates are trusted, not the system's.
    tls.setCaCertificates(ReadCertificates(QStringLiteral("TlsClientCa"), values.tlsClientCa));
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
  }
  return tls;
}

}  // namespace

QHostAddress PlainAddress(const QHostAddress& address) {
  bool isIpv4 = false;
  const quint32 ipv4 = address.toIPv4Address(&isIpv4);
  return isIpv4 ? QHostAddress(ipv4) : address;
}

bool DoorSettings::admits(const QHostAddress& peer) const {
  if (allowedClients.isEmpty()) return true;
  const QHostAddress plain = PlainAddress(peer);
  return std::any_of(allowedClients.begin(), allowedClients.end(),
                     [&plain](const auto& subnet) { return plain.isInSubnet(subnet); });
}

DoorSettings MakeDoorSettings(const ServerConfiguration& configuration,
                              const QString& listenOption) {
  const DoorValues& values = configuration.door;
  DoorSettings door;

  const QString listen = (listenOption.isEmpty() ? values.listenAddress : listenOption).trimmed();
  if (!listen.isEmpty() && !door.listenAddress.setAddress(listen)) {
    Refuse(QStringLiteral("%1 \"%2\" is no IP address")
               .arg(listenOption.isEmpty() ? QStringLiteral("ListenAddress")
                                           : QStringLiteral("--listen"),
                    listen));
  }

  if (!values.maxConnections.trimmed().isEmpty()) {
    const std::optional<int> most = ToInteger(values.maxConnections.trimmed());
    if (!most || *most < 1) {
      Refuse(QStringLiteral("MaxConnections \"%1\" is no positive whole number")
                 .arg(values.maxConnections));
    }
    door.maxConnections = *most;
  }

  if (!values.maxConnectionsPerAddress.trimmed().isEmpty()) {
    const std::optional<int> most = ToInteger(values.maxConnectionsPerAddress.trimmed());
    if (!most || *most < 0) {
      Refuse(QStringLiteral("MaxConnectionsPerAddress \"%1\" is no whole number of 0 or more")
                 .arg(values.maxConnectionsPerAddress));
    }
    door.maxConnectionsPerAddress = *most;
  }

  if (!values.enforceClientAddress.trimmed().isEmpty()) {
    const std::optional<int> enforce = ToInteger(values.enforceClientAddress.trimmed());
    if (!enforce) {
      Refuse(QStringLiteral("EnforceClientAddress \"%1\" is no whole number")
                 .arg(values.enforceClientAddress));
    }
    if (*enforce != 0) {
      QHostAddress client;
      if (!client.setAddress(configuration.clientAddress.trimmed())) {
        Refuse(QStringLiteral("IPAddress \"%1\" is no IP address, and EnforceClientAddress "
                              "admits only it")
                   .arg(configuration.clientAddress));
      }
      client = PlainAddress(client);
      door.allowedClients.append({client, client.protocol() == QHostAddress::IPv4Protocol
                                              ? 32 : 128});
    }
  }

  if (!values.allowedClients.trimmed().isEmpty()) {
    const QStringList entries = values.allowedClients.split(u',', Qt::SkipEmptyParts);
    // A list of only commas and blanks must not open the door to everyone.
    if (std::all_of(entries.begin(), entries.end(),
                    [](const QString& entry) { return entry.trimmed().isEmpty(); })) {
      Refuse(QStringLiteral("AllowedClients \"%1\" names no address")
                 .arg(values.allowedClients));
    }
    for (const QString& entry : entries) {
      if (entry.trimmed().isEmpty()) continue;
      const QPair<QHostAddress, int> subnet = QHostAddress::parseSubnet(entry.trimmed());
      if (subnet.second < 0) {
        Refuse(QStringLiteral("AllowedClients: \"%1\" is no address or subnet")
                   .arg(entry.trimmed()));
      }
      door.allowedClients.append(subnet);
    }
  }

  if (values.tlsCertificate.isEmpty() != values.tlsKey.isEmpty()) {
    Refuse(QStringLiteral("TlsCertificate and TlsKey go together: set both or neither"));
  }
  if (!values.tlsClientCa.isEmpty() && values.tlsCertificate.isEmpty()) {
    Refuse(QStringLiteral("TlsClientCa needs TlsCertificate and TlsKey"));
  }
  if (!values.tlsCertificate.isEmpty()) door.tls = MakeTls(values);
  return door;
}

}  // namespace taurelin
