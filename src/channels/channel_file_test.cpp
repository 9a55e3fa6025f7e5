#include "channels/channel_file.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace taurelin {
namespace {

QString Write(const QTemporaryDir& dir, const QByteArray& text) {
  const QString path = dir.filePath(QStringLiteral("channels.ini"));
  QFile file(path);
  file.open(QIODevice::WriteOnly | QIODevice::Truncate);
  file.write(text);
  return path;
}

TEST(ChannelFile, ReadsEachCalendarWithItsDefaults) {
  QTemporaryDir dir;
  const QList<ChannelFeed> feeds = ReadChannelFile(Write(
      dir, "[cabin-1]\nurl = https://platform.example/ical/1.ics?s=a,b\nfacility = 1\n"
           "type = 2\nagent = 3\n\n[cabin-2]\nurl=http://127.0.0.1:8081/c.ics\nfacility=1\n"
           "type=4\nagent=3\ninterval=60\nremoved=keep\n"));
  ASSERT_EQ(feeds.size(), 2);
  EXPECT_EQ(feeds[0].name, QStringLiteral("cabin-1"));
  // A comma in the address is the address's, not a list.
  EXPECT_EQ(feeds[0].url.toString(), QStringLiteral("https://platform.example/ical/1.ics?s=a,b"));
  EXPECT_EQ(feeds[0].intervalSeconds, 600);
  EXPECT_EQ(feeds[0].removal, ChannelFeed::Removal::kCancel);
  EXPECT_EQ(feeds[1].type, 4);
  EXPECT_EQ(feeds[1].intervalSeconds, 60);
  EXPECT_EQ(feeds[1].removal, ChannelFeed::Removal::kKeep);
}

// A file that cannot be used is refused whole, naming the calendar and the value.
TEST(ChannelFile, RefusesWhatCannotBeUsed) {
  QTemporaryDir dir;
  const QByteArray good = "url=https://p.example/1.ics\nfacility=1\ntype=2\nagent=3\n";
  const struct {
    QByteArray text;
    const char* said;
  } cases[] = {
      {"[c]\nfacility=1\ntype=2\nagent=3\n", "url is \"\""},
      {"[c]\nurl=file:///etc/passwd\nfacility=1\ntype=2\nagent=3\n", "not an http or https"},
      {"[c]\nurl=https://p.example/1.ics\nfacility=1\ntype=2\n", "agent is missing"},
      {"[c]\n" + good + "interval=59\n", "interval is \"59\""},
      {"[c]\n" + good + "facility=one\n", "facility is \"one\""},
      {"[c]\n" + good + "removed=delete\n", "removed is \"delete\""},
      {"[c]\n" + good + "agnet=3\n", "agnet is no key"},
  };
  for (const auto& c : cases) {
    try {
      ReadChannelFile(Write(dir, c.text));
      ADD_FAILURE() << "taken: " << c.text.constData();
    } catch (const ChannelFileError& error) {
      EXPECT_NE(std::string(error.what()).find(c.said), std::string::npos) << error.what();
      EXPECT_NE(std::string(error.what()).find("[c]"), std::string::npos) << error.what();
    }
  }
  EXPECT_THROW(ReadChannelFile(dir.filePath(QStringLiteral("none.ini"))), ChannelFileError);
}

}  // namespace
}  // namespace taurelin
