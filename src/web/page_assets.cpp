#include "web/page_assets.h"

#include "web/content_negotiation.h"
#include "web/gzip.h"
#include "web/page_language.h"
#include "web/page_template.h"

#include <QCryptographicHash>
#include <QFile>

#include <list>
#include <map>
#include <stdexcept>
#include <string>

namespace taurelin {
namespace {

struct AssetEntry {
  const char* path;
  const char* resource;
  const char* contentType;
};

const char kPage[] = "/";
const char kPageResource[] = ":/web/page/index.html";

// The page's languages, the first first: a text another language lacks is the first's.
const AssetEntry kAssets[] = {
    {"/app.js", ":/web/page/app.js", "text/javascript; charset=utf-8"},
    {"/calendar.js", ":/web/page/calendar.js", "text/javascript; charset=utf-8"},
    {"/lang/nb.js", ":/web/page/lang/nb.js", "text/javascript; charset=utf-8"},
    {"/lang/en.js", ":/web/page/lang/en.js", "text/javascript; charset=utf-8"},
    {"/style.css", ":/web/page/style.css", "text/css; charset=utf-8"},
};

QByteArray Read(const char* resource) {
  QFile file(QString::fromLatin1(resource));
  // A file listed here but missing from the resources is a build fault, not a 404.
  if (!file.open(QIODevice::ReadOnly)) {
    throw std::runtime_error("the booking page lacks " + std::string(resource));
  }
  return file.readAll();
}

QByteArray Digest(const QByteArray& bytes) {
  return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256)
      .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

struct Page {
  std::map<QString, StaticFile> files;  // the assets by path
  std::list<PageLanguage> languages;  // the first first
  std::map<QString, StaticFile> shown;  // the page by language
  QString own;  // the frame's language, for a guest who asks for none of them
};

Page MakePage() {
  Page page;
  PageFrame frame{Read(kPageResource), {}, {}};
  for (const AssetEntry& asset : kAssets) {
    const QString path = QString::fromLatin1(asset.path);
    const QByteArray body = Read(asset.resource);
    StaticFile file = MakeStaticFile(QByteArray(asset.contentType), body);
    file.version = Digest(body).left(16);
    frame.urls.insert(path, path + QStringLiteral("?v=") + QString::fromLatin1(file.version));
    if (path.startsWith(QStringLiteral("/lang/"))) {
      frame.languages << &page.languages.emplace_back(ReadPageLanguage(body));
    }
    page.files.emplace(path, std::move(file));
  }
  page.own = FrameLanguage(frame.html);
  for (const PageLanguage* language : frame.languages) {
    page.shown.emplace(language->lang,
                       MakeStaticFile("text/html; charset=utf-8", FillPage(frame, *language)));
  }
  if (page.shown.count(page.own) == 0) {
    throw std::runtime_error("the booking page's own language has no language file");
  }
  return page;
}

}  // namespace

StaticFile MakeStaticFile(const QByteArray& contentType, const QByteArray& body) {
  StaticFile file{contentType, body, '"' + Digest(body) + '"', {}, {}, {}};
  QByteArray gzipped = Gzip(body);
  if (gzipped.size() < body.size()) {
    file.gzipEtag = '"' + Digest(gzipped) + '"';
    file.gzipped = std::move(gzipped);
  }
  return file;
}

QStringList PageAssetPaths() {
  QStringList paths{QString::fromLatin1(kPage)};
  for (const AssetEntry& asset : kAssets) paths << QString::fromLatin1(asset.path);
  return paths;
}

const StaticFile* FindPageAsset(const QString& path, QByteArrayView acceptLanguage) {
  static const Page kPageFiles = MakePage();
  if (path == QLatin1String(kPage)) {
    for (const QString& asked : AcceptedLanguages(acceptLanguage)) {
      for (const PageLanguage& language : kPageFiles.languages) {
        if (language.matches.contains(asked)) return &kPageFiles.shown.at(language.lang);
      }
    }
    return &kPageFiles.shown.at(kPageFiles.own);
  }
  const auto found = kPageFiles.files.find(path);
  return found == kPageFiles.files.end() ? nullptr : &found->second;
}

}  // namespace taurelin
