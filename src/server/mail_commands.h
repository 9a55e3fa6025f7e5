#pragma once

// taurelin-api --mail-preview and --mail-test: a booking mail as it would go out, and a test
// mail sent through the configured road. They read what the server would read (the
// instance's configuration, the database of its alias, the booking codes' secret) and write
// nothing to the database.
//
// Promises: the preview's message, as composed, on standard output and nothing else there;
// the test's answer from the mail server (or where the file went) on standard output; what
// went wrong on standard error, with a non-zero status.

#include "server/server_core.h"

#include <QString>

namespace taurelin {

// The mail of `event` ("booking-confirmed", ...) about booking `refnr`, in `language` (empty:
// the default). Returns the exit status.
int PreviewMail(const ServerOptions& options, const QString& event, const QString& language,
                const QString& refnr);

// Sends the test mail to `address`. Returns the exit status: 0 when the mail server took it.
int SendTestMail(const ServerOptions& options, const QString& address);

}  // namespace taurelin
