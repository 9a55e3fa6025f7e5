#pragma once

// The requests that the booking benchmarks send to a running server on the mid-size business
// (booking_data.h), and the checks of their answers: TEST-API, availability for a 7-night stay
// and the availability matrix of a period, and a reservation of one unit cancelled again at
// once.

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace taurelin {
struct DatabaseAlias;
}

namespace taurelin::bench {

inline constexpr int kNights = 7;
// Stays start after the history's last effects on the calendar (see booking_data.h).
inline constexpr int kFirstArrival = 61;
inline constexpr int kArrivalDays = 240;

// The command line of the booking benchmarks: [--requests N] [--seed N] [--data DIR]
// [--counts no].
struct BenchOptions {
  int requests = 2000;
  quint64 seed = 1;
  QString dataDir;  // empty: a temporary directory
  // False: each database is measured as one upgraded before the occupancy counts came.
  bool counts = true;
};
// The options, or nullopt after printing the usage of `program` on standard error.
std::optional<BenchOptions> ParseBenchOptions(const QStringList& arguments, const char* program);

// The first three fields of /proc/loadavg, or "unknown".
QString LoadAverage();

// The arrival, in days from today, of the i-th stay asked for: spread over the arrival days.
inline int ArrivalOf(int i) { return kFirstArrival + (i * 37) % kArrivalDays; }
// The arrival, in days after the history's first arrival, of the i-th stay asked for near
// the start of the history: in its second to fifth week, when the calendar has filled.
inline int EarlyArrivalOf(int i) { return 7 + (i * 37) % 28; }
// The first day, in days from today, of the i-th year-long matrix asked for.
inline int YearStartOf(int i) { return kFirstArrival + (i * 7) % 30; }

// Questions asked once in a run, as a web shop asks them: the k-th stay of a facility
// (1 + k % 10) arriving ArrivalOf(k) lasts FreshNights(k), which tells it from every other
// for k below 56 * kArrivalDays; the k-th month from ArrivalOf(k) has FreshMonthDays(k) days,
// and the k-th year from YearStartOf(k) FreshYearDays(k), each unlike every other for k below
// 14 * kArrivalDays and 60 * 30. None is one of the questions asked again (7 nights, 28 and
// 365 days), which a server may have kept.
inline int FreshNights(int k) {
  const int nights = 1 + (k / kArrivalDays) % 56;
  return nights < kNights ? nights : nights + 1;
}
inline int FreshMonthDays(int k) { return 27 - (k / kArrivalDays) % 14; }
inline int FreshYearDays(int k) { return 364 - (k / 30) % 60; }
// How many different questions of each kind asked again there are: a warm-up that asks each
// once leaves every later one asked again.
inline constexpr int kDifferentStays = kArrivalDays;
inline constexpr int kDifferentYears = 30;

QByteArray TestApi(int id);
// A TEST-API reply without an error.
bool IsTestApiReply(const QString& reply);

// LEDIG for every type of `facility` (-1: every facility), arriving `arrival` days from
// today (before it when negative).
QByteArray Availability(int id, int facility, int arrival, int nights = kNights);

// LEDIGMATRISE for every type of `facility`, no agent, for `days` days from `from` days
// ahead.
QByteArray Matrix(int id, int facility, int from, int days);

// The reply part of an answer, without its message id.
QString Reply(const QByteArray& answer);

// A LEDIG reply that lists units and no error.
bool IsAvailabilityList(const QString& reply);

// A LEDIGMATRISE reply without an error, of exactly `rows` rows.
bool IsMatrix(const QString& reply, int rows);

// A facility and rental type to reserve, with a board type that the web sells for it.
struct Offer {
  int facility;
  int type;
  int board;
};

// The offers of the business: every pair with ten units or more. Empty, with `error` set,
// when the database cannot be read or offers nothing.
std::vector<Offer> ReadOffers(const DatabaseAlias& alias, QString* error);

// The number of rental types of each facility that the web shop sells; empty, with `error`
// set, when the database cannot be read.
std::map<int, int> ReadTypeCounts(const DatabaseAlias& alias, QString* error);

// The first arrival of the business's history; invalid, with `error` set, when the database
// cannot be read.
QDate ReadFirstArrival(const DatabaseAlias& alias, QString* error);

// Takes the occupancy counts, the allotment lines' index and the kept used allotments, with
// the triggers that keep them, out of the database, as a database upgraded before they came
// is; false, with `error` set, when it cannot.
bool DropOccupancyCounts(const DatabaseAlias& alias, QString* error);

// One RESERVER of one unit of `offer` for the i-th stay, and the AVBESTILL of its booking.
struct Cycle {
  enum Outcome { kDone, kRefused, kFailed } outcome = kFailed;
  double reserve = 0;  // microseconds
  double cancel = 0;
  QByteArray failedAnswer;  // the answer that was not as it should be
};
Cycle ReserveAndCancel(int fd, const Offer& offer, int id, int arrival);

// Counts failed answers and prints the first one to standard error; clients on several
// threads may share one.
class Failure {
 public:
  void operator()(const char* what, const QByteArray& answer);
  int count() const;

 private:
  mutable std::mutex mutex_;
  int count_ = 0;
};

}  // namespace taurelin::bench
