#pragma once

// The HTTP face's settings as configured: its address and port, who it admits, the names it
// answers for, the proxies it believes, the integrators' key file, the booking codes' secret
// and the limits on guests. Checked as a whole: a value that cannot be used fails start-up
// with its name, so the face never opens wider than it was told to.

#include "server/configuration.h"
#include "server/door_settings.h"
#include "web/http_face.h"

#include <optional>

namespace taurelin {

// What the command line gives, winning over the configuration.
struct HttpOptions {
  quint16 port = 0;
  QString listenAddress;  // --http-listen
  QString keyFile;        // --http-keys
  // Where the booking codes' secret is made when HttpSecretFile names none: the server's
  // state folder.
  QString stateDirectory;
};

// The file the server keeps its booking codes' secret in, in `stateDirectory`.
inline constexpr const char* kSecretFileName = "BookingCodes.secret";

// Throws ConfigurationError naming the first value that cannot be used; reads (and, the
// first time, makes) the secret.
HttpFaceSettings MakeHttpFaceSettings(const ServerConfiguration& configuration,
                                      const std::optional<DoorSettings>& door,
                                      const HttpOptions& options);

}  // namespace taurelin
