#include "web/page_assets.h"

#include <QFile>

#include <stdexcept>
#include <string>

namespace taurelin {
namespace {

struct AssetEntry {
  const char* path;
  const char* resource;
  const char* contentType;
};

const AssetEntry kAssets[] = {
    {"/", ":/web/page/index.html", "text/html; charset=utf-8"},
    {"/app.js", ":/web/page/app.js", "text/javascript; charset=utf-8"},
    {"/calendar.js", ":/web/page/calendar.js", "text/javascript; charset=utf-8"},
    {"/lang/nb.js", ":/web/page/lang/nb.js", "text/javascript; charset=utf-8"},
    {"/lang/en.js", ":/web/page/lang/en.js", "text/javascript; charset=utf-8"},
    {"/style.css", ":/web/page/style.css", "text/css; charset=utf-8"},
};

}  // namespace

QStringList PageAssetPaths() {
  QStringList paths;
  for (const AssetEntry& asset : kAssets) paths << QString::fromLatin1(asset.path);
  return paths;
}

std::optional<PageAsset> FindPageAsset(const QString& path) {
  for (const AssetEntry& asset : kAssets) {
    if (path != QLatin1String(asset.path)) continue;
    QFile file(QString::fromLatin1(asset.resource));
    // A file listed here but missing from the resources is a build fault, not a 404.
    if (!file.open(QIODevice::ReadOnly)) {
      throw std::runtime_error("the booking page lacks " + std::string(asset.resource));
    }
    return PageAsset{QByteArray(asset.contentType), file.readAll()};
  }
  return std::nullopt;
}

}  // namespace taurelin
