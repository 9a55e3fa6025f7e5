// What a backup costs the web shop while it runs: reservations (RESERVER of one unit and
// AVBESTILL of it) and availability (LEDIG, one facility, 7 nights) of the mid-size business
// through a running server, in blocks that alternate between a quiet database and one that
// taurelin-db backs up over and over meanwhile; and how long one backup of it takes.
//
//   backup_bench [--requests N] [--seed N] [--data DIR]
//
// N cycles and N LEDIG requests in each of the two states. Every answer is checked, and
// every backup must succeed.

#include "booking_data.h"
#include "booking_requests.h"
#include "loopback.h"

#include "store/alias_list.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <array>
#include <cstdio>
#include <vector>

namespace {

using namespace taurelin;
using namespace taurelin::bench;

constexpr int kBlock = 25;

// taurelin-db backing up the database again and again, as long as it is kept going.
class BackupLoop {
 public:
  BackupLoop(const QString& database, const QString& folder)
      : aliases_(folder + QStringLiteral("/bench-aliases.ini")),
        target_(folder + QStringLiteral("/bench-backup.db")) {
    QFile file(aliases_);
    if (file.open(QIODevice::WriteOnly)) {
      file.write(QStringLiteral("[bench]\ndriver=QSQLITE\ndatabase=%1\n").arg(database).toUtf8());
    }
  }
  ~BackupLoop() { process_.waitForFinished(-1); }
  BackupLoop(const BackupLoop&) = delete;
  BackupLoop& operator=(const BackupLoop&) = delete;

  // Starts the next backup when the last one is done; false once one has failed.
  bool keepGoing() {
    if (running_ && process_.state() != QProcess::NotRunning && !process_.waitForFinished(0)) {
      return true;
    }
    if (running_ && !counted()) return false;
    timer_.start();
    process_.start(QStringLiteral(TAURELIN_DB_PROGRAM),
                   {QStringLiteral("--aliases"), aliases_, QStringLiteral("backup"),
                    QStringLiteral("bench"), target_});
    running_ = true;
    return true;
  }
  // Waits for the backup under way; false when it failed.
  bool finish() {
    if (!running_) return true;
    process_.waitForFinished(-1);
    return counted();
  }

  const std::vector<double>& durations() const { return durations_; }  // milliseconds
  qint64 size() const { return QFileInfo(target_).size(); }

 private:
  // Counts the backup that has just ended; false when it failed.
  bool counted() {
    running_ = false;
    if (process_.exitStatus() != QProcess::NormalExit || process_.exitCode() != 0) {
      std::fprintf(stderr, "backup failed: %s\n", process_.readAllStandardError().constData());
      return false;
    }
    durations_.push_back(static_cast<double>(timer_.nsecsElapsed()) / 1e6);
    return true;
  }

  QString aliases_;
  QString target_;
  QProcess process_;
  QElapsedTimer timer_;
  bool running_ = false;
  std::vector<double> durations_;
};

enum Row { kReserve, kCancel, kLedig, kRows };
constexpr std::array<const char*, kRows> kRowNames = {"RESERVER", "AVBESTILL",
                                                      "LEDIG, one facility"};

int Run(const BenchOptions& options) {
  QTemporaryDir temporary;
  const QDir dir(options.dataDir.isEmpty() ? temporary.path() : options.dataDir);
  const QString file = dir.filePath(QStringLiteral("backup-business.db"));
  QString error;
  if (!QFile::exists(file)) {
    BookingDataOptions data;
    data.seed = options.seed;
    BookingDataCounts counts;
    std::fprintf(stderr, "making the mid-size business...\n");
    if (!GenerateBookingData(file, data, &counts, &error)) {
      std::fprintf(stderr, "%s: %s\n", qPrintable(file), qPrintable(error));
      return 1;
    }
  }
  DatabaseAlias alias;
  alias.database = file;
  const std::vector<Offer> offers = ReadOffers(alias, &error);
  if (offers.empty()) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(file), qPrintable(error));
    return 1;
  }
  ServerUnderTest server(file);
  const int port = server.start();
  const int fd = port < 0 ? -1 : ConnectLoopback(port);
  if (fd < 0) return 1;

  BackupLoop backups(file, temporary.path());
  Failure failure;
  // [state][row]: state 0 quiet, 1 while backups run.
  std::array<std::array<std::vector<double>, kRows>, 2> times;
  for (int start = 0; start < options.requests; start += kBlock) {
    for (int state = 0; state < 2; ++state) {
      for (int i = start; i < std::min(options.requests, start + kBlock); ++i) {
        if (state == 1 && !backups.keepGoing()) return 1;
        const Offer& offer = offers[static_cast<size_t>(i) % offers.size()];
        const Cycle cycle = ReserveAndCancel(fd, offer, i, ArrivalOf(i));
        if (cycle.outcome == Cycle::kFailed) failure("RESERVER/AVBESTILL", cycle.failedAnswer);
        if (cycle.outcome == Cycle::kDone) {
          times[state][kReserve].push_back(cycle.reserve);
          times[state][kCancel].push_back(cycle.cancel);
        }
        QByteArray answer;
        const double micros =
            RoundTrip(fd, Availability(i, offer.facility, ArrivalOf(i)), &answer);
        if (micros < 0 || !IsAvailabilityList(bench::Reply(answer))) failure("LEDIG", answer);
        times[state][kLedig].push_back(micros);
      }
      if (state == 1 && !backups.finish()) return 1;
    }
  }
  if (failure.count() > 0) return 1;

  std::printf("backup_bench: %d requests of each kind in each state, load average %s\n",
              options.requests, qPrintable(LoadAverage()));
  std::printf("%-22s %12s %12s %12s %12s %8s %8s\n", "request", "quiet p50", "backup p50",
              "quiet p99", "backup p99", "p50 x", "p99 x");
  for (int row = 0; row < kRows; ++row) {
    const double quiet50 = Percentile(times[0][row], 0.5);
    const double busy50 = Percentile(times[1][row], 0.5);
    const double quiet99 = Percentile(times[0][row], 0.99);
    const double busy99 = Percentile(times[1][row], 0.99);
    std::printf("%-22s %9.3f ms %9.3f ms %9.3f ms %9.3f ms %8.2f %8.2f\n", kRowNames[row],
                quiet50 / 1000, busy50 / 1000, quiet99 / 1000, busy99 / 1000, busy50 / quiet50,
                busy99 / quiet99);
  }
  std::printf("backups: %zu, each %.0f ms (median, taurelin-db from start to exit), %lld bytes\n",
              backups.durations().size(), Percentile(backups.durations(), 0.5),
              static_cast<long long>(backups.size()));
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::optional<BenchOptions> options =
      ParseBenchOptions(QCoreApplication::arguments().mid(1), "backup_bench");
  if (!options) return 2;
  return Run(*options);
}
