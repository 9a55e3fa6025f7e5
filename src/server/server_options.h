#pragma once

// What the command line gives the server, beside its configuration store.

#include <QString>

#include <optional>

namespace taurelin {

struct ServerOptions {
  QString instance;    // selects the configuration group and the log file
  QString configFile;  // empty: the default configuration store
  QString aliasFile;   // empty: the default alias file
  int sweepIntervalSeconds = 60;  // between sweeps for expired reservations
  QString timeOutDirectory;       // where the time-out register lives; empty: the current one
  QString listenAddress;          // --listen: wins over ListenAddress; empty: not given
  std::optional<int> httpPort;    // --http: wins over HttpPort; 0: the system chooses
  QString httpListenAddress;      // --http-listen: wins over HttpListenAddress
  QString httpKeys;               // --http-keys: wins over HttpApiKeys
  QString channelsFile;           // --channels: wins over ChannelsFile
};

}  // namespace taurelin
