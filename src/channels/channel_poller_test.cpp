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
  int readings = 0;  // calendars handed to the import
  int confirms = 0;  // reads that found the calendar unchanged
  QStringList told;
  std::function<ImportResult(const CalendarReading*)> import = [](const CalendarReading*) {
    return ImportResult();
  };
  std::unique_ptr<ImportSteps> steps;  // set: the next import's

  std::unique_ptr<ChannelPoller> start(const QByteArray& url, FetchLimits limits = {}) {
    ChannelPoller::Hooks hooks;
    hooks.import = [this](const ChannelFeed&, std::shared_ptr<const CalendarReading> reading)
        -> std::unique_ptr<ImportSteps> {
      ++(reading ? readings : confirms);
      if (steps) return std::move(steps);
      return std::make_unique<Finished>(import(reading.get()));
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
// bring no calendar and still count as reads for the import (its evidence of what is gone).
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
  EXPECT_EQ(poll.readings, 1);
  EXPECT_GE(poll.confirms, 2);
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
    EXPECT_EQ(poll.readings + poll.confirms, 0);
  }
}

// A conflict is told once however often it is read again, counted once in the metrics, and
// makes the health degraded.
TEST(ChannelPoller, ToldOfAConflictOnceAndReportsIt) {
  TestHttpServer server([](const TestHttpServer::Request&, QTcpSocket* socket) {
    TestHttpServer::Answer(socket, 200, kCalendar);  // no validators: read whole each time
  });
  Poll poll;
  poll.import = [](const CalendarReading*) {
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

// A calendar held as suspect is told once, reported while it lasts, and told once more when
// it is believed again; what the imports changed adds up in the metrics.
TEST(ChannelPoller, ToldOnceOfASuspectCalendarAndReportsIt) {
  TestHttpServer server([](const TestHttpServer::Request&, QTcpSocket* socket) {
    TestHttpServer::Answer(socket, 200, kCalendar);
  });
  Poll poll;
  int reads = 0;
  std::optional<QJsonObject> whileSuspect;
  ChannelPoller* running = nullptr;
  poll.import = [&](const CalendarReading*) {
    ImportResult result;
    result.matched = 1;
    if (++reads <= 3) {
      result.suspicion = ChannelSuspicion{QDateTime(QDate(2026, 12, 10), QTime(1, 0), Qt::UTC),
                                          QStringLiteral("shape"), 5, 5};
      result.heldBack = 5;
    }
    return result;
  };
  auto poller = poll.start(server.url("/cal.ics"));
  running = poller.get();
  ASSERT_TRUE(Until([&] {
    if (running->states()[0].suspicion && !whileSuspect) {
      const ChannelReport report{running->states(), running->started(),
                                 QDateTime::currentDateTimeUtc(), 3600};
      whileSuspect = report.json()["channels"].toArray()[0].toObject();
      EXPECT_EQ(report.problems().size(), 1);
      EXPECT_TRUE(report.metrics().contains("taurelin_channel_suspect{channel=\"cabin \\\"1\\\"\"} 1\n"))
          << report.metrics().constData();
      EXPECT_EQ(report.statusText(), QStringLiteral("Channels: 1 suspect"));
    }
    return running->states()[0].reads >= 5;
  }));
  poller->stop();
  ASSERT_EQ(poll.told.size(), 2) << poll.told.join(u'\n').toStdString();
  EXPECT_TRUE(poll.told[0].contains("lacks 5 of the 5 events")) << poll.told[0].toStdString();
  EXPECT_TRUE(poll.told[1].contains("believed again"));
  ASSERT_TRUE(whileSuspect.has_value());
  EXPECT_EQ((*whileSuspect)["suspect"].toObject()["since"].toString(), "2026-12-10T01:00:00Z");
  EXPECT_EQ((*whileSuspect)["heldBack"].toInt(), 5);
  const ChannelReport report{poller->states(), poller->started(),
                             QDateTime::currentDateTimeUtc(), 3600};
  EXPECT_TRUE(report.problems().isEmpty());
  const QJsonObject channel = report.json()["channels"].toArray()[0].toObject();
  EXPECT_TRUE(channel["suspect"].isNull());
  EXPECT_EQ(channel["sinceStart"].toObject()["matched"].toInt(), poll.readings);
  EXPECT_TRUE(report.metrics().contains(
      QByteArray("taurelin_channel_changes_total{channel=\"cabin \\\"1\\\"\",change=\"matched\"} ") +
      QByteArray::number(poll.readings) + '\n'))
      << report.metrics().constData();
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
