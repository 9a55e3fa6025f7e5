// Availability and reservation through the running server on the mid-size business, on the
// same business with ten times its history, and on one that sells two years ahead at ten
// times the rate; each figure beside its ratios to yardsticks measured in the same run.
//
//   booking_bench [--requests N] [--seed N] [--data DIR] [--counts no]
//
// With --counts no, each database is measured on a copy without the occupancy counts, the
// allotment lines' index and the kept used allotments, as a database upgraded before they
// came: the figures before them, on the same databases.
//
// Makes the three databases (--data DIR keeps them there and takes them from there next
// time), starts a server on each and measures, by one blocking client over loopback,
// alternately in blocks so that all see the same machine:
//   - LEDIG for one facility and all its types, 7 nights ahead (N, facilities in turn), of
//     240 stays that each server is asked again and again, as it may answer from what it
//     keeps while the database is unchanged; and the first time (N), each a stay that the
//     run asks only once, as a web shop asks (booking_requests.h);
//   - the same in the second to fifth week of each database's history (N / 4);
//   - LEDIG for facility -1 (all facilities), 7 nights ahead (N / 5), again and first;
//   - LEDIGMATRISE for one facility and all its types, 28 days (N / 10) and 365 days
//     (N / 40), again and first;
//   - RESERVER of one unit followed by AVBESTILL of it (N / 2 cycles);
// and the yardsticks all through, so that they see the machine as the rows around them do:
// ten TEST-API round trips to a server before each of its blocks, and after each round of
// blocks a few bare durable write transactions (300 in all) on a scratch SQLite file beside
// the databases.
// Every answer is checked. The base and the ten-times history must answer every request for
// the days ahead alike: only their history differs. The business that sells ten times as
// much ahead answers those differently, and each database its own early history.

#include "bench_table.h"
#include "booking_data.h"
#include "booking_requests.h"
#include "durable_write.h"
#include "loopback.h"

#include "store/alias_list.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using namespace taurelin;
using namespace taurelin::bench;

constexpr int kBlock = 50;
constexpr int kTripsPerRound = 10;
constexpr int kWrites = 300;

// What is timed; a reservation cycle's step gives the last three.
enum Row {
  kTestApi, kLedig, kLedigFirst, kEarlyLedig, kLedigAll, kLedigAllFirst, kMatrix28,
  kMatrix28First, kMatrix365, kMatrix365First, kReserve, kCancel, kCycle, kRows
};
constexpr int kSteps = kReserve + 1;

// One database and its server, with the times measured on it.
struct Subject {
  QString label;
  QString file;
  BookingDataOptions options;
  QString description;  // what it is, beside its counts
  BookingDataCounts counts;
  double generated = 0;  // seconds; 0 when taken as it was
  std::unique_ptr<ServerUnderTest> server;
  int fd = -1;
  int historyStart = 0;  // the first arrival, in days from today
  std::array<std::vector<double>, kRows> times;
  int refused = 0;
  std::array<int, kRows> asked{};  // questions asked once so far, per row
};

// Makes the subject's database (or takes it as made before) and starts its server: on a copy
// in `scratch` without the occupancy counts, unless `counts`.
bool Prepare(Subject& subject, bool counts, const QDir& scratch) {
  QString error;
  if (!QFile::exists(subject.file)) {
    QElapsedTimer timer;
    timer.start();
    if (!GenerateBookingData(subject.file, subject.options, &subject.counts, &error)) {
      std::fprintf(stderr, "%s: %s\n", qPrintable(subject.file), qPrintable(error));
      return false;
    }
    subject.generated = static_cast<double>(timer.elapsed()) / 1000.0;
  }
  DatabaseAlias alias;
  alias.database = subject.file;
  if (!counts) {
    alias.database = scratch.filePath(QFileInfo(subject.file).fileName());
    if (!QFile::copy(subject.file, alias.database) || !DropOccupancyCounts(alias, &error)) {
      std::fprintf(stderr, "%s without counts: %s\n", qPrintable(alias.database),
                   qPrintable(error));
      return false;
    }
  }
  const QDate first = ReadFirstArrival(alias, &error);
  if (!first.isValid()) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(subject.file), qPrintable(error));
    return false;
  }
  subject.historyStart = static_cast<int>(QDate::currentDate().daysTo(first));
  subject.server = std::make_unique<ServerUnderTest>(alias.database);
  const int port = subject.server->start();
  subject.fd = port < 0 ? -1 : ConnectLoopback(port);
  return subject.fd >= 0;
}

using Step = std::function<void(Subject&, int)>;

// Ten blocks or more, so that slow rows alternate too.
int BlockOf(int steps) { return std::clamp(steps / 10, 1, kBlock); }

// Runs `steps` steps on each subject, alternately in blocks, with `beforeBlock` before each
// block and `afterRound` after each round of blocks.
void Alternate(std::vector<Subject>& subjects, int steps, const Step& step,
               const std::function<void(Subject&)>& beforeBlock,
               const std::function<void()>& afterRound) {
  const int block = BlockOf(steps);
  for (int start = 0; start < steps; start += block) {
    for (Subject& subject : subjects) {
      beforeBlock(subject);
      for (int i = start; i < std::min(steps, start + block); ++i) step(subject, i);
    }
    afterRound();
  }
}

int Run(int requests, quint64 seed, const QString& dataDir, bool withCounts) {
  std::printf("machine: %u cores; load average %s at the start\n",
              std::thread::hardware_concurrency(), qPrintable(LoadAverage()));
  QTemporaryDir temporary;
  const QDir dir(dataDir.isEmpty() ? temporary.path() : dataDir);
  std::vector<Subject> subjects(3);
  subjects[0].label = QStringLiteral("base");
  subjects[0].file = dir.filePath(QStringLiteral("business-1.db"));
  subjects[0].description = QStringLiteral("three years back, one ahead");
  subjects[1].label = QStringLiteral("10x history");
  subjects[1].file = dir.filePath(QStringLiteral("business-10.db"));
  subjects[1].options.rentalLines = 10 * kBaseRentalLines;
  subjects[1].description = QStringLiteral("ten times the history");
  subjects[2].label = QStringLiteral("10x ahead");
  subjects[2].file = dir.filePath(QStringLiteral("business-ahead-10.db"));
  subjects[2].options.daysAhead = 2 * 365;
  subjects[2].options.aheadFactor = 10;
  subjects[2].description = QStringLiteral("two years ahead at ten times the rate");
  for (Subject& subject : subjects) {
    subject.options.seed = seed;
    if (!Prepare(subject, withCounts, QDir(temporary.path()))) return 1;
    if (subject.generated > 0) {
      std::printf("%s (%s): %lld rental lines, %lld bookings, %lld allotment lines; made in "
                  "%.1f s\n",
                  qPrintable(subject.label), qPrintable(subject.description),
                  subject.counts.rentalLines, subject.counts.bookings,
                  subject.counts.allotmentLines, subject.generated);
    } else {
      std::printf("%s (%s): taken from %s\n", qPrintable(subject.label),
                  qPrintable(subject.description), qPrintable(subject.file));
    }
  }
  QString error;
  DatabaseAlias base;
  base.database = subjects[0].file;
  const std::vector<Offer> offers = ReadOffers(base, &error);
  const std::map<int, int> types = ReadTypeCounts(base, &error);
  if (offers.empty() || types.empty()) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }
  DatabaseAlias scratch;
  scratch.database = dir.filePath(QStringLiteral("durable-write-scratch.db"));
  DurableWrite write(scratch);
  if (!write.open(&error)) {
    std::fprintf(stderr, "durable write transaction: %s\n", qPrintable(error));
    return 1;
  }

  Failure failed;
  int different = 0;
  int compared = 0;
  // The base's answers to the requests for the days ahead, which the ten-times history must
  // repeat.
  QHash<QByteArray, QString> baseAnswers;
  auto compare = [&](const Subject& subject, const QByteArray& request, const QString& reply) {
    if (&subject == &subjects[0]) return void(baseAnswers.insert(request, reply));
    if (&subject != &subjects[1]) return;
    ++compared;
    if (reply != baseAnswers.value(request)) ++different;
  };
  auto ledig = [&](Subject& subject, Row row, int facility, int arrival, int i,
                   int nights = kNights) {
    const QByteArray request = Availability(i, facility, arrival, nights);
    QByteArray answer;
    const double micros = RoundTrip(subject.fd, request, &answer);
    const QString reply = Reply(answer);
    if (micros < 0 || !IsAvailabilityList(reply)) return failed("LEDIG", answer);
    subject.times[row].push_back(micros);
    if (row != kEarlyLedig) compare(subject, request, reply);
  };
  auto matrix = [&](Subject& subject, Row row, int facility, int from, int days, int i) {
    const QByteArray request = Matrix(i, facility, from, days);
    QByteArray answer;
    const double micros = RoundTrip(subject.fd, request, &answer);
    const QString reply = Reply(answer);
    const auto typeCount = types.find(facility);
    if (micros < 0 || typeCount == types.end() || !IsMatrix(reply, typeCount->second * days)) {
      return failed("LEDIGMATRISE", answer);
    }
    subject.times[row].push_back(micros);
    compare(subject, request, reply);
  };
  const std::array<Step, kSteps> steps = {
      [&](Subject& subject, int i) {
        QByteArray answer;
        const double micros = RoundTrip(subject.fd, TestApi(i), &answer);
        if (micros < 0 || !IsTestApiReply(Reply(answer))) return failed("TEST-API", answer);
        subject.times[kTestApi].push_back(micros);
      },
      [&](Subject& subject, int i) { ledig(subject, kLedig, 1 + i % 10, ArrivalOf(i), i); },
      [&](Subject& subject, int i) {
        const int k = subject.asked[kLedigFirst]++;
        ledig(subject, kLedigFirst, 1 + k % 10, ArrivalOf(k), i, FreshNights(k));
      },
      [&](Subject& subject, int i) {
        ledig(subject, kEarlyLedig, 1 + i % 10, subject.historyStart + EarlyArrivalOf(i), i);
      },
      [&](Subject& subject, int i) { ledig(subject, kLedigAll, -1, ArrivalOf(i), i); },
      [&](Subject& subject, int i) {
        const int k = subject.asked[kLedigAllFirst]++;
        ledig(subject, kLedigAllFirst, -1, ArrivalOf(k), i, FreshNights(k));
      },
      [&](Subject& subject, int i) {
        matrix(subject, kMatrix28, 1 + i % 10, ArrivalOf(i), 28, i);
      },
      [&](Subject& subject, int i) {
        const int k = subject.asked[kMatrix28First]++;
        matrix(subject, kMatrix28First, 1 + k % 10, ArrivalOf(k), FreshMonthDays(k), i);
      },
      [&](Subject& subject, int i) {
        matrix(subject, kMatrix365, 1 + i % 10, YearStartOf(i), 365, i);
      },
      [&](Subject& subject, int i) {
        const int k = subject.asked[kMatrix365First]++;
        matrix(subject, kMatrix365First, 1 + k % 10, YearStartOf(k), FreshYearDays(k), i);
      },
      [&](Subject& subject, int i) {
        const Cycle done = ReserveAndCancel(
            subject.fd, offers[static_cast<size_t>(i) % offers.size()], i, ArrivalOf(i));
        if (done.outcome == Cycle::kRefused) return void(++subject.refused);
        if (done.outcome == Cycle::kFailed) {
          return failed("RESERVER + AVBESTILL", done.failedAnswer);
        }
        subject.times[kReserve].push_back(done.reserve);
        subject.times[kCancel].push_back(done.cancel);
        subject.times[kCycle].push_back(done.reserve + done.cancel);
      },
  };
  std::vector<double> writeTimes;
  auto writeOnce = [&] {
    const double micros = write.once();
    if (micros < 0) return failed("durable write transaction", write.error().toUtf8());
    writeTimes.push_back(micros);
  };

  // A server keeps at most UnchangedAnswers::kLimit answers of a kind, and forgets them all
  // at a write: the questions asked again are measured first, after a warm-up that asks each
  // of them once, last; the first-time questions and the reservations after them.
  const Row order[] = {kTestApi,     kLedigFirst,    kEarlyLedig,    kLedigAllFirst,
                       kMatrix28First, kMatrix365First, kReserve,     kLedig,
                       kLedigAll,    kMatrix28,      kMatrix365};
  const Row measured[] = {kLedig,      kLedigAll,      kMatrix28,       kMatrix365, kLedigFirst,
                          kEarlyLedig, kLedigAllFirst, kMatrix28First, kMatrix365First, kReserve};

  // Warm up each server (its statements prepared and its pages read), and the scratch file.
  for (Subject& subject : subjects) {
    for (const Row row : order) {
      const int warmUps = row == kLedig || row == kLedigAll || row == kMatrix28 ? kDifferentStays
                          : row == kMatrix365                                 ? kDifferentYears
                          : row == kMatrix365First                            ? 2
                          : row == kLedigAllFirst || row == kMatrix28First    ? 5
                                                                              : 20;
      for (int i = 0; i < warmUps; ++i) steps[static_cast<size_t>(row)](subject, i);
    }
    subject.times = {};
    subject.refused = 0;
  }
  for (int i = 0; i < 20; ++i) writeOnce();
  writeTimes.clear();

  // TEST-API runs between the blocks of the others.
  const int counts[kSteps] = {0,
                              requests,
                              requests,
                              std::max(1, requests / 4),
                              std::max(1, requests / 5),
                              std::max(1, requests / 5),
                              std::max(1, requests / 10),
                              std::max(1, requests / 10),
                              std::max(1, requests / 40),
                              std::max(1, requests / 40),
                              std::max(1, requests / 2)};
  int rounds = 0;
  for (int row = kTestApi + 1; row < kSteps; ++row) {
    rounds += (counts[row] + BlockOf(counts[row]) - 1) / BlockOf(counts[row]);
  }
  // A server's round trips before its own block: after another's work, as for every server.
  auto sampleRoundTrips = [&](Subject& subject) {
    for (int i = 0; i < kTripsPerRound; ++i) {
      steps[kTestApi](subject, static_cast<int>(subject.times[kTestApi].size()));
    }
  };
  auto sampleWrites = [&] {
    for (int i = 0; i < (kWrites + rounds - 1) / rounds; ++i) writeOnce();
  };
  QElapsedTimer timer;
  timer.start();
  for (const Row row : measured) {
    Alternate(subjects, counts[row], steps[static_cast<size_t>(row)], sampleRoundTrips,
              sampleWrites);
  }
  const double seconds = static_cast<double>(timer.elapsed()) / 1000.0;
  for (Subject& subject : subjects) ::close(subject.fd);

  const Figures writeFigures = FiguresOf(writeTimes);
  std::printf("\none blocking client; stays of %d nights; ahead: arriving %d to %d days from "
              "today\n\n",
              kNights, kFirstArrival, kFirstArrival + kArrivalDays - 1);
  PrintHeader(QStringLiteral("growth"), QStringLiteral(" / base"));
  const QString early = QStringLiteral("weeks 2 to 5 of the history");
  const QString titles[kRows] = {
      QStringLiteral("TEST-API round trip, between the blocks"),
      QStringLiteral("LEDIG one facility, all types, 7 nights ahead, asked again"),
      QStringLiteral("LEDIG one facility, all types, 1 to 57 nights but 7 ahead, first time"),
      QStringLiteral("LEDIG one facility, all types, 7 nights in ") + early,
      QStringLiteral("LEDIG facility -1, 7 nights ahead, asked again"),
      QStringLiteral("LEDIG facility -1, 1 to 57 nights but 7 ahead, first time"),
      QStringLiteral("LEDIGMATRISE one facility, all types, 28 days ahead, asked again"),
      QStringLiteral("LEDIGMATRISE one facility, all types, 14 to 27 days ahead, first time"),
      QStringLiteral("LEDIGMATRISE one facility, all types, 365 days from %1 to %2 days ahead,"
                     " asked again")
          .arg(YearStartOf(0))
          .arg(YearStartOf(0) + 29),
      QStringLiteral("LEDIGMATRISE one facility, all types, 305 to 364 days, first time"),
      QStringLiteral("RESERVER one unit, 7 nights ahead"),
      QStringLiteral("AVBESTILL of it"),
      QStringLiteral("RESERVER + AVBESTILL (requests)"),
  };
  for (int row = kTestApi; row < kRows; ++row) {
    PrintTitle(titles[row]);
    const int perStep = row == kCycle ? 2 : 1;
    const Figures baseFigures = FiguresOf(subjects[0].times[static_cast<size_t>(row)], perStep);
    for (const Subject& subject : subjects) {
      const Figures figures = FiguresOf(subject.times[static_cast<size_t>(row)], perStep);
      const Yardsticks yardsticks{Percentile(subject.times[kTestApi], 0.5), writeFigures.median};
      PrintFigures(subject.label, figures, yardsticks,
                   &subject == &subjects[0]
                       ? QString()
                       : QStringLiteral("%1").arg(Ratio(figures.median / baseFigures.median), 7));
    }
    if (row == kTestApi) {
      PrintTitle(QStringLiteral("durable write transaction, between the blocks"));
      PrintFigures(QStringLiteral("scratch SQLite file"), writeFigures,
                   {Percentile(subjects[0].times[kTestApi], 0.5), writeFigures.median});
    }
  }
  std::printf("\n");
  PrintLegend(QStringLiteral("Here on a scratch SQLite file beside the databases: WAL,\n"
                              "  synchronous FULL, BEGIN IMMEDIATE; its line is set beside the "
                              "base's TEST-API"));
  std::printf("growth / base: the median over the base's; 10x ahead answers the days ahead\n"
              "  differently, and each database its own history; histories from");
  for (const Subject& subject : subjects) {
    const QDate first = QDate::currentDate().addDays(subject.historyStart);
    std::printf(" %s%s", qPrintable(first.toString(Qt::ISODate)),
                &subject == &subjects.back() ? "\n" : ",");
  }
  std::printf("\nanswers for the days ahead alike on base and 10x history: %d of %d; "
              "reservations refused as overbooked: %d, %d, %d (base, 10x history, 10x ahead); "
              "failed answers: %d\n",
              compared - different, compared, subjects[0].refused, subjects[1].refused,
              subjects[2].refused, failed.count());
  std::printf("measured in %.1f s; load average %s at the end\n", seconds,
              qPrintable(LoadAverage()));
  return failed.count() == 0 && different == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  // Each line as it is printed, also into a file.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::optional<BenchOptions> options =
      ParseBenchOptions(QCoreApplication::arguments().mid(1), "booking_bench");
  if (!options) return 2;
  return Run(options->requests, options->seed, options->dataDir, options->counts);
}
