#include "channels/channel_file.h"

#include <QFileInfo>
#include <QSettings>

namespace taurelin {
namespace {

const QStringList kKeys{QStringLiteral("url"),      QStringLiteral("facility"),
                        QStringLiteral("type"),     QStringLiteral("agent"),
                        QStringLiteral("interval"), QStringLiteral("removed")};

[[noreturn]] void Refuse(const QString& file, const QString& group, const QString& why) {
  throw ChannelFileError(QStringLiteral("the channel file %1, calendar [%2]: %3")
                             .arg(file, group, why));
}

int Integer(QSettings& settings, const QString& file, const QString& group, const QString& key,
            qint64 low, qint64 high) {
  const QVariant value = settings.value(key);
  if (!value.isValid()) Refuse(file, group, QStringLiteral("%1 is missing").arg(key));
  bool ok = false;
  const qint64 number = value.toString().trimmed().toLongLong(&ok);
  if (!ok || number < low || number > high) {
    Refuse(file, group, QStringLiteral("%1 is \"%2\", not a whole number from %3 to %4")
                            .arg(key, value.toString())
                            .arg(low)
                            .arg(high));
  }
  return static_cast<int>(number);
}

}  // namespace

QList<ChannelFeed> ReadChannelFile(const QString& file) {
  if (!QFileInfo(file).isReadable()) {
    throw ChannelFileError(QStringLiteral("the channel file %1 cannot be read").arg(file));
  }
  QSettings settings(file, QSettings::IniFormat);
  settings.sync();
  if (settings.status() != QSettings::NoError) {
    throw ChannelFileError(QStringLiteral("the channel file %1 is not an INI file").arg(file));
  }
  QList<ChannelFeed> feeds;
  for (const QString& group : settings.childGroups()) {
    settings.beginGroup(group);
    for (const QString& key : settings.childKeys()) {
      if (!kKeys.contains(key)) Refuse(file, group, QStringLiteral("%1 is no key").arg(key));
    }
    if (group.size() > ChannelFeed::kLongestName) {
      Refuse(file, group, QStringLiteral("the name is longer than %1 characters")
                              .arg(ChannelFeed::kLongestName));
    }
    ChannelFeed feed;
    feed.name = group;
    // An INI value with a comma reads as a list; an address may hold commas.
    const QString url =
        settings.value(QStringLiteral("url")).toStringList().join(u',').trimmed();
    feed.url = QUrl(url, QUrl::StrictMode);
    const QString scheme = feed.url.scheme().toLower();
    if (url.isEmpty() || !feed.url.isValid() || feed.url.host().isEmpty() ||
        (scheme != u"http" && scheme != u"https")) {
      Refuse(file, group, QStringLiteral("url is \"%1\", not an http or https address").arg(url));
    }
    constexpr qint64 kIntMax = 2147483647;
    feed.facility = Integer(settings, file, group, QStringLiteral("facility"), 0, kIntMax);
    feed.type = Integer(settings, file, group, QStringLiteral("type"), 0, kIntMax);
    feed.agent = Integer(settings, file, group, QStringLiteral("agent"), 0, kIntMax);
    if (settings.contains(QStringLiteral("interval"))) {
      feed.intervalSeconds = Integer(settings, file, group, QStringLiteral("interval"),
                                     ChannelFeed::kShortestInterval, 7 * 86400);
    }
    const QString removed =
        settings.value(QStringLiteral("removed"), QStringLiteral("cancel")).toString().trimmed();
    if (removed == u"cancel") {
      feed.removal = ChannelFeed::Removal::kCancel;
    } else if (removed == u"keep") {
      feed.removal = ChannelFeed::Removal::kKeep;
    } else {
      Refuse(file, group, QStringLiteral("removed is \"%1\", not cancel or keep").arg(removed));
    }
    settings.endGroup();
    feeds.append(feed);
  }
  return feeds;
}

}  // namespace taurelin
