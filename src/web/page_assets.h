#pragma once

// The reference booking page: static files shipped inside the program, served at / beside
// the JSON API. A business may copy and translate them; the page reads nothing but the API.
// Promises: each file is made once, on first use, with its gzip form and a strong validator
// for each form; the page itself comes in each of its languages with that language's words
// already in it, and names its other files by URLs that change with their content.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace taurelin {

// One file as served, in its two forms.
struct StaticFile {
  QByteArray contentType;
  QByteArray body;
  QByteArray etag;  // quoted, of body
  QByteArray gzipped;  // empty when gzip would not make the file smaller
  QByteArray gzipEtag;  // quoted, of gzipped
  QByteArray version;  // what the page puts in the file's URL (?v=...); empty for the page
};

// The file as served, made once: its validators are taken from its bytes.
StaticFile MakeStaticFile(const QByteArray& contentType, const QByteArray& body);

// The URL paths of the page's files: "/" and each of its assets.
QStringList PageAssetPaths();

// The file served at `path`, or nullptr when the page has no such file; "/" in the first of
// the page's languages that Accept-Language asks for, else in the page's own language.
// Throws std::runtime_error when a file is missing from the program (a build fault).
const StaticFile* FindPageAsset(const QString& path, QByteArrayView acceptLanguage = {});

}  // namespace taurelin
