#include "store/occupancy_engine.h"

#include <algorithm>

namespace taurelin {
namespace {

int CounterIndex(OccupancyCounter counter) {
  return counter == OccupancyCounter::NotFree ? 0 : 1;
}

template <typename Step>
bool EarlierDay(const Step& a, const Step& b) {
  return a.day < b.day;
}

// The first step after `day`.
template <typename Steps>
auto StepAfter(const Steps& steps, qint64 day) {
  return std::upper_bound(steps.begin(), steps.end(), day,
                          [](qint64 d, const auto& step) { return d < step.day; });
}

}  // namespace

QString MatrixTooLong(qint64 days) {
  return QStringLiteral("the period from FRA to TIL has %1 days; at most %2 are answered")
      .arg(days)
      .arg(kMaxMatrixDays);
}

void OccupancyEngine::setLayout(const QList<OccupancyLayoutRow>& layout,
                                const QList<int>& facilities) {
  index_.clear();
  rows_.clear();
  for (const OccupancyLayoutRow& row : layout) {
    const auto key = std::make_pair(row.facility, row.type);
    if (index_.contains(key)) continue;  // one pair, one row: a second would never be read
    index_.insert(key, static_cast<qsizetype>(rows_.size()));
    rows_.emplace_back();
  }
  facilities_ = facilities;
  std::sort(facilities_.begin(), facilities_.end());
  facilities_.erase(std::unique(facilities_.begin(), facilities_.end()), facilities_.end());
  period_ = OccupancyPeriod();
}

void OccupancyEngine::load(const OccupancyPeriod& period, const QList<OccupiedLine>& occupied,
                           const QList<AllotmentLine>& allotments,
                           const QList<UsedAllotment>& used) {
  for (Row& row : rows_) {
    for (Steps& steps : row.counters) steps.clear();
  }
  period_ = period;
  if (!period.from.isValid() || !period.to.isValid()) return;

  for (const OccupiedLine& line : occupied) {
    if (!line.arrival.isValid() || !line.departure.isValid()) continue;
    add(line.facility, line.type, -1, line.arrival.toJulianDay(), line.departure.toJulianDay(),
        line.units);
  }

  // Units of an allotment are released once they come within the horizon: "K" lines day by
  // day (held only after the horizon), "P" lines all at once (held only while the whole line
  // lies after it).
  if (period.today.isValid()) {
    const qint64 today = period.today.toJulianDay();
    for (const AllotmentLine& line : allotments) {
      if (!line.from.isValid() || !line.to.isValid()) continue;
      const qint64 horizon = today + line.daysBefore;
      qint64 from = line.from.toJulianDay();
      const qint64 to = line.to.toJulianDay();
      if (line.kind == u"K") {
        if (horizon >= from) from = horizon + 1;
        if (to >= from) add(line.facility, line.type, line.agent, from, to + 1, line.units);
      } else if (line.kind == u"P") {
        if (horizon < from) add(line.facility, line.type, line.agent, from, to, line.units);
      }
    }
    // Used units come off only where the allotment still holds them. A used line whose
    // allotment has no start date has its start before any horizon.
    for (const UsedAllotment& use : used) {
      if (!use.date.isValid()) continue;
      const qint64 horizon = today + use.daysBefore;
      const qint64 day = use.date.toJulianDay();
      bool holds = false;
      if (use.kind == u"K") {
        qint64 from = use.from.isValid() ? use.from.toJulianDay() : horizon;
        if (horizon >= from) from = horizon + 1;
        holds = day >= from;
      } else if (use.kind == u"P") {
        holds = use.from.isValid() && horizon < use.from.toJulianDay();
      }
      if (holds) add(use.facility, use.type, use.agent, day, day, -use.units);
    }
  }

  // From deltas to the running value of each day on, one step a day. The counted days come
  // in order already; lines and allotments may not.
  for (Row& row : rows_) {
    for (Steps& steps : row.counters) {
      if (!std::is_sorted(steps.begin(), steps.end(), EarlierDay<Step>)) {
        std::sort(steps.begin(), steps.end(), EarlierDay<Step>);
      }
      size_t kept = 0;
      qint64 value = 0;
      for (const Step& change : steps) {
        value += change.value;
        if (kept > 0 && steps[kept - 1].day == change.day) {
          steps[kept - 1].value = value;
        } else {
          steps[kept++] = {change.day, value};
        }
      }
      steps.resize(kept);
    }
  }
}

void OccupancyEngine::add(int facility, int type, int agent, qint64 from, qint64 to,
                          qint64 units) {
  const auto found = index_.constFind(std::make_pair(facility, type));
  if (found == index_.constEnd()) return;
  Row& row = rows_[static_cast<size_t>(*found)];
  addToCounter(row, OccupancyCounter::NotFree, from, to, units);
  if (agent >= 0 && (period_.agentFilter == -1 || period_.agentFilter == agent)) {
    addToCounter(row, OccupancyCounter::AgentAllotment, from, to, units);
  }
}

void OccupancyEngine::addToCounter(Row& row, OccupancyCounter counter, qint64 from, qint64 to,
                                   qint64 units) {
  if (to < from || units == 0) return;
  if (to == from) to = from + 1;  // a same-day line counts its day
  from = std::max(from, period_.from.toJulianDay());
  to = std::min(to, period_.to.toJulianDay() + 1);
  if (to <= from) return;
  Steps& steps = row.counters[CounterIndex(counter)];
  steps.push_back({from, units});
  steps.push_back({to, -units});
}

bool OccupancyEngine::hasRow(int facility, int type) const {
  return index_.contains(std::make_pair(facility, type));
}

QList<const OccupancyEngine::Row*> OccupancyEngine::rowsFor(int facility, int type) const {
  QList<const Row*> rows;
  const auto addRow = [&](int f) {
    const auto found = index_.constFind(std::make_pair(f, type));
    if (found != index_.constEnd()) rows.append(&rows_[static_cast<size_t>(*found)]);
  };
  if (facility == -1) {
    for (int f : facilities_) addRow(f);
  } else {
    addRow(facility);
  }
  return rows;
}

qint64 OccupancyEngine::valueAt(const Steps& steps, qint64 day) {
  const auto it = StepAfter(steps, day);
  if (it == steps.begin()) return 0;
  return std::prev(it)->value;
}

qint64 OccupancyEngine::dayValue(int facility, int type, QDate day,
                                 OccupancyCounter counter) const {
  if (!day.isValid()) return 0;
  qint64 sum = 0;
  for (const Row* row : rowsFor(facility, type)) {
    sum += valueAt(row->counters[CounterIndex(counter)], day.toJulianDay());
  }
  return sum;
}

qint64 OccupancyEngine::maxOverStay(int facility, int type, QDate arrival, QDate departure,
                                    OccupancyCounter counter) const {
  if (!arrival.isValid() || !departure.isValid()) return 0;
  const qint64 first = arrival.toJulianDay();
  qint64 end = departure.toJulianDay();
  if (end < first) return 0;
  if (end == first) end = first + 1;

  // The sum changes only on days where one of its rows changes: look at the first night
  // and at those days, whatever the length of the stay. The rows' steps are walked together
  // in the order of the days, each row's value kept, so each step is looked at once.
  struct Walk {
    Steps::const_iterator next;
    Steps::const_iterator end;
    qint64 value = 0;
  };
  const QList<const Row*> rows = rowsFor(facility, type);
  const int c = CounterIndex(counter);
  std::vector<Walk> walks;
  walks.reserve(static_cast<size_t>(rows.size()));
  qint64 sum = 0;
  for (const Row* row : rows) {
    const Steps& steps = row->counters[c];
    Walk walk{StepAfter(steps, first), steps.end()};
    if (walk.next != steps.begin()) walk.value = std::prev(walk.next)->value;
    sum += walk.value;
    walks.push_back(walk);
  }
  qint64 highest = std::max<qint64>(0, sum);
  for (;;) {
    qint64 day = end;
    for (const Walk& walk : walks) {
      if (walk.next != walk.end) day = std::min(day, walk.next->day);
    }
    if (day >= end) return highest;
    for (Walk& walk : walks) {
      if (walk.next == walk.end || walk.next->day != day) continue;
      sum += walk.next->value - walk.value;
      walk.value = walk.next->value;
      ++walk.next;
    }
    highest = std::max(highest, sum);
  }
}

std::vector<qint64> OccupancyEngine::daySums(int facility, int type,
                                             OccupancyCounter counter) const {
  const qint64 first = period_.from.toJulianDay();
  std::vector<qint64> sums(static_cast<size_t>(period_.to.toJulianDay() - first + 1), 0);
  // One pass over each row's steps alongside the days, rather than a search a day.
  for (const Row* row : rowsFor(facility, type)) {
    const Steps& steps = row->counters[CounterIndex(counter)];
    auto next = steps.begin();
    qint64 value = 0;
    for (size_t d = 0; d < sums.size(); ++d) {
      const qint64 day = first + static_cast<qint64>(d);
      for (; next != steps.end() && next->day <= day; ++next) value = next->value;
      sums[d] += value;
    }
  }
  return sums;
}

QList<AvailabilityDay> OccupancyEngine::matrix(const QList<TypeCapacity>& capacities,
                                               int facility) const {
  QList<AvailabilityDay> days;
  if (!period_.from.isValid() || !period_.to.isValid() || period_.to < period_.from) return days;
  QList<TypeCapacity> sold;
  for (const TypeCapacity& capacity : capacities) {
    if (capacity.facility == facility) sold.append(capacity);
  }
  std::stable_sort(sold.begin(), sold.end(),
                   [](const TypeCapacity& a, const TypeCapacity& b) { return a.type < b.type; });
  const qint64 first = period_.from.toJulianDay();
  for (const TypeCapacity& capacity : sold) {
    const std::vector<qint64> notFree = daySums(facility, capacity.type, OccupancyCounter::NotFree);
    const std::vector<qint64> held =
        period_.agentFilter == -1
            ? std::vector<qint64>(notFree.size(), 0)
            : daySums(facility, capacity.type, OccupancyCounter::AgentAllotment);
    for (size_t d = 0; d < notFree.size(); ++d) {
      days.append({capacity.type, QDate::fromJulianDay(first + static_cast<qint64>(d)),
                   capacity.units - notFree[d], held[d]});
    }
  }
  return days;
}

}  // namespace taurelin
