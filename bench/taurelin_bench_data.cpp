// taurelin-bench-data: writes the benchmarks' mid-size business into a new SQLite booking
// database.
//
//   taurelin-bench-data FILE [--seed N] [--history-factor N | --lines N]
//                            [--days-ahead N] [--ahead-factor N]
//
// --history-factor N makes N times the base business's 150,000 rental lines, reaching
// further back at the same rate; --lines N asks for N rental lines (LEIE rows) directly.
// --days-ahead N sells N days ahead instead of 365, --ahead-factor N at N times the rate.

#include "booking_data.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace {

using namespace taurelin::bench;

int Usage() {
  std::fprintf(stderr,
               "usage: taurelin-bench-data FILE [--seed N] [--history-factor N | --lines N]\n"
               "                           [--days-ahead N] [--ahead-factor N]\n");
  return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  const QStringList arguments = QCoreApplication::arguments().mid(1);
  BookingDataOptions options;
  QString file;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    const bool valued = argument == u"--seed" || argument == u"--history-factor" ||
                        argument == u"--lines" || argument == u"--days-ahead" ||
                        argument == u"--ahead-factor";
    if (!valued) {
      if (argument.startsWith(u'-') || !file.isEmpty()) return Usage();
      file = argument;
      continue;
    }
    bool ok = false;
    const qint64 value = i + 1 < arguments.size() ? arguments[++i].toLongLong(&ok) : 0;
    if (!ok || value < 0) return Usage();
    if (argument == u"--seed") options.seed = static_cast<quint64>(value);
    if (argument == u"--history-factor") options.rentalLines = value * kBaseRentalLines;
    if (argument == u"--lines") options.rentalLines = value;
    // Past an int it is out of range, which the generator says.
    const int bounded = static_cast<int>(std::min<qint64>(value, INT_MAX));
    if (argument == u"--days-ahead") options.daysAhead = bounded;
    if (argument == u"--ahead-factor") options.aheadFactor = bounded;
  }
  if (file.isEmpty()) return Usage();

  QElapsedTimer timer;
  timer.start();
  BookingDataCounts counts;
  QString error;
  if (!GenerateBookingData(file, options, &counts, &error)) {
    std::fprintf(stderr, "taurelin-bench-data: %s\n", qPrintable(error));
    return 1;
  }
  std::printf("%s: %lld facilities, %lld rental types, %lld rental objects, %lld price lines,\n"
              "  %lld rental lines (%lld cancelled) in %lld bookings of %lld bookers,\n"
              "  %lld allotment lines used on %lld days; history from %s; %.1f s\n",
              qPrintable(file), counts.facilities, counts.rentalTypes, counts.rentalObjects,
              counts.priceLines, counts.rentalLines, counts.cancelledLines, counts.bookings,
              counts.bookers, counts.allotmentLines, counts.allotmentUses,
              qPrintable(counts.firstArrival.toString(Qt::ISODate)),
              static_cast<double>(timer.elapsed()) / 1000.0);
  return 0;
}
