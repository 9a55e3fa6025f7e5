// Availability and reservation on SQLite and on PostgreSQL, through one server and through
// three servers on one database.
//
//   scripts/with-postgres --fsync build/bench/bench/backend_bench [--requests N] [--seed N]
//                                                                 [--data DIR]
//
// Makes the mid-size business (booking_data.h) in an SQLite file (--data DIR keeps it there
// and takes it from there next time), copies it into a fresh database of the PostgreSQL
// server that TAURELIN_TEST_PG names ("host=H port=P dbname=D user=U"), and starts three
// servers on each database. Each workload then runs with one client on one server, and with
// three clients at once, one on each server; every client sends its requests one after the
// other and waits for each answer:
//   - LEDIG for one facility and all its types, 7 nights (N requests a client);
//   - LEDIG for facility -1 (all facilities), 7 nights (N / 5 requests a client);
//   - RESERVER of one unit followed by AVBESTILL of it (N / 2 cycles a client).
// Requests per second count every request of every client over the wall-clock time of the
// run. Every answer is checked, and every LEDIG must be answered alike on both backends and
// by every server.

#include "booking_data.h"
#include "booking_requests.h"
#include "loopback.h"

#include "store/alias_list.h"
#include "store/connection.h"
#include "store/database_copy.h"
#include "store/postgres_test_database.h"

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

// One database with its servers, and one connection to each.
struct Backend {
  QString label;
  DatabaseAlias alias;
  std::vector<std::unique_ptr<ServerUnderTest>> servers;
  std::vector<int> fds;

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

void PrintRun(const char* what, const char* label, int servers, const Run& run) {
  std::printf("%-34s %-10s %7d %7zu %9.2f %8.2f %8.0f\n", what, label, servers, run.times.size(),
              Percentile(run.times, 0.5) / 1000.0, Percentile(run.times, 0.99) / 1000.0,
              run.requestsPerStep * static_cast<double>(run.times.size()) / run.seconds);
}

// Copies the SQLite business into the fresh PostgreSQL database; the seconds it took, or -1.
double CopyToPostgres(const QString& file, const DatabaseAlias& target) {
  DatabaseAlias source;
  source.database = file;
  const QString from = QUuid::createUuid().toString();
  const QString to = QUuid::createUuid().toString();
  double seconds = -1;
  {
    QString error;
    QElapsedTimer timer;
    timer.start();
    QList<CopiedTable> copied;
    if (OpenConnection(source, from, &error, false) && OpenConnection(target, to, &error)) {
      QSqlDatabase fromDatabase = QSqlDatabase::database(from, false);
      QSqlDatabase toDatabase = QSqlDatabase::database(to, false);
      if (CopyDatabase(fromDatabase, toDatabase, &copied, &error)) {
        seconds = static_cast<double>(timer.elapsed()) / 1000.0;
      }
      fromDatabase.close();
      toDatabase.close();
    }
    if (seconds < 0) std::fprintf(stderr, "copying into PostgreSQL: %s\n", qPrintable(error));
  }
  QSqlDatabase::removeDatabase(from);
  QSqlDatabase::removeDatabase(to);
  return seconds;
}

int RunBench(int requests, quint64 seed, const QString& dataDir) {
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
  backends[1].label = QStringLiteral("PostgreSQL");
  backends[1].alias = postgres->alias();
  for (Backend& backend : backends) {
    if (!backend.start()) return 1;
  }
  QString error;
  const std::vector<Offer> offers = ReadOffers(backends[0].alias, &error);
  if (offers.empty()) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }

  Failure failed;
  // The first answer to each LEDIG request, which every later answer to it must repeat.
  std::mutex answersMutex;
  QHash<QByteArray, QString> answers;
  int compared = 0;
  int different = 0;
  auto ledig = [&](int fd, int facility, int k) {
    const QByteArray request = Availability(0, facility, ArrivalOf(k));
    QByteArray answer;
    const double micros = RoundTrip(fd, request, &answer);
    const QString reply = Reply(answer);
    if (micros < 0 || !IsAvailabilityList(reply)) {
      failed("LEDIG", answer);
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
  const Step oneFacility = [&](int fd, int k) { return ledig(fd, 1 + k % 10, k); };
  const Step allFacilities = [&](int fd, int k) { return ledig(fd, -1, k); };
  std::atomic<int> refused = 0;
  const Step cycle = [&](int fd, int k) {
    const Cycle done =
        ReserveAndCancel(fd, offers[static_cast<size_t>(k) % offers.size()], k, ArrivalOf(k));
    if (done.outcome == Cycle::kRefused) ++refused;
    if (done.outcome == Cycle::kFailed) failed("RESERVER + AVBESTILL", done.failedAnswer);
    return done.outcome == Cycle::kDone ? done.reserve + done.cancel : -1.0;
  };

  // Warm up every server: its statements prepared and its pages read.
  for (const Backend& backend : backends) {
    Measure(backend, kServers, 20, 1, oneFacility);
    Measure(backend, kServers, 5, 1, allFacilities);
    Measure(backend, kServers, 10, 2, cycle);
  }

  struct Workload {
    const char* what;
    const Step* step;
    int steps;
    int requestsPerStep;
  };
  const Workload workloads[] = {
      {"LEDIG one facility, all its types", &oneFacility, requests, 1},
      {"LEDIG facility -1", &allFacilities, std::max(1, requests / 5), 1},
      {"RESERVER + AVBESTILL (requests)", &cycle, std::max(1, requests / 2), 2},
  };
  std::printf("\nstays of %d nights arriving %d to %d days ahead; each client waits for each "
              "answer; times in ms\n",
              kNights, kFirstArrival, kFirstArrival + kArrivalDays - 1);
  std::printf("%-34s %-10s %7s %7s %9s %8s %8s\n", "", "database", "servers", "count", "median",
              "p99", "per s");
  QElapsedTimer timer;
  timer.start();
  for (const Workload& workload : workloads) {
    for (int servers : {1, kServers}) {
      for (const Backend& backend : backends) {
        const Run run = Measure(backend, servers, workload.steps, workload.requestsPerStep,
                                *workload.step);
        PrintRun(workload.what, qPrintable(backend.label), servers, run);
      }
    }
  }
  std::printf("\nLEDIG answers alike on both backends and on every server: %d of %d; "
              "reservations refused as overbooked: %d; failed answers: %d\n",
              compared - different, compared, refused.load(), failed.count());
  std::printf("measured in %.1f s; load average %s at the end\n",
              static_cast<double>(timer.elapsed()) / 1000.0, qPrintable(LoadAverage()));
  return failed.count() == 0 && different == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  // Each row as it is measured, also into a file.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::optional<BenchOptions> options =
      ParseBenchOptions(QCoreApplication::arguments().mid(1), "backend_bench");
  if (!options) return 2;
  return RunBench(options->requests, options->seed, options->dataDir);
}
