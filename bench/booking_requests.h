#pragma once

// The requests that the booking benchmarks send to a running server on the mid-size business
// (booking_data.h), and the checks of their answers: availability for a 7-night stay, and a
// reservation of one unit cancelled again at once.

#include <QByteArray>
#include <QString>
#include <QStringList>

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

// The command line of the booking benchmarks: [--requests N] [--seed N] [--data DIR].
struct BenchOptions {
  int requests = 2000;
  quint64 seed = 1;
  QString dataDir;  // empty: a temporary directory
};
// The options, or nullopt after printing the usage of `program` on standard error.
std::optional<BenchOptions> ParseBenchOptions(const QStringList& arguments, const char* program);

// The first three fields of /proc/loadavg, or "unknown".
QString LoadAverage();

// The arrival, in days from today, of the i-th stay asked for: spread over the arrival days.
inline int ArrivalOf(int i) { return kFirstArrival + (i * 37) % kArrivalDays; }

// LEDIG for every type of `facility` (-1: every facility), arriving `arrival` days ahead.
QByteArray Availability(int id, int facility, int arrival);

// The reply part of an answer, without its message id.
QString Reply(const QByteArray& answer);

// A LEDIG reply that lists units and no error.
bool IsAvailabilityList(const QString& reply);

// A facility and rental type to reserve, with a board type that the web sells for it.
struct Offer {
  int facility;
  int type;
  int board;
};

// The offers of the business: every pair with ten units or more. Empty, with `error` set,
// when the database cannot be read or offers nothing.
std::vector<Offer> ReadOffers(const DatabaseAlias& alias, QString* error);

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
