#include "bench_table.h"

#include "loopback.h"

#include <cmath>
#include <cstdio>

namespace taurelin::bench {
namespace {

// The figures take 57 columns, each group of ratios 23.
constexpr char kFigures[] = "%-24s %6zu %8.3f %8.3f %7.0f";
constexpr char kFigureTitles[] = "%-24s %6s %8s %8s %7s";
constexpr char kGroupTitles[] = " | %-20s";

QString Group(double median, double p99, double perSecond) {
  return QStringLiteral("%1 %2 %3")
      .arg(Ratio(median), 7)
      .arg(Ratio(p99), 6)
      .arg(Ratio(perSecond), 6);
}

}  // namespace

Figures FiguresOf(const std::vector<double>& micros, int requestsPerStep, double seconds) {
  Figures figures;
  figures.count = micros.size();
  figures.median = Percentile(micros, 0.5);
  figures.p99 = Percentile(micros, 0.99);
  if (seconds <= 0) {
    for (double v : micros) seconds += v / 1e6;
  }
  if (seconds > 0) {
    figures.perSecond = requestsPerStep * static_cast<double>(micros.size()) / seconds;
  }
  return figures;
}

QString Ratio(double value) {
  if (!std::isfinite(value) || value <= 0) return QStringLiteral("-");
  if (value >= 99.95) return QString::number(std::llround(value));
  if (value >= 9.995) return QString::number(value, 'f', 1);
  if (value >= 0.9995) return QString::number(value, 'f', 2);
  if (value >= 0.001) return QString::number(value, 'f', value >= 0.01 ? 3 : 4);
  // 7.1e-4, not 7.1e-04.
  return QString::number(value, 'e', 1).replace(QStringLiteral("e-0"), QStringLiteral("e-"));
}

QString Ratios(const Figures& figures, const Figures& reference) {
  return Group(figures.median / reference.median, figures.p99 / reference.p99,
               figures.perSecond / reference.perSecond);
}

void PrintHeader(const QString& lastTitle, const QString& lastColumns) {
  std::printf("%57s", "");
  std::printf(kGroupTitles, "/ TEST-API");
  std::printf(kGroupTitles, "/ write transaction");
  std::printf(" | %s\n", qPrintable(lastTitle));
  std::printf(kFigureTitles, "", "count", "median", "p99", "per s");
  std::printf(" |%s |%s |%s\n", kRatioColumns, kRatioColumns, qPrintable(lastColumns));
}

void PrintTitle(const QString& what) { std::printf("%s\n", qPrintable(what)); }

void PrintFigures(const QString& label, const Figures& figures, const Yardsticks& yardsticks,
                  const QString& last) {
  std::printf(kFigures, qPrintable(QStringLiteral("  ") + label), figures.count,
              figures.median / 1000.0, figures.p99 / 1000.0, figures.perSecond);
  // A yardstick's rate is one over its median, as one blocking client sees it.
  for (double yardstick : {yardsticks.roundTrip, yardsticks.write}) {
    std::printf(" |%s", qPrintable(Group(figures.median / yardstick, figures.p99 / yardstick,
                                       figures.perSecond * yardstick / 1e6)));
  }
  std::printf("%s%s\n", last.isEmpty() ? "" : " |", qPrintable(last));
}

void PrintLegend(const QString& writes) {
  std::printf(
      "median, p99: ms a request (a cycle: its two requests); per s: requests a second\n"
      "/ TEST-API: the figure over the median TEST-API round trip to the same server (per s:\n"
      "  over its rate, one over that median); what counts for LEDIG and LEDIGMATRISE\n"
      "/ write transaction: the same over the median bare durable write transaction (BEGIN,\n"
      "  two small inserts, COMMIT) on the same disk or database server; what counts for\n"
      "  RESERVER. %s\n",
      qPrintable(writes));
}

}  // namespace taurelin::bench
