// What reading a large channel calendar costs the requests that come meanwhile. One server on
// a fresh demo database reads one calendar, as big as a platform serves with years of history
// in it, from a small HTTP server in this program; one blocking client asks LEDIG over the
// line protocol every 10 ms from start to end, and each round trip is timed.
//
//   channel_import_bench [--size MB] [--runs N]
//
// The calendar (about MB megabytes, 7 by default; deterministic for a given day) holds a few
// hundred stays over the coming year on rental type 2 of facility 1, and past stays to fill
// the size. Its import runs from the moment the server asks for the calendar until the
// server's day log says "Channel NAME: N events read"; then, after a short pause, a quiet
// period of as many requests is measured on the same connection. Each run starts a fresh
// server on a fresh database; the import must report every event of the calendar read and
// every stay ahead added, or the run fails.

#include "demo_database.h"
#include "loopback.h"

#include "store/alias_list.h"
#include "store/connection.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace taurelin;
using namespace taurelin::bench;
using Clock = std::chrono::steady_clock;

constexpr const char* kChannel = "bench-platform";
constexpr int kStaysAhead = 300;
constexpr auto kSpacing = std::chrono::milliseconds(10);
// The fetch cap of the server: a larger calendar would be refused, not imported.
constexpr double kLargestMb = 8.0 * 1024 * 1024 / 1e6;

// ---- the calendar ----------------------------------------------------------------------

QByteArray IcalDate(const QDate& date) { return date.toString(u"yyyyMMdd").toLatin1(); }

// A content line folded as RFC 5545 asks: at most 75 octets a line, never inside a UTF-8
// character, continued after CRLF and a blank.
void AppendFolded(QByteArray& out, const QByteArray& line) {
  qsizetype at = 0;
  qsizetype room = 75;
  while (line.size() - at > room) {
    qsizetype cut = at + room;
    while ((static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    out += line.mid(at, cut - at);
    out += "\r\n ";
    at = cut;
    room = 74;
  }
  out += line.mid(at);
  out += "\r\n";
}

// Text as hosts and guests write it, escaped for an iCalendar TEXT value.
class Prose {
 public:
  explicit Prose(std::mt19937& random) : random_(random) {}

  QByteArray paragraph(int length) {
    static const char* const kWords[] = {
        "the",     "cabin",    "lake",    "guests",   "arrive",   "after",     "check-in",
        "keys",    "in",       "the",     "lockbox",  "code",     "firewood",  "sauna",
        "is",      "heated",   "on",      "request",  "please",   "leave",     "towels",
        "by",      "door",     "quiet",   "hours",    "from",     "parking",   "for",
        "two",     "cars",     "dogs",    "welcome",  "bedlinen", "included",  "final",
        "cleaning", "Bjørnstad", "fjord",  "boat",     "with",     "life",      "jackets",
        "children", "ages",    "adults",  "wifi",     "password", "trail",     "starts",
        "behind",  "shed",     "Tromsø",  "airport",  "transfer", "arranged",  "late",
        "arrival", "expected", "we",      "look",     "forward",  "to",        "your",
        "stay",    "breakfast", "basket", "not",      "allergies", "nuts",     "høst",
    };
    QByteArray text;
    bool sentenceStart = true;
    while (text.size() < length) {
      QByteArray word = kWords[random_() % std::size(kWords)];
      if (sentenceStart) word[0] = static_cast<char>(std::toupper(word[0]));
      text += word;
      sentenceStart = random_() % 9 == 0;
      if (sentenceStart) {
        text += random_() % 4 == 0 ? "\\n" : ". ";
      } else {
        text += random_() % 11 == 0 ? "\\, " : " ";
      }
    }
    return text;
  }

 private:
  std::mt19937& random_;
};

struct Calendar {
  QByteArray body;
  int events = 0;
  int ahead = 0;  // stays that end after today: what the import adds
};

QByteArray Event(std::mt19937& random, Prose& prose, const QByteArray& stamp, int number,
                 const QDate& arrival, int nights) {
  QByteArray event = "BEGIN:VEVENT\r\nDTSTAMP:" + stamp + "\r\n";
  char uid[64];
  std::snprintf(uid, sizeof uid, "%08x%08x-%06d@bookings.platform.example",
                static_cast<unsigned>(random()), static_cast<unsigned>(random()), number);
  event += "UID:" + QByteArray(uid) + "\r\n";
  event += "DTSTART;VALUE=DATE:" + IcalDate(arrival) + "\r\n";
  event += "DTEND;VALUE=DATE:" + IcalDate(arrival.addDays(nights)) + "\r\n";
  const bool blocked = random() % 7 == 0;
  event += blocked ? "SUMMARY:Not available\r\n" : "SUMMARY:Reserved\r\n";
  // Platforms put the reservation's page here, and often the guest's message or the
  // listing's house rules: most descriptions are a few hundred bytes, one in five runs to
  // kilobytes.
  const int length = random() % 5 == 0 ? 400 + static_cast<int>(random() % 2600)
                                        : 60 + static_cast<int>(random() % 340);
  AppendFolded(event, "DESCRIPTION:Reservation URL: https://platform.example/hosting/"
                      "reservations/details/" + QByteArray(uid).left(16) +
                          "\\nPhone number (last 4 digits): " +
                          QByteArray::number(1000 + random() % 9000) + "\\n" +
                          prose.paragraph(length));
  event += "END:VEVENT\r\n";
  return event;
}

// About `bytes` of calendar as a large platform serves it, the same for a given seed and day.
Calendar MakeCalendar(qint64 bytes, unsigned seed, const QDate& today) {
  std::mt19937 random(seed);
  Prose prose(random);
  const QByteArray stamp = IcalDate(today) + "T061500Z";
  Calendar calendar;
  calendar.body =
      "BEGIN:VCALENDAR\r\nPRODID:-//Platform Inc//Hosting Calendar 1.0//EN\r\nVERSION:2.0\r\n"
      "CALSCALE:GREGORIAN\r\nMETHOD:PUBLISH\r\nX-WR-CALNAME:Lakeside cabins (6)\r\n"
      "X-WR-TIMEZONE:Europe/Oslo\r\n"
      "BEGIN:VTIMEZONE\r\nTZID:Europe/Oslo\r\nX-LIC-LOCATION:Europe/Oslo\r\n"
      "BEGIN:DAYLIGHT\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nTZNAME:CEST\r\n"
      "DTSTART:19700329T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nEND:DAYLIGHT\r\n"
      "BEGIN:STANDARD\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nTZNAME:CET\r\n"
      "DTSTART:19701025T030000\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nEND:STANDARD\r\n"
      "END:VTIMEZONE\r\n";
  const QByteArray tail = "END:VCALENDAR\r\n";

  // The stays ahead: arrivals over the coming year, one to seven nights.
  QByteArray ahead;
  for (int i = 0; i < kStaysAhead; ++i) {
    const QDate arrival = today.addDays(1 + static_cast<int>(random() % 365));
    ahead += Event(random, prose, stamp, 900000 + i, arrival, 1 + static_cast<int>(random() % 7));
  }
  calendar.ahead = kStaysAhead;

  // Past stays, ending yesterday and before, until the calendar has its size; listed oldest
  // first, as platforms keep them. Six cabins take about three stays in two days.
  std::vector<QByteArray> past;
  qint64 size = calendar.body.size() + ahead.size() + tail.size();
  QDate end = today.addDays(-1);
  while (size < bytes) {
    const int nights = 1 + static_cast<int>(random() % 7);
    past.push_back(Event(random, prose, stamp, static_cast<int>(past.size()),
                         end.addDays(-nights), nights));
    size += past.back().size();
    end = end.addDays(random() % 3 == 0 ? -2 : 0);
  }
  std::reverse(past.begin(), past.end());
  for (const QByteArray& event : past) calendar.body += event;
  calendar.body += ahead;
  calendar.body += tail;
  calendar.events = static_cast<int>(past.size()) + kStaysAhead;
  return calendar;
}

// ---- the platform ----------------------------------------------------------------------

// Serves one body to every request on 127.0.0.1, one connection at a time, on a thread of its
// own; notes when the last request came.
class CalendarServer {
 public:
  explicit CalendarServer(QByteArray body) : body_(std::move(body)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~CalendarServer() {
    if (listener_ >= 0) ::shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) ::close(listener_);
  }
  CalendarServer(const CalendarServer&) = delete;
  CalendarServer& operator=(const CalendarServer&) = delete;

  int port() const { return port_; }
  // Requests served so far, and when the last one came in.
  int requests() const { return requests_.load(); }
  Clock::time_point lastRequest() const {
    return Clock::time_point(Clock::duration(lastRequest_.load()));
  }

 private:
  void serve() {
    for (;;) {
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      QByteArray request;
      char buffer[4096];
      while (!request.contains("\r\n\r\n")) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) break;
        request.append(buffer, got);
      }
      if (request.contains("\r\n\r\n")) {
        lastRequest_.store(Clock::now().time_since_epoch().count());
        requests_.fetch_add(1);
        const QByteArray answer =
            "HTTP/1.1 200 OK\r\nContent-Type: text/calendar; charset=utf-8\r\n"
            "Content-Length: " + QByteArray::number(body_.size()) +
            "\r\nConnection: close\r\n\r\n" + body_;
        for (qsizetype sent = 0; sent < answer.size();) {
          const ssize_t put = ::send(fd, answer.constData() + sent,
                                     static_cast<size_t>(answer.size() - sent), MSG_NOSIGNAL);
          if (put <= 0) break;
          sent += put;
        }
      }
      ::close(fd);
    }
  }

  QByteArray body_;
  int listener_ = -1;
  int port_ = -1;
  std::thread thread_;
  std::atomic<int> requests_{0};
  std::atomic<Clock::rep> lastRequest_{0};
};

// ---- the server's day log ---------------------------------------------------------------

// The lines the server adds to its day log, read as they come.
class DayLog {
 public:
  explicit DayLog(const QString& directory) : directory_(directory) {}

  // The complete lines added since the last call.
  QStringList newLines() {
    const QString name = QDate::currentDate().toString(u"yyyyMMdd") + QStringLiteral(" - API.LOG");
    if (name != name_) {  // midnight: the rest of the old file, then the new one
      QStringList lines = name_.isEmpty() ? QStringList() : readFrom(name_);
      name_ = name;
      offset_ = 0;
      pending_.clear();
      return lines + readFrom(name_);
    }
    return readFrom(name_);
  }

 private:
  QStringList readFrom(const QString& name) {
    QFile file(QDir(directory_).filePath(name));
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset_)) return {};
    const QByteArray more = file.readAll();
    offset_ += more.size();
    pending_ += more;
    const qsizetype end = pending_.lastIndexOf("\r\n");
    if (end < 0) return {};
    const QStringList lines =
        QString::fromUtf8(pending_.left(end)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    pending_.remove(0, end + 2);
    return lines;
  }

  QString directory_;
  QString name_;
  qint64 offset_ = 0;
  QByteArray pending_;
};

// ---- one run ----------------------------------------------------------------------------

struct Summary {
  double p50 = 0, p99 = 0, max = 0;
  size_t count = 0;
};

Summary Summarize(const std::vector<double>& microseconds) {
  Summary summary;
  summary.count = microseconds.size();
  if (microseconds.empty()) return summary;
  summary.p50 = Percentile(microseconds, 0.5) / 1000;
  summary.p99 = Percentile(microseconds, 0.99) / 1000;
  summary.max = *std::max_element(microseconds.begin(), microseconds.end()) / 1000;
  return summary;
}

struct RunResult {
  bool ok = false;
  Summary quiet, import;
  double importSeconds = 0;
  QString logLine;
};

RunResult Run(const Calendar& calendar, CalendarServer& platform) {
  RunResult run;
  QTemporaryDir dir;
  const QString databaseFile = dir.filePath(QStringLiteral("demo.db"));
  if (!InstallDemo(databaseFile)) return run;

  ServerUnderTest server(databaseFile);
  // The import's end is read from the day log.
  server.setConfiguration(QStringLiteral("Logfile"), 1);
  const QString channelFile = QDir(server.directory()).filePath(QStringLiteral("channels.ini"));
  {
    QFile out(channelFile);
    if (!out.open(QIODevice::WriteOnly)) return run;
    out.write(QStringLiteral("[%1]\nurl = http://127.0.0.1:%2/calendar.ics\nfacility = 1\n"
                             "type = 2\nagent = 3\n")
                  .arg(QLatin1String(kChannel))
                  .arg(platform.port())
                  .toUtf8());
  }
  const int requestsBefore = platform.requests();
  const int port = server.start({QStringLiteral("--channels"), channelFile});
  if (port < 0) return run;
  const int fd = ConnectLoopback(port);
  if (fd < 0) {
    std::fprintf(stderr, "cannot connect to the server\n");
    return run;
  }

  const QDate arrival = QDate::currentDate().addDays(30);
  const QByteArray ledig =
      "messageID=bench&count=1&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;PENSJONSTYPE;ANKOMST;"
      "AVREISE&data=LEDIG;1;*;*;*;" +
      arrival.toString(u"yyyy.MM.dd").toLatin1() + ";" +
      arrival.addDays(7).toString(u"yyyy.MM.dd").toLatin1() + "\n";

  DayLog log(server.directory());
  static const QRegularExpression kRead(
      QStringLiteral("Channel %1: (\\d+) events read; (\\d+) added").arg(QLatin1String(kChannel)));
  static const QRegularExpression kFailed(
      QStringLiteral("the calendar could not be read|answer is no calendar|the import failed|"
                     "another server is importing"));
  enum class Phase { kBefore, kImport, kSettle, kQuiet } phase = Phase::kBefore;
  std::vector<double> importTimes, quietTimes;
  Clock::time_point fetchStart, importEnd;
  const Clock::time_point started = Clock::now();
  Clock::time_point next = started;
  QByteArray answer;
  QStringList channelLines;
  for (;;) {
    std::this_thread::sleep_until(next);
    const Clock::time_point sent = Clock::now();
    next = sent + kSpacing;
    const double rt = RoundTrip(fd, ledig, &answer);
    if (rt < 0 || !answer.contains("&data=LEDIG;0;")) {
      std::fprintf(stderr, "LEDIG was not answered: %s\n", answer.constData());
      ::close(fd);
      return run;
    }
    // The fetch starts when the platform sees the request; a request sent before that is
    // the server's warm-up and counts nowhere.
    if (phase == Phase::kBefore && platform.requests() > requestsBefore) {
      fetchStart = platform.lastRequest();
      phase = Phase::kImport;
    }
    if (phase == Phase::kImport && sent >= fetchStart) importTimes.push_back(rt);
    if (phase == Phase::kQuiet) quietTimes.push_back(rt);

    server.standardError();  // keeps the server's pipe drained
    if (phase == Phase::kImport) {
      for (const QString& line : log.newLines()) {
        if (!line.contains(QStringLiteral("Channel %1: ").arg(QLatin1String(kChannel)))) continue;
        channelLines << line;
        if (kFailed.match(line).hasMatch()) {
          std::fprintf(stderr, "the calendar was not imported:\n%s\n",
                       qPrintable(channelLines.join(u'\n')));
          ::close(fd);
          return run;
        }
        if (kRead.match(line).hasMatch()) {
          run.logLine = line.mid(line.indexOf(QStringLiteral(" - ")) + 3);
          importEnd = Clock::now();
          phase = Phase::kSettle;
        }
      }
    }
    // At least as many requests in quiet as during the import, so that its maximum is no
    // smaller for want of samples; and at least 200, for a p99 that means something.
    if (phase == Phase::kSettle && Clock::now() - importEnd > std::chrono::milliseconds(500)) {
      phase = Phase::kQuiet;
    }
    if (phase == Phase::kQuiet &&
        quietTimes.size() >= std::max<size_t>(200, importTimes.size())) {
      break;
    }
    if (phase == Phase::kBefore && Clock::now() - started > std::chrono::seconds(30)) {
      std::fprintf(stderr, "the server did not ask for the calendar within 30 s\n%s\n",
                   qPrintable(server.standardError()));
      ::close(fd);
      return run;
    }
    if (phase == Phase::kImport && Clock::now() - fetchStart > std::chrono::minutes(5)) {
      std::fprintf(stderr, "the import did not end within 5 minutes; the channel's lines:\n%s\n",
                   qPrintable(channelLines.join(u'\n')));
      ::close(fd);
      return run;
    }
  }
  ::close(fd);

  const QRegularExpressionMatch read = kRead.match(run.logLine);
  if (read.captured(1).toInt() != calendar.events || read.captured(2).toInt() != calendar.ahead) {
    std::fprintf(stderr,
                 "the import read other than the calendar holds (%d events, %d ahead):\n%s\n",
                 calendar.events, calendar.ahead, qPrintable(channelLines.join(u'\n')));
    return run;
  }
  run.quiet = Summarize(quietTimes);
  run.import = Summarize(importTimes);
  run.importSeconds = std::chrono::duration<double>(importEnd - fetchStart).count();
  run.ok = true;
  return run;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  double megabytes = 7;
  int runs = 1;
  const QStringList arguments = QCoreApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const bool hasValue = i + 1 < arguments.size();
    if (arguments[i] == u"--size" && hasValue) {
      megabytes = arguments[++i].toDouble();
    } else if (arguments[i] == u"--runs" && hasValue) {
      runs = arguments[++i].toInt();
    } else {
      std::fprintf(stderr, "usage: channel_import_bench [--size MB] [--runs N]\n");
      return 2;
    }
  }
  if (megabytes <= 0 || megabytes > kLargestMb || runs < 1) {
    std::fprintf(stderr, "--size must be above 0 and at most %.2f (the server's fetch cap), "
                         "--runs at least 1\n", kLargestMb);
    return 2;
  }

  const Calendar calendar =
      MakeCalendar(static_cast<qint64>(megabytes * 1e6), 20240611, QDate::currentDate());
  CalendarServer platform(calendar.body);
  if (platform.port() < 0) {
    std::fprintf(stderr, "the calendar cannot be served\n");
    return 1;
  }
  std::printf("calendar: %lld bytes, %d events (%d ahead, %d past), facility 1 type 2; "
              "LEDIG every %lld ms\n",
              static_cast<long long>(calendar.body.size()), calendar.events, calendar.ahead,
              calendar.events - calendar.ahead, static_cast<long long>(kSpacing.count()));
  std::fflush(stdout);

  std::vector<RunResult> results;
  for (int i = 1; i <= runs; ++i) {
    const RunResult run = Run(calendar, platform);
    if (!run.ok) {
      std::fprintf(stderr, "run %d failed\n", i);
      return 1;
    }
    std::printf("run %d: import %.2f s (fetch to log line), %zu requests; quiet %zu requests "
                "after it\n",
                i, run.importSeconds, run.import.count, run.quiet.count);
    std::printf("  %-8s %9s %9s %9s\n", "", "p50 ms", "p99 ms", "max ms");
    std::printf("  %-8s %9.2f %9.2f %9.2f\n", "quiet", run.quiet.p50, run.quiet.p99,
                run.quiet.max);
    std::printf("  %-8s %9.2f %9.2f %9.2f\n", "import", run.import.p50, run.import.p99,
                run.import.max);
    std::printf("  max during import - max quiet: %+.2f ms; p99 during import - p99 quiet: "
                "%+.2f ms\n",
                run.import.max - run.quiet.max, run.import.p99 - run.quiet.p99);
    std::printf("  %s\n", qPrintable(run.logLine));
    std::fflush(stdout);
    results.push_back(run);
  }
  if (runs > 1) {
    std::printf("%-4s %9s %9s %9s %9s %10s %9s %9s %11s %11s\n", "run", "import s", "quiet p50",
                "p99", "max", "import p50", "p99", "max", "max - max", "p99 - p99");
    for (size_t i = 0; i < results.size(); ++i) {
      const RunResult& r = results[i];
      std::printf("%-4zu %9.2f %9.2f %9.2f %9.2f %10.2f %9.2f %9.2f %11.2f %11.2f\n", i + 1,
                  r.importSeconds, r.quiet.p50, r.quiet.p99, r.quiet.max, r.import.p50,
                  r.import.p99, r.import.max, r.import.max - r.quiet.max,
                  r.import.p99 - r.quiet.p99);
    }
  }
  return 0;
}
