#pragma once

// The answers the store gave to availability questions, kept for the same question asked
// again while the database has not changed, and whether a facility number names a facility:
// a web shop asks for the same stays many times
// between two bookings, and the answer then costs one look at the database's change mark
// instead of every statement of the occupancy and the prices.
//
// Promises: a kept answer is given back only while the connection's change mark is the one
// it was computed under. The mark is read when a question begins (begin), and it moves with
// every change committed by any connection of any program, this one's included, so a write
// counts from the next question on. An answer is kept with the day it was computed on, as
// allotments are released by the day. Nothing is kept or given back outside a question (a
// reservation counts inside its own write transaction), nor where the backend cannot tell
// changes (an empty mark), nor for a question that failed. At most kLimit answers of each
// kind are kept: past that, the kind starts again empty.

#include "store/availability.h"
#include "store/occupancy_engine.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <map>
#include <optional>
#include <tuple>

namespace taurelin {

class UnchangedAnswers {
 public:
  static constexpr std::size_t kLimit = 512;

  // Facility, types, arrival, departure; the day it is asked on.
  using AvailabilityKey = std::tuple<int, QList<int>, qint64, qint64, qint64>;
  // Facility, agent, first and last day; the day it is asked on.
  using MatrixKey = std::tuple<int, int, qint64, qint64, qint64>;

  // A question begins under the connection's change mark `mark`: what was kept under
  // another mark is forgotten.
  void begin(const QByteArray& mark);
  // A question begins inside one already under way, under its mark.
  void nest() { ++depth_; }
  // A question has its answer: once the last has, and no request holds them, later reads
  // are neither kept nor taken from here.
  void end();
  // A request holds its questions together: the mark read by the first stands for all that
  // follow until release, so the request looks at the mark once.
  void hold() { ++holds_; }
  void release();
  // Whether questions are under a mark now; whether a request holds them.
  bool asking() const { return asking_; }
  bool held() const { return holds_ > 0; }

  // The kept answer of `key`, or the one `compute` gives (kept while a question is under
  // way).
  template <typename Compute>
  QList<TypeAvailability> availability(const AvailabilityKey& key, Compute compute) {
    return Kept(availability_, key, compute);
  }
  template <typename Compute>
  QList<AvailabilityDay> matrix(const MatrixKey& key, Compute compute) {
    return Kept(matrix_, key, compute);
  }
  // Whether a facility number written so names a facility.
  template <typename Compute>
  bool facility(const QString& text, Compute compute) {
    return Kept(facilities_, text, compute);
  }
  // Whether the occupancy layout was found current under this question's mark, as
  // layoutRead notes it.
  bool layoutCurrent() const { return asking_ && layoutCurrent_; }
  void layoutRead() { layoutCurrent_ = asking_; }

  static qint64 Day(const QDate& date) { return date.toJulianDay(); }

 private:
  template <typename Map, typename Compute>
  typename Map::mapped_type Kept(Map& kept, const typename Map::key_type& key, Compute compute) {
    if (!asking_) return compute();
    if (const auto found = kept.find(key); found != kept.end()) return found->second;
    typename Map::mapped_type value = compute();
    if (kept.size() >= kLimit) kept.clear();
    kept.emplace(key, value);
    return value;
  }

  bool asking_ = false;
  int depth_ = 0;  // questions begun and not ended
  int holds_ = 0;  // requests that hold their questions together
  std::optional<QByteArray> mark_;
  bool layoutCurrent_ = false;
  std::map<AvailabilityKey, QList<TypeAvailability>> availability_;
  std::map<MatrixKey, QList<AvailabilityDay>> matrix_;
  std::map<QString, bool> facilities_;
};

}  // namespace taurelin
