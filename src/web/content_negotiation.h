#pragma once

// Promises: what a request's Accept-Encoding, Accept-Language and If-None-Match values ask
// for, read leniently: a value that cannot be read asks for nothing.

#include <QByteArrayView>
#include <QStringList>

namespace taurelin {

// Whether gzip is acceptable: named (or x-gzip, or "*" when gzip is not named) with a
// weight above 0.
bool AcceptsGzip(QByteArrayView acceptEncoding);

// The primary subtags of the languages asked for, lower case, the most wanted first;
// those weighted 0 and "*" are left out.
QStringList AcceptedLanguages(QByteArrayView acceptLanguage);

// Whether If-None-Match names `etag` (a quoted entity tag) or is "*". Weak comparison, as
// for a GET: W/"x" names "x".
bool NoneMatchNames(QByteArrayView ifNoneMatch, QByteArrayView etag);

}  // namespace taurelin
