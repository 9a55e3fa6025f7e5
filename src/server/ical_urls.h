#pragma once

// taurelin-api --ical-urls: the URL of every exported calendar feed, for the business to
// paste into a booking platform. It reads what the server would read (the instance's
// configuration, the database of its alias, the booking codes' secret) and changes nothing
// but, as the server does the first time, making the secret file.
//
// Promises: a line "FACILITY TYPE URL" on standard output for each facility and rental type
// that the server's feeds answer for, and nothing else there; what went wrong on standard
// error, with a non-zero status.

#include "server/server_core.h"

#include <QString>

namespace taurelin {

// The URLs under `baseUrl` (empty: http://ADDRESS:PORT of the HTTP face as configured, or as
// --http and --http-listen give it in `options`). Returns the exit status.
int PrintIcalUrls(const ServerOptions& options, const QString& baseUrl);

}  // namespace taurelin
