#include "channels/channel_poller.h"
#include "channels/channel_report.h"
#include "channels/test_http_server.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>

#include <gtest/gtest.h>

namespace taurelin {
namespace {

const QByteArray kCalendar =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nEND:VCALENDAR\r\n";

bool Until(const std::function<bool()>& done, int ms = 10000) {
  QDeadlineTimer deadline(ms);
  while (!done() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return done();
}

ChannelFeed Feed(const QByteArray& url) {
  ChannelFeed feed;
  feed.name = QStringLiteral("cabin \"1\"");
  feed.url = QUrl(QString::fromLatin1(url));
  feed.facility = 1;
  feed.type = 2;
  feed.agent = 900;
  feed.intervalSeconds = 60;
  return feed;
}

// An import that is done at its first slice.
class Finished : public ImportSteps {
 public:
  explicit Finished(ImportResult result) : result_(std::move(result)) {}
  bool step(int) override { return true; }
  const ImportResult& result() const override { return result_; }

 private:
  ImportResult result_;
};

struct Poll {
  QList<QByteArray> imported;
  QStringList told;
  std::function<ImportResult(const QByteArray&)> import = [](const QByteArray&) {
    return ImportResult();
  };
  std::unique_ptr<ImportSteps> steps;  // set: the next import's

  std::unique_ptr<ChannelPoller> start(const QByteArray& url, FetchLimits limits = {}) {
    ChannelPoller::Hooks hooks;
    hooks.import = [this](const ChannelFeed&,
                          const QByteArray& body) -> std::unique_ptr<ImportSteps> {
      imported << body;
      if (steps) return std::move(steps);
      return std::make_unique<Finished>(import(body));
    };
    hooks.tell = [this](const QString& line) { told << line; };
    ChannelPoller::Settings settings;
    settings.limits = limits;
    settings.firstReadMs = 0;
    settings.msPerIntervalSecond = 1;  // a read every 60 ms
    auto poller = std::make_unique<ChannelPoller>(QList<ChannelFeed>{Feed(url)}, hooks, settings);
    poller->start();
    return poller;
  }
};

// A calendar is imported once; the reads after it are conditional and answered 304, which
// imports nothing and still counts as read.
TEST(ChannelPoller, ReadsConditionallyAndImportsOnlyWhatChanged) {
  TestHttpServer server([](const TestHttpServer::Request& request, QTcpSocket* socket) {
    if (request.headers.value("if-none-match") == "\"v1\"") {
      TestHttpServer::Answer(socket, 304, {}, "ETag: \"v1\"\r\n");
    } else {
      TestHttpServer::Answer(socket, 200, kCalendar,
                             "ETag: \"v1\"\r\nLast-Modified: Wed, 09 Dec 2026 10:00:00 GMT\r\n");
    }
  });
  Poll poll;
  auto poller = poll.start(server.url("/cal.ics"));
  ASSERT_TRUE(Until([&] { return poller->states()[0].reads >= 3; }));
  poller->stop();
  EXPECT_EQ(poll.imported, QList<QByteArray>{kCalendar});
  const ChannelState& state = poller->states()[0];
  EXPECT_GE(state.unchanged, 2);
  EXPECT_TRUE(state.lastError.isEmpty());
  EXPECT_TRUE(state.lastSuccess.isValid());
  EXPECT_FALSE(server.requests()[0].headers.contains("if-none-match"));
  EXPECT_EQ(server.requests()[1].headers.value("if-modified-since"),
            "Wed, 09 Dec 2026 10:00:00 GMT");
}

// An import of many slices lets the event loop run between them (the server answers its
// requests there), and the calendar counts as read once the last slice is done.
TEST(ChannelPoller, AnImportYieldsToTheEventLoopBetweenSlices) {
  class Slices : public ImportSteps {
   public:
    Slices(int& slices, bool& otherEventRan) : slices_(slices), otherEventRan_(otherEventRan) {}
    bool step(int) override {
      if (slices_ > 0) EXPECT_TRUE(otherEventRan_) << "slice " << slices_;
      otherEventRan_ = false;
      QTimer::singleShot(0, [&ran = otherEventRan_] { ran = true; });
      return ++slices_ == 3;
    }
    const ImportResult& result() const override { return result_; }

   private:
    int& slices_;
    bool& otherEventRan_;
    ImportResult result_;
  };
  TestHttpServer server([](const TestHttpServer::Request&, QTcpSocket* socket) {
    TestHttpServer::Answer(socket, 200, kCalendar, "ETag: \"v1\"\r\n");
  });
  Poll poll;
  int slices = 0;
  bool otherEventRan = false;
  poll.steps = std::make_unique<Slices>(slices, otherEventRan);
  auto poller = poll.start(server.url("/cal.ics"));
  ASSERT_TRUE(Until([&] { return poller->states()[0].lastSuccess.isValid(); }));
  poller->stop();
  EXPECT_EQ(slices, 3);
  QCoreApplication::processEvents();  // the last slice's timer, before its flag goes
  EXPECT_EQ(poller->states()[0].etag, "\"v1\"");
}

// What is no calendar changes nothing and is read whole again next time: a server error, an
// error page that the import refuses, an answer beyond the cap (announced, or only seen as it
// comes) and one that drips too slowly.
TEST(ChannelPoller, KeepsBookingsAndSaysWhyWhenAReadFails) {
  int served = 0;
  TestHttpServer server([&](const TestHttpServer::Request& request, QTcpSocket* socket) {
    ++served;
    if (request.path == "/500") {
      TestHttpServer::Answer(socket, 500, "oops");
    } else if (request.path == "/html") {
      TestHttpServer::Answer(socket, 200, "<html>maintenance</html>", "ETag: \"h\"\r\n");
    } else if (request.path == "/50mb") {
      // Announces 50 MB and sends as long as it is read.
      socket->write("HTTP/1.1 200 OK\r\nContent-Length: 52428800\r\n\r\n");
      socket->write(QByteArray(256 * 1024, 'x'));
    } else if (request.path == "/endless") {
      socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
      auto* more = new QTimer(socket);
      QObject::connect(more, &QTimer::timeout, socket,
                       [socket] { socket->write(QByteArray(64 * 1024, 'x')); });
      more->start(1);
    } else if (request.path == "/slow") {
      socket->write("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n");
      auto* drip = new QTimer(socket);
      QObject::connect(drip, &QTimer::timeout, socket, [socket] { socket->write("x"); });
      drip->start(100);
    }
  });
  FetchLimits limits;
  limits.maxBytes = 1024 * 1024;
  limits.deadlineMs = 1500;
  struct Case {
    QByteArray path;
    QString error;
  } cases[] = {{"/500", "answered 500"},
               {"/html", "no calendar"},
               {"/50mb", "announces 50.0 MiB"},
               {"/endless", "larger than the 1.0 MiB"},
               {"/slow", "longer than 1.5 s"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.constData());
    Poll poll;
    poll.import = [](const QByteArray& body) -> ImportResult {
      if (!body.startsWith("BEGIN:VCALENDAR")) throw CalendarFormatError(QStringLiteral("HTML"));
      return {};
    };
    const int before = served;
    auto poller = poll.start(server.url(c.path), limits);
    ASSERT_TRUE(Until([&] { return poller->states()[0].reads >= 2; }));
    poller->stop();
    const ChannelState& state = poller->states()[0];
    EXPECT_TRUE(state.lastError.contains(c.error)) << state.lastError.toStdString();
    EXPECT_FALSE(state.lastSuccess.isValid());
    // Never conditional: nothing was imported.
    for (qsizetype i = before; i < server.requests().size(); ++i) {
      EXPECT_FALSE(server.requests()[i].headers.contains("if-none-match"));
    }
    EXPECT_LE(poll.imported.size(), c.path == "/html" ? 2 : 0);
  }
}

// A conflict is told once however often it is read again, counted once in the metrics, and
// makes the health degraded.
TEST(ChannelPoller, ToldOfAConflictOnceAndReportsIt) {
  TestHttpServer server([](const TestHttpServer::Request&, QTcpSocket* socket) {
    TestHttpServer::Answer(socket, 200, kCalendar);  // no validators: read whole each time
  });
  Poll poll;
  poll.import = [](const QByteArray&) {
    ImportResult result;
    result.conflicts.append(
        {QStringLiteral("abc@platform"), 1044, {1031}, QDate(2027, 1, 4), QDate(2027, 1, 8)});
    return result;
  };
  auto poller = poll.start(server.url("/cal.ics"));
  ASSERT_TRUE(Until([&] { return poller->states()[0].reads >= 3; }));
  poller->stop();
  ASSERT_EQ(poll.told.size(), 1);
  EXPECT_TRUE(poll.told[0].contains("booking 1044")) << poll.told[0].toStdString();
  EXPECT_TRUE(poll.told[0].contains("booking 1031"));

  const ChannelReport report{poller->states(), poller->started(),
                             QDateTime::currentDateTimeUtc(), 3600};
  EXPECT_TRUE(report.metrics().contains("taurelin_channel_conflicts{channel=\"cabin \\\"1\\\"\"} 1\n"))
      << report.metrics().constData();
  EXPECT_EQ(report.problems().size(), 1);
  const QJsonObject channel = report.json()["channels"].toArray()[0].toObject();
  EXPECT_EQ(channel["conflicts"].toArray()[0].toObject()["otherRefnrs"].toArray()[0].toInt(), 1031);
  EXPECT_EQ(report.statusText(), QStringLiteral("Channels: 1 in conflict"));
}

// A channel that was never read is as old as the poller and stale past the limit; its address
// is shown without what may be the channel's own secret.
TEST(ChannelReport, StaleWhenNotReadAndHidesTheAddressSecret) {
  ChannelState state;
  state.feed = Feed("https://user:pw@platform.example/ical/123.ics?s=secret");
  state.lastError = QStringLiteral("the channel answered 500");
  const QDateTime started = QDateTime::currentDateTimeUtc();
  state.lastAttempt = started;
  const QList<ChannelState> states{state};
  const ChannelReport report{states, started, started.addSecs(3601), 3600};
  EXPECT_TRUE(report.metrics().contains("taurelin_channel_feed_age_seconds{channel=\"cabin "
                                        "\\\"1\\\"\"} 3601\n"));
  EXPECT_EQ(report.problems().size(), 1);
  EXPECT_EQ(report.statusText(), QStringLiteral("Channels: 1 stale, 1 failing"));
  const QJsonObject channel = report.json()["channels"].toArray()[0].toObject();
  EXPECT_EQ(channel["url"].toString(), QStringLiteral("https://platform.example/ical/123.ics"));
  EXPECT_TRUE(channel["stale"].toBool());
}

}  // namespace
}  // namespace taurelin

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
