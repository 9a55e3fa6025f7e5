// Availability and reservation on SQLite and on PostgreSQL, through one server and through
// three servers on one database.
//
//   scripts/with-postgres --fsync build/bench/bench/backend_bench [--requests N] [--seed N]
//                                                                 [--data DIR] [--counts no]
//
// With --counts no, both databases are measured without the occupancy counts, the allotment
// lines' index and the kept used allotments, as databases upgraded before they came.
//
// Makes the mid-size business (booking_data.h) in an SQLite file (--data DIR keeps it there
// and takes it from there next time), copies it into a fresh database of the PostgreSQL
// server that TAURELIN_TEST_PG names ("host=H port=P dbname=D user=U"), and starts three
// servers on each database. Each workload runs with one client on one server, and with
// three clients at once, one on each server; every client sends its requests one after the
// other and waits for each answer:
//   - TEST-API (N requests a client);
//   - LEDIG for one facility and all its types, 7 nights ahead (N), of 240 stays asked again
//     and again, which a server may answer from what it keeps while the database is
//     unchanged; and the first time (N), each stay asked once of each server, as a web shop
//     asks (booking_requests.h);
//   - the same in the second to fifth week of the history (N / 4);
//   - LEDIG for facility -1 (all facilities), 7 nights ahead (N / 5), again and first;
//   - LEDIGMATRISE for one facility and all its types, 28 days (N / 10) and 365 days
//     (N / 40), again and first;
//   - RESERVER of one unit followed by AVBESTILL of it (N / 2 cycles a client), and the
//     RESERVER of those cycles alone.
// Before every run, one client alone samples each backend's yardsticks: TEST-API round trips
// (N / 40, at least 20), and bare durable write transactions (300 in all) on a scratch SQLite
// file beside the database or on a scratch table of the PostgreSQL database.
// Requests per second count every request of every client over the wall-clock time of the
// run. Each figure is printed beside its ratios to its backend's yardsticks and, on
// PostgreSQL, to SQLite's figure. Every answer is checked, and every LEDIG and LEDIGMATRISE
// must be answered alike on both backends and by every server.

#include "bench_table.h"
#include "booking_data.h"
#include "booking_requests.h"
#include "durable_write.h"
#include "loopback.h"

#include "admin/database_copy.h"
#include "store/alias_list.h"
#include "store/connection.h"
#include "store/postgres/postgres_test_database.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QUuid>

#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using namespace taurelin;
using namespace taurelin::bench;

constexpr int kServers = 3;
constexpr int kWrites = 300;

// One database with its servers, one connection to each, and its yardsticks.
struct Backend {
  QString label;
  DatabaseAlias alias;
  std::vector<std::unique_ptr<ServerUnderTest>> servers;
  std::vector<int> fds;
  std::unique_ptr<DurableWrite> write;
  std::vector<double> roundTrips;  // TEST-API, one client alone
  std::vector<double> writeTimes;
  Yardsticks yardsticks;

  bool start() {
    for (int i = 0; i < kServers; ++i) {
      servers.push_back(std::make_unique<ServerUnderTest>(alias));
      const int port = servers.back()->start();
      fds.push_back(port < 0 ? -1 : ConnectLoopback(port));
      if (fds.back() < 0) return false;
    }
    return true;
  }
  ~Backend() {
    for (int fd : fds) {
      if (fd >= 0) ::close(fd);
    }
  }
};

// What one run measured: every request's time, and the wall-clock time of the whole run.
struct Run {
  std::vector<double> times;  // microseconds; a cycle's two requests as one
  double seconds = 0;
  int requestsPerStep = 1;
};

// One step of a client: its k-th request (numbered across all clients) on `fd`; the time it
// took, or a negative number when it is not to be counted.
using Step = std::function<double(int fd, int k)>;

Run Measure(const Backend& backend, int clients, int steps, int requestsPerStep,
            const Step& step) {
  std::vector<std::vector<double>> times(static_cast<size_t>(clients));
  QElapsedTimer timer;
  timer.start();
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      for (int i = 0; i < steps; ++i) {
        const double micros = step(backend.fds[static_cast<size_t>(c)], i * clients + c);
        if (micros >= 0) times[static_cast<size_t>(c)].push_back(micros);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  Run run;
  run.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
  run.requestsPerStep = requestsPerStep;
  for (const std::vector<double>& t : times) run.times.insert(run.times.end(), t.begin(), t.end());
  return run;
}

Figures FiguresOfRun(const Run& run) {
  return FiguresOf(run.times, run.requestsPerStep, run.seconds);
}

// A line of the table; PostgreSQL's with its ratios to SQLite's `reference`.
void PrintLine(const Backend& backend, const QString& what, const Figures& figures,
               const Figures* reference) {
  PrintFigures(backend.label + what, figures, backend.yardsticks,
               reference != nullptr ? Ratios(figures, *reference) : QString());
}

// Copies the SQLite business into the fresh PostgreSQL database; the seconds it took, or -1.
double CopyToPostgres(const QString& file, const DatabaseAlias& target) {
  DatabaseAlias source;
  source.database = file;
  const QString from = QUuid::createUuid().toString();
  const QString to = QUuid::createUuid().toString();
  double seconds = -1;
  QString error;
  QElapsedTimer timer;
  timer.start();
  QList<CopiedTable> copied;
  Connection fromConnection(from);
  Connection toConnection(to);
  if (fromConnection.open(source, &error, false) && toConnection.open(target, &error) &&
      CopyDatabase(fromConnection.database(), toConnection.database(), &copied, &error)) {
    seconds = static_cast<double>(timer.elapsed()) / 1000.0;
  }
  if (seconds < 0) std::fprintf(stderr, "copying into PostgreSQL: %s\n", qPrintable(error));
  return seconds;
}

int RunBench(int requests, quint64 seed, const QString& dataDir, bool withCounts) {
  if (!PostgresTestDatabase::Available()) {
    std::fprintf(stderr, "backend_bench: %s; run it under scripts/with-postgres\n",
                 PostgresTestDatabase::kSkip);
    return 2;
  }
  std::printf("machine: %u cores; load average %s at the start\n",
              std::thread::hardware_concurrency(), qPrintable(LoadAverage()));
  QTemporaryDir temporary;
  const QDir dir(dataDir.isEmpty() ? temporary.path() : dataDir);
  const QString file = dir.filePath(QStringLiteral("business-1.db"));
  if (!QFile::exists(file)) {
    BookingDataOptions options;
    options.seed = seed;
    BookingDataCounts counts;
    QString error;
    QElapsedTimer timer;
    timer.start();
    if (!GenerateBookingData(file, options, &counts, &error)) {
      std::fprintf(stderr, "%s: %s\n", qPrintable(file), qPrintable(error));
      return 1;
    }
    std::printf("SQLite: %lld rental lines, %lld bookings; made in %.1f s\n", counts.rentalLines,
                counts.bookings, static_cast<double>(timer.elapsed()) / 1000.0);
  } else {
    std::printf("SQLite: taken from %s\n", qPrintable(file));
  }

  std::unique_ptr<PostgresTestDatabase> postgres;
  try {
    postgres = std::make_unique<PostgresTestDatabase>(PostgresTestDatabase::kEmpty);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "PostgreSQL: %s\n", e.what());
    return 1;
  }
  const double copySeconds = CopyToPostgres(file, postgres->alias());
  if (copySeconds < 0) return 1;
  std::printf("PostgreSQL: copied from the SQLite file with taurelin-db copy's code in %.1f s\n",
              copySeconds);

  std::vector<Backend> backends(2);
  backends[0].label = QStringLiteral("SQLite");
  backends[0].alias.database = file;
  backends[1].alias = postgres->alias();
  if (!withCounts) {
    // Both as databases upgraded before the occupancy counts came; the SQLite file on a copy.
    backends[0].alias.database = QDir(temporary.path()).filePath(QStringLiteral("business.db"));
    QString error;
    if (!QFile::copy(file, backends[0].alias.database) ||
        !DropOccupancyCounts(backends[0].alias, &error) ||
        !DropOccupancyCounts(backends[1].alias, &error)) {
      std::fprintf(stderr, "without the counts: %s\n", qPrintable(error));
      return 1;
    }
    std::printf("both without the occupancy counts, as upgraded before they came\n");
  }
  DatabaseAlias scratch;
  scratch.database = dir.filePath(QStringLiteral("durable-write-scratch.db"));
  backends[0].write = std::make_unique<DurableWrite>(scratch);
  backends[1].label = QStringLiteral("PostgreSQL");
  backends[1].write = std::make_unique<DurableWrite>(backends[1].alias);
  QString error;
  for (Backend& backend : backends) {
    if (!backend.start()) return 1;
    if (!backend.write->open(&error)) {
      std::fprintf(stderr, "%s durable write transaction: %s\n", qPrintable(backend.label),
                   qPrintable(error));
      return 1;
    }
  }
  const std::vector<Offer> offers = ReadOffers(backends[0].alias, &error);
  const std::map<int, int> types = ReadTypeCounts(backends[0].alias, &error);
  const QDate firstArrival = ReadFirstArrival(backends[0].alias, &error);
  if (offers.empty() || types.empty() || !firstArrival.isValid()) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }
  const int historyStart = static_cast<int>(QDate::currentDate().daysTo(firstArrival));

  Failure failed;
  // The first answer to each LEDIG request, which every later answer to it must repeat.
  std::mutex answersMutex;
  QHash<QByteArray, QString> answers;
  int compared = 0;
  int different = 0;
  // One request, checked by `valid`, and compared with the first answer to it.
  auto checked = [&](int fd, const QByteArray& request, const char* what,
                     const std::function<bool(const QString&)>& valid) {
    QByteArray answer;
    const double micros = RoundTrip(fd, request, &answer);
    const QString reply = Reply(answer);
    if (micros < 0 || !valid(reply)) {
      failed(what, answer);
      return -1.0;
    }
    const std::lock_guard<std::mutex> lock(answersMutex);
    const auto first = answers.constFind(request);
    if (first == answers.cend()) {
      answers.insert(request, reply);
    } else {
      ++compared;
      if (*first != reply) ++different;
    }
    return micros;
  };
  auto ledig = [&](int fd, int facility, int arrival) {
    return checked(fd, Availability(0, facility, arrival), "LEDIG", IsAvailabilityList);
  };
  auto matrix = [&](int fd, int facility, int from, int days) {
    const auto typeCount = types.find(facility);
    const int rows = typeCount == types.end() ? -1 : typeCount->second * days;
    return checked(fd, Matrix(0, facility, from, days), "LEDIGMATRISE",
                   [rows](const QString& reply) { return IsMatrix(reply, rows); });
  };
  const Step testApi = [&](int fd, int k) {
    QByteArray answer;
    const double micros = RoundTrip(fd, TestApi(k), &answer);
    if (micros >= 0 && IsTestApiReply(Reply(answer))) return micros;
    failed("TEST-API", answer);
    return -1.0;
  };
  const Step oneFacility = [&](int fd, int k) { return ledig(fd, 1 + k % 10, ArrivalOf(k)); };
  const Step early = [&](int fd, int k) {
    return ledig(fd, 1 + k % 10, historyStart + EarlyArrivalOf(k));
  };
  const Step allFacilities = [&](int fd, int k) { return ledig(fd, -1, ArrivalOf(k)); };
  const Step month = [&](int fd, int k) { return matrix(fd, 1 + k % 10, ArrivalOf(k), 28); };
  const Step year = [&](int fd, int k) { return matrix(fd, 1 + k % 10, YearStartOf(k), 365); };
  // The first-time questions: the runs of one server and of all take stays of their own (and
  // the warm-up others again), so that no server is asked one twice; both backends are asked
  // the same, and their answers compared.
  std::atomic<int> fresh = 0;
  const Step oneFacilityFirst = [&](int fd, int k) {
    k += fresh;
    return checked(fd, Availability(0, 1 + k % 10, ArrivalOf(k), FreshNights(k)), "LEDIG",
                   IsAvailabilityList);
  };
  const Step allFacilitiesFirst = [&](int fd, int k) {
    k += fresh;
    return checked(fd, Availability(0, -1, ArrivalOf(k), FreshNights(k)), "LEDIG",
                   IsAvailabilityList);
  };
  const Step monthFirst = [&](int fd, int k) {
    k += fresh;
    return matrix(fd, 1 + k % 10, ArrivalOf(k), FreshMonthDays(k));
  };
  const Step yearFirst = [&](int fd, int k) {
    k += fresh;
    return matrix(fd, 1 + k % 10, YearStartOf(k), FreshYearDays(k));
  };
  std::atomic<int> refused = 0;
  // The RESERVER of each cycle, by the connection it went on: each client writes its own.
  std::map<int, std::vector<double>> reservations;
  for (const Backend& backend : backends) {
    for (int fd : backend.fds) reservations[fd];
  }
  const Step cycle = [&](int fd, int k) {
    const Cycle done =
        ReserveAndCancel(fd, offers[static_cast<size_t>(k) % offers.size()], k, ArrivalOf(k));
    if (done.outcome == Cycle::kRefused) ++refused;
    if (done.outcome == Cycle::kFailed) failed("RESERVER + AVBESTILL", done.failedAnswer);
    if (done.outcome != Cycle::kDone) return -1.0;
    reservations.find(fd)->second.push_back(done.reserve);
    return done.reserve + done.cancel;
  };
  // The reservations of the last run of cycles on the first `servers` servers of `backend`;
  // per second as each client sent them, over its own time.
  auto reservationFigures = [&](const Backend& backend, int servers) {
    std::vector<double> times;
    double seconds = 0;
    for (int c = 0; c < servers; ++c) {
      for (double micros : reservations[backend.fds[static_cast<size_t>(c)]]) {
        times.push_back(micros);
        seconds += micros / 1e6 / servers;
      }
    }
    return FiguresOf(times, 1, seconds);
  };

  // Warm up every server (its statements prepared and its pages read) and each scratch table;
  // each question that is asked again is asked once here of every server, by the one client
  // of a run on one server and by the three of a run on all, so that later it is asked again.
  for (Backend& backend : backends) {
    Measure(backend, kServers, 20, 1, testApi);
    Measure(backend, kServers, 20, 1, early);
    for (const int clients : {1, kServers}) {
      Measure(backend, clients, kDifferentStays, 1, oneFacility);
      Measure(backend, clients, kDifferentStays, 1, allFacilities);
      Measure(backend, clients, kDifferentStays, 1, month);
      Measure(backend, clients, kDifferentYears, 1, year);
    }
    fresh = 6000;
    Measure(backend, kServers, 20, 1, oneFacilityFirst);
    Measure(backend, kServers, 5, 1, allFacilitiesFirst);
    Measure(backend, kServers, 5, 1, monthFirst);
    fresh = 1790;
    Measure(backend, kServers, 1, 1, yearFirst);
    Measure(backend, kServers, 10, 2, cycle);
    for (int i = 0; i < 20; ++i) backend.write->once();
  }

  struct Workload {
    QString what;
    const Step* step;
    int steps;
    int requestsPerStep;
  };
  const Workload workloads[] = {
      {QStringLiteral("TEST-API round trip"), &testApi, requests, 1},
      {QStringLiteral("LEDIG one facility, all types, 7 nights ahead, asked again"), &oneFacility,
       requests, 1},
      {QStringLiteral("LEDIG one facility, all types, 1 to 57 nights but 7 ahead, first time"),
       &oneFacilityFirst, requests, 1},
      {QStringLiteral("LEDIG one facility, all types, 7 nights in weeks 2 to 5 of the history"),
       &early, std::max(1, requests / 4), 1},
      {QStringLiteral("LEDIG facility -1, 7 nights ahead, asked again"), &allFacilities,
       std::max(1, requests / 5), 1},
      {QStringLiteral("LEDIG facility -1, 1 to 57 nights but 7 ahead, first time"),
       &allFacilitiesFirst, std::max(1, requests / 5), 1},
      {QStringLiteral("LEDIGMATRISE one facility, all types, 28 days ahead, asked again"), &month,
       std::max(1, requests / 10), 1},
      {QStringLiteral("LEDIGMATRISE one facility, all types, 14 to 27 days ahead, first time"),
       &monthFirst, std::max(1, requests / 10), 1},
      {QStringLiteral("LEDIGMATRISE one facility, all types, 365 days from %1 to %2 days ahead,"
                      " asked again")
           .arg(YearStartOf(0))
           .arg(YearStartOf(0) + 29),
       &year, std::max(1, requests / 40), 1},
      {QStringLiteral("LEDIGMATRISE one facility, all types, 305 to 364 days, first time"),
       &yearFirst, std::max(1, requests / 40), 1},
      {QStringLiteral("RESERVER + AVBESTILL (requests)"), &cycle, std::max(1, requests / 2), 2},
  };
  // The yardsticks, with one client alone, sampled on both backends before every run so
  // that they see the machine as the runs around them do; which goes first alternates, for
  // the one just after a run finds the machine still busy with it.
  const int trips = std::max(20, requests / 40);
  const int runs = 4 * static_cast<int>(std::size(workloads));  // servers 1, 3; two backends
  const int writes = (kWrites + runs - 1) / runs;
  int samples = 0;
  auto sample = [&] {
    for (size_t b = 0; b < backends.size(); ++b) {
      Backend& backend = backends[(b + static_cast<size_t>(samples)) % backends.size()];
      const Run run = Measure(backend, 1, trips, 1, testApi);
      backend.roundTrips.insert(backend.roundTrips.end(), run.times.begin(), run.times.end());
      for (int i = 0; i < writes; ++i) {
        const double micros = backend.write->once();
        if (micros < 0) failed("durable write transaction", backend.write->error().toUtf8());
        if (micros >= 0) backend.writeTimes.push_back(micros);
      }
    }
    ++samples;
  };

  // Each row's figures: each backend with one server, then with all; SQLite's first.
  struct Row {
    QString what;
    std::vector<Figures> figures;
  };
  std::vector<Row> rows;
  QElapsedTimer timer;
  timer.start();
  for (const Workload& workload : workloads) {
    const bool cycles = workload.step == &cycle;
    Row row{workload.what, {}};
    Row reserving{QStringLiteral("RESERVER one unit, 7 nights ahead"), {}};
    for (int servers : {1, kServers}) {
      for (Backend& backend : backends) {
        sample();
        for (auto& [fd, times] : reservations) times.clear();
        // One server's run asks the first half of the stays, all servers' the second.
        fresh = servers == 1 ? 0 : 3000;
        const Run run = Measure(backend, servers, workload.steps, workload.requestsPerStep,
                                *workload.step);
        row.figures.push_back(FiguresOfRun(run));
        if (cycles) reserving.figures.push_back(reservationFigures(backend, servers));
      }
    }
    if (cycles) rows.push_back(reserving);
    rows.push_back(row);
    std::fprintf(stderr, "backend_bench: %s, after %.0f s\n", qPrintable(workload.what),
                 static_cast<double>(timer.elapsed()) / 1000.0);
  }
  for (Backend& backend : backends) {
    backend.yardsticks = {Percentile(backend.roundTrips, 0.5), Percentile(backend.writeTimes, 0.5)};
  }

  std::printf("\nstays of %d nights; ahead: arriving %d to %d days from today; each client "
              "waits for each answer\n\n",
              kNights, kFirstArrival, kFirstArrival + kArrivalDays - 1);
  PrintHeader(QStringLiteral("/ SQLite"), QString::fromLatin1(kRatioColumns));
  PrintTitle(QStringLiteral("yardsticks: one client alone, before every run"));
  const Figures sqliteTrip = FiguresOf(backends[0].roundTrips);
  PrintLine(backends[0], QStringLiteral(", TEST-API"), sqliteTrip, nullptr);
  PrintLine(backends[1], QStringLiteral(", TEST-API"), FiguresOf(backends[1].roundTrips),
            &sqliteTrip);
  const Figures sqliteWrite = FiguresOf(backends[0].writeTimes);
  PrintLine(backends[0], QStringLiteral(", write"), sqliteWrite, nullptr);
  PrintLine(backends[1], QStringLiteral(", write"), FiguresOf(backends[1].writeTimes),
            &sqliteWrite);
  for (const Row& row : rows) {
    PrintTitle(row.what);
    for (size_t i = 0; i < row.figures.size(); ++i) {
      PrintLine(backends[i % 2],
                i < 2 ? QStringLiteral(", 1 server") : QStringLiteral(", %1 servers").arg(kServers),
                row.figures[i], i % 2 == 0 ? nullptr : &row.figures[i - 1]);
    }
  }
  std::printf("\n");
  PrintLegend(QStringLiteral("SQLite: a scratch file beside its database (%1,\n"
                             "  BEGIN IMMEDIATE); PostgreSQL: a scratch table in its database\n"
                             "  (%2)")
                  .arg(backends[0].write->durability(), backends[1].write->durability()));
  std::printf("/ SQLite: PostgreSQL's figure over SQLite's, for the same row and servers\n"
              "RESERVER: those of the cycles below it; per s over their own times\n"
              "The yardsticks are the same for the rows of 1 and of %d servers.\n",
              kServers);
  std::printf("\nLEDIG and LEDIGMATRISE answers alike on both backends and every server: %d of "
              "%d; reservations refused as overbooked: %d; failed answers: %d\n",
              compared - different, compared, refused.load(), failed.count());
  std::printf("measured in %.1f s; load average %s at the end\n",
              static_cast<double>(timer.elapsed()) / 1000.0, qPrintable(LoadAverage()));
  return failed.count() == 0 && different == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  // The table as it is printed, also into a file.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::optional<BenchOptions> options =
      ParseBenchOptions(QCoreApplication::arguments().mid(1), "backend_bench");
  if (!options) return 2;
  return RunBench(options->requests, options->seed, options->dataDir, options->counts);
}
