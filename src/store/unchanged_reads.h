#pragma once

// What the data module read for one question, kept for the same question asked again while
// the database has not changed: a web shop asks for the same stays many times between two
// bookings, and the answer then costs one look at the database's change mark instead of
// every statement of the occupancy and the prices.
//
// Promises: a kept read is given back only while the connection's change mark is the one it
// was read under. The mark is read when a question begins (begin), and it moves with every
// change committed by any connection of any program, this one's included, so a write counts
// from the next question on. Nothing is kept or given back outside a question (a
// reservation counts inside its own write transaction), nor where the backend cannot tell
// changes (an empty mark). At most kLimit reads of each kind are kept: past that, the kind
// starts again empty.

#include "store/occupancy_engine.h"
#include "store/web_price.h"

#include <QByteArray>
#include <QDate>
#include <QList>

#include <map>
#include <optional>
#include <tuple>
#include <utility>

namespace taurelin {

// The rental lines, allotments and used allotment days of one period of one facility (-1:
// of all).
struct OccupancyRows {
  QList<OccupiedLine> occupied;
  QList<AllotmentLine> allotments;
  QList<UsedAllotment> used;
};

class UnchangedReads {
 public:
  static constexpr std::size_t kLimit = 512;

  using OccupancyKey = std::tuple<int, qint64, qint64>;  // facility, first and last day
  using PriceKey = std::tuple<QList<int>, qint64, qint64>;  // types, arrival, until

  // A question begins under the connection's change mark `mark`: what was kept under
  // another mark is forgotten.
  void begin(const QByteArray& mark);
  // The question has its answer: later reads are neither kept nor taken from here.
  void end() { asking_ = false; }

  // The rows of `key`, kept or read by `read` (and kept while a question is under way).
  template <typename Read>
  OccupancyRows occupancy(const OccupancyKey& key, Read read) {
    return Kept(occupancy_, key, read);
  }
  template <typename Read>
  QList<QList<WebPrice>> prices(const PriceKey& key, Read read) {
    return Kept(prices_, key, read);
  }
  // Whether the layout was found current under this question's mark; noted by layoutRead.
  bool layoutCurrent() const { return asking_ && layoutCurrent_; }
  void layoutRead() { layoutCurrent_ = asking_; }

  static OccupancyKey KeyOf(int facility, const QDate& from, const QDate& to) {
    return {facility, from.toJulianDay(), to.toJulianDay()};
  }

 private:
  template <typename Map, typename Read>
  typename Map::mapped_type Kept(Map& kept, const typename Map::key_type& key, Read read) {
    if (!asking_) return read();
    if (const auto found = kept.find(key); found != kept.end()) return found->second;
    typename Map::mapped_type value = read();
    if (kept.size() >= kLimit) kept.clear();
    kept.emplace(key, value);
    return value;
  }

  bool asking_ = false;
  std::optional<QByteArray> mark_;
  bool layoutCurrent_ = false;
  std::map<OccupancyKey, OccupancyRows> occupancy_;
  std::map<PriceKey, QList<QList<WebPrice>>> prices_;
};

}  // namespace taurelin
