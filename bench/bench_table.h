#pragma once

// The table that the booking benchmarks print: each row's figures (median and 99th
// percentile in ms, requests per second) beside their ratios to the run's two yardsticks,
// the TEST-API round trip to the same server and a bare durable write transaction on the
// same disk or database server (durable_write.h), so that rows read alike on any machine.

#include <QString>

#include <vector>

namespace taurelin::bench {

// What one row measured.
struct Figures {
  size_t count = 0;      // steps timed
  double median = 0;     // microseconds a step
  double p99 = 0;
  double perSecond = 0;  // requests
};

// The figures of steps of `requestsPerStep` requests that took `micros` each, over `seconds`
// of wall-clock time; without it, one blocking client's: the steps' own times.
Figures FiguresOf(const std::vector<double>& micros, int requestsPerStep = 1,
                  double seconds = 0);

// The medians that every figure is set beside, in microseconds.
struct Yardsticks {
  double roundTrip = 0;  // TEST-API
  double write = 0;      // the durable write transaction
};

// A ratio in at most six characters, three digits where they fit.
QString Ratio(double value);
// Median, p99 and per second of `figures` over those of `reference`, under kRatioColumns.
QString Ratios(const Figures& figures, const Figures& reference);
inline constexpr char kRatioColumns[] = " median    p99  per s";

// The two header lines, with the title and the column names of the last group of columns.
void PrintHeader(const QString& lastTitle, const QString& lastColumns);
// A row's title on a line of its own.
void PrintTitle(const QString& what);
// A line of figures, their ratios to the yardsticks, and `last` after them.
void PrintFigures(const QString& label, const Figures& figures, const Yardsticks& yardsticks,
                  const QString& last = {});
// What the columns mean; `writes` says where the write transaction ran.
void PrintLegend(const QString& writes);

}  // namespace taurelin::bench
