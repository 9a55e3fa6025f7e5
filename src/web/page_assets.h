#pragma once

// The reference booking page: static files shipped inside the program, served at / beside
// the JSON API. A business may copy and translate them; the page reads nothing but the API.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace taurelin {

struct PageAsset {
  QByteArray contentType;
  QByteArray body;
};

// The URL paths of the page's files: "/" and each of its assets.
QStringList PageAssetPaths();

// The file served at `path`, or nothing when the page has no such file.
std::optional<PageAsset> FindPageAsset(const QString& path);

}  // namespace taurelin
