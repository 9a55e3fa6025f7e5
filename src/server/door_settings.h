#pragma once

// The listener's door as configured: the address it listens on, the clients it admits, the
// most connections it keeps open and whether they speak TLS. Made from the configuration's
// values and checked as a whole: a value that cannot be used fails start-up with its name,
// so the server never listens more openly than it was told to. Without any of the values
// the door is as wide as it always was: every address, every client, plain TCP.

#include "server/configuration.h"

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QSslConfiguration>

#include <optional>

namespace taurelin {

inline constexpr int kDefaultMaxConnections = 1000;

struct DoorSettings {
  QHostAddress listenAddress{QHostAddress::Any};
  // The subnets whose clients are admitted; empty: every client.
  QList<QPair<QHostAddress, int>> allowedClients;
  int maxConnections = kDefaultMaxConnections;
  // The most connections open at once from one address (AddressKey); 0: no such cap.
  int maxConnectionsPerAddress = 0;
  // Set: every connection speaks TLS, configured so.
  std::optional<QSslConfiguration> tls;

  bool admits(const QHostAddress& peer) const;
};

// The address as a client of a dual-stack listener shows it: IPv4-mapped IPv6 addresses in
// their IPv4 form.
QHostAddress PlainAddress(const QHostAddress& address);

// `listenOption` (the command line's --listen) wins over ListenAddress. EnforceClientAddress
// admits the configured client address, AllowedClients its addresses and subnets; both set:
// either. Reads the TLS files. Throws ConfigurationError naming the first value that cannot
// be used.
DoorSettings MakeDoorSettings(const ServerConfiguration& configuration,
                              const QString& listenOption);

}  // namespace taurelin
