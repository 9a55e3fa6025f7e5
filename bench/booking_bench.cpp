// Availability and reservation through the running server on the mid-size business, and the
// same availability with ten times the booking history.
//
//   booking_bench [--requests N] [--seed N] [--data DIR]
//
// Makes the business twice (the base history and ten times the history; --data DIR keeps
// them there and takes them from there next time), starts a server on each and measures, by
// one blocking client over loopback, alternately in blocks so that both see the same
// machine:
//   - LEDIG for one facility and all its types, 7 nights (N requests, facilities in turn);
//   - LEDIG for facility -1 (all facilities), 7 nights (N / 5 requests);
//   - RESERVER of one unit followed by AVBESTILL of it (N / 2 cycles).
// Every answer is checked, and the two databases must answer every LEDIG alike: their year
// ahead is the same, only their history differs.

#include "booking_data.h"
#include "booking_requests.h"
#include "loopback.h"

#include "store/alias_list.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using namespace taurelin;
using namespace taurelin::bench;

constexpr int kBlock = 50;

// One database and its server, with the times measured on it.
struct Subject {
  QString label;
  QString file;
  BookingDataCounts counts;
  double generated = 0;  // seconds; 0 when taken as it was
  std::unique_ptr<ServerUnderTest> server;
  int fd = -1;
  std::vector<double> facilityTimes, allTimes, reserveTimes, cancelTimes, cycleTimes;
};

bool Prepare(Subject& subject, qint64 rentalLines, quint64 seed) {
  QString error;
  if (!QFile::exists(subject.file)) {
    BookingDataOptions options;
    options.seed = seed;
    options.rentalLines = rentalLines;
    QElapsedTimer timer;
    timer.start();
    if (!GenerateBookingData(subject.file, options, &subject.counts, &error)) {
      std::fprintf(stderr, "%s: %s\n", qPrintable(subject.file), qPrintable(error));
      return false;
    }
    subject.generated = static_cast<double>(timer.elapsed()) / 1000.0;
  }
  subject.server = std::make_unique<ServerUnderTest>(subject.file);
  const int port = subject.server->start();
  subject.fd = port < 0 ? -1 : ConnectLoopback(port);
  return subject.fd >= 0;
}

// Runs `requests` steps on each subject, alternately in blocks.
void Alternate(std::vector<Subject>& subjects, int requests,
               const std::function<void(Subject&, int)>& step) {
  for (int start = 0; start < requests; start += kBlock) {
    for (Subject& subject : subjects) {
      for (int i = start; i < std::min(requests, start + kBlock); ++i) step(subject, i);
    }
  }
}

void PrintRow(const char* what, const std::vector<Subject>& subjects,
              std::vector<double> Subject::*times, int requestsPerStep) {
  std::printf("%-34s %6zu", what, (subjects[0].*times).size());
  for (const Subject& subject : subjects) {
    const std::vector<double>& t = subject.*times;
    double total = 0;
    for (double v : t) total += v;
    std::printf("  %9.2f %8.2f %8.0f", Percentile(t, 0.5) / 1000.0, Percentile(t, 0.99) / 1000.0,
                requestsPerStep * static_cast<double>(t.size()) / (total / 1e6));
  }
  std::printf("  %7.2f\n", Percentile(subjects[1].*times, 0.5) / Percentile(subjects[0].*times, 0.5));
}

int Run(int requests, quint64 seed, const QString& dataDir) {
  std::printf("machine: %u cores; load average %s at the start\n",
              std::thread::hardware_concurrency(), qPrintable(LoadAverage()));
  QTemporaryDir temporary;
  const QDir dir(dataDir.isEmpty() ? temporary.path() : dataDir);
  std::vector<Subject> subjects(2);
  subjects[0].label = QStringLiteral("base history");
  subjects[0].file = dir.filePath(QStringLiteral("business-1.db"));
  subjects[1].label = QStringLiteral("ten times the history");
  subjects[1].file = dir.filePath(QStringLiteral("business-10.db"));
  if (!Prepare(subjects[0], kBaseRentalLines, seed) ||
      !Prepare(subjects[1], 10 * kBaseRentalLines, seed)) {
    return 1;
  }
  for (const Subject& subject : subjects) {
    if (subject.generated > 0) {
      std::printf("%s: %lld rental lines from %s, %lld bookings, %lld allotment lines; "
                  "made in %.1f s\n",
                  qPrintable(subject.label), subject.counts.rentalLines,
                  qPrintable(subject.counts.firstArrival.toString(Qt::ISODate)),
                  subject.counts.bookings, subject.counts.allotmentLines, subject.generated);
    } else {
      std::printf("%s: taken from %s\n", qPrintable(subject.label), qPrintable(subject.file));
    }
  }
  QString error;
  DatabaseAlias base;
  base.database = subjects[0].file;
  const std::vector<Offer> offers = ReadOffers(base, &error);
  if (offers.empty()) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }

  Failure failed;
  int different = 0;
  int compared = 0;
  std::vector<QString> firstAnswers(static_cast<size_t>(requests));
  // One LEDIG, checked, and compared with the first database's answer to the same request.
  auto ledig = [&](Subject& subject, const QByteArray& request, int i,
                   std::vector<double>& times) {
    QByteArray answer;
    const double micros = RoundTrip(subject.fd, request, &answer);
    const QString reply = Reply(answer);
    if (micros < 0 || !IsAvailabilityList(reply)) return failed("LEDIG", answer);
    times.push_back(micros);
    if (&subject == &subjects[0]) {
      firstAnswers[static_cast<size_t>(i)] = reply;
    } else {
      ++compared;
      if (reply != firstAnswers[static_cast<size_t>(i)]) ++different;
    }
  };
  auto oneFacility = [&](Subject& subject, int i) {
    ledig(subject, Availability(i, 1 + i % 10, ArrivalOf(i)), i, subject.facilityTimes);
  };
  auto allFacilities = [&](Subject& subject, int i) {
    ledig(subject, Availability(i, -1, ArrivalOf(i)), i, subject.allTimes);
  };
  int refused = 0;
  auto cycle = [&](Subject& subject, int i) {
    const Cycle done = ReserveAndCancel(
        subject.fd, offers[static_cast<size_t>(i) % offers.size()], i, ArrivalOf(i));
    if (done.outcome == Cycle::kRefused) return void(++refused);
    if (done.outcome == Cycle::kFailed) return failed("RESERVER + AVBESTILL", done.failedAnswer);
    subject.reserveTimes.push_back(done.reserve);
    subject.cancelTimes.push_back(done.cancel);
    subject.cycleTimes.push_back(done.reserve + done.cancel);
  };

  // Warm up each server: its statements prepared and its pages read.
  for (Subject& subject : subjects) {
    Subject scratch;
    scratch.fd = subject.fd;
    for (int i = 0; i < 20; ++i) {
      RoundTrip(subject.fd, Availability(i, 1 + i % 10, ArrivalOf(i)));
      RoundTrip(subject.fd, Availability(i, -1, ArrivalOf(i)));
      cycle(scratch, i);
    }
  }
  const int allRequests = std::max(1, requests / 5);
  const int cycles = std::max(1, requests / 2);
  QElapsedTimer timer;
  timer.start();
  Alternate(subjects, requests, oneFacility);
  Alternate(subjects, allRequests, allFacilities);
  Alternate(subjects, cycles, cycle);
  const double seconds = static_cast<double>(timer.elapsed()) / 1000.0;
  for (Subject& subject : subjects) ::close(subject.fd);

  std::printf("\nstays of %d nights arriving %d to %d days ahead; one blocking client; "
              "times in ms\n", kNights, kFirstArrival, kFirstArrival + kArrivalDays - 1);
  std::printf("%-34s %6s", "", "count");
  for (const Subject& subject : subjects) {
    std::printf("  %-27s", qPrintable(subject.label.left(27)));
  }
  std::printf("  %7s\n", "median");
  std::printf("%-34s %6s", "", "");
  for (size_t s = 0; s < subjects.size(); ++s) std::printf("  %9s %8s %8s", "median", "p99", "per s");
  std::printf("  %7s\n", "ratio");
  PrintRow("LEDIG one facility, all its types", subjects, &Subject::facilityTimes, 1);
  PrintRow("LEDIG facility -1", subjects, &Subject::allTimes, 1);
  PrintRow("RESERVER", subjects, &Subject::reserveTimes, 1);
  PrintRow("AVBESTILL", subjects, &Subject::cancelTimes, 1);
  PrintRow("RESERVER + AVBESTILL (requests)", subjects, &Subject::cycleTimes, 2);
  std::printf("\nLEDIG answers alike on both databases: %d of %d; reservations refused as "
              "overbooked: %d; failed answers: %d\n",
              compared - different, compared, refused, failed.count());
  std::printf("measured in %.1f s; load average %s at the end\n", seconds,
              qPrintable(LoadAverage()));
  return failed.count() == 0 && different == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  // Each row as it is measured, also into a file.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::optional<BenchOptions> options =
      ParseBenchOptions(QCoreApplication::arguments().mid(1), "booking_bench");
  if (!options) return 2;
  return Run(options->requests, options->seed, options->dataDir);
}
