#pragma once

// Promises: a file that does not change while the server runs, answered as browsers and
// caches expect: gzip to a client that accepts it and the same bytes as ever to one that
// does not (Vary says so), and, where asked, its strong ETag with 304 and no body to a
// client that already holds that form.

#include "web/page_assets.h"

#include <QByteArray>
#include <QHttpServerRequest>
#include <QHttpServerResponse>

namespace taurelin {

struct StaticPolicy {
  QByteArray cacheControl;
  QByteArray vary = "Accept-Encoding";  // Accept-Encoding and what else chose the file
  bool validated = true;  // with its ETag, and 304 to If-None-Match
};

QHttpServerResponse StaticAnswer(const StaticFile& file, const QHttpServerRequest& request,
                                 const StaticPolicy& policy);

}  // namespace taurelin
