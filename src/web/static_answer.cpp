#include "web/static_answer.h"

#include "web/api_error.h"
#include "web/content_negotiation.h"

namespace taurelin {

QHttpServerResponse StaticAnswer(const StaticFile& file, const QHttpServerRequest& request,
                                 const StaticPolicy& policy) {
  const bool gzip = !file.gzipped.isEmpty() &&
                    AcceptsGzip(request.value(QByteArrayLiteral("Accept-Encoding")));
  const QByteArray& etag = gzip ? file.gzipEtag : file.etag;
  const bool held = policy.validated &&
                    NoneMatchNames(request.value(QByteArrayLiteral("If-None-Match")), etag);
  // A 304 goes out as the 200 would, its body left off on the way: its Content-Length is
  // the body's, as HTTP asks.
  QHttpServerResponse response(file.contentType, gzip ? file.gzipped : file.body,
                               held ? QHttpServerResponse::StatusCode::NotModified
                                    : QHttpServerResponse::StatusCode::Ok);
  AddCommonHeaders(response);
  response.setHeader(QByteArrayLiteral("Cache-Control"), policy.cacheControl);
  response.setHeader(QByteArrayLiteral("Vary"), policy.vary);
  if (policy.validated) response.setHeader(QByteArrayLiteral("ETag"), etag);
  if (gzip) response.setHeader(QByteArrayLiteral("Content-Encoding"), QByteArrayLiteral("gzip"));
  return response;
}

}  // namespace taurelin
