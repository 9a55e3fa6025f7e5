#pragma once

// Occupancy of rental types per day, computed in memory from the rows of the occupancy
// statements (store/occupancy_queries.h). No database API here: the SQLite procedure
// HENT_LEDIG_MATRISE and the data module both read their rows into the structs below and
// ask the same engine.

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>

#include <utility>
#include <vector>

namespace taurelin {

// A (facility, rental type) pair the user may sell: a row of UTYPER_BRUKER.
struct OccupancyLayoutRow {
  int facility = 0;  // ANLEGG
  int type = 0;      // UTYPE
};

// An object line ('O', not cancelled). It occupies its units from arrival up to departure,
// departure excluded; a line that arrives and departs on one day occupies that day.
struct OccupiedLine {
  int facility = 0;  // LEIE.ANLEGG
  int type = 0;      // LEIE.UTYPE
  QDate arrival;     // ANKOMST
  QDate departure;   // AVREISE
  qint64 units = 0;  // ANTALL; a day's sum of them where the database keeps counts
};

// An allotment line that holds units for an agent (REQUEST 'A').
struct AllotmentLine {
  int agent = 0;       // ALLOT.AKODE
  int facility = 0;    // ALLOT.ANLEGGSNR
  QString kind;        // ALLOTTYPE: "K" releases day by day, "P" all at once, else nothing
  int units = 0;       // ANTALL
  int daysBefore = 0;  // DAGER_FOER: how many days ahead of today units are released
  QDate from;          // FRA
  QDate to;            // TIL
  int type = 0;        // UTYPE
};

// A day on which a rental line takes units from an allotment line: those units are no longer
// held, so they are taken off again.
struct UsedAllotment {
  QDate date;          // LEIE_ALLOT.DATO
  int facility = 0;    // LEIE.ANLEGG
  int units = 0;       // LEIE.ANTALL
  int type = 0;        // LEIE.UTYPE
  QString kind;        // ALLOTTYPE of the allotment line
  int daysBefore = 0;  // its DAGER_FOER
  QDate from;          // its FRA
  int agent = 0;       // its ALLOT.AKODE
};

// The period to load: its first and last day, the day that release horizons count from,
// and whose allotments count as the agent's own (-1: every agent's).
struct OccupancyPeriod {
  QDate from;
  QDate to;
  QDate today;
  int agentFilter = -1;
};

enum class OccupancyCounter {
  // Units not for sale: occupied + held by allotments - allotment units already used.
  NotFree,
  // Held - used allotment units of the agents that the agent filter admits.
  AgentAllotment,
};

// The units of a rental type at one facility, or summed over all of them (facility -1).
struct TypeCapacity {
  int facility = -1;
  int type = 0;
  qint64 units = 0;
};

// The longest period the availability matrix answers: a year, leap day included.
inline constexpr qint64 kMaxMatrixDays = 366;
// The failure of a longer one, `days` long.
QString MatrixTooLong(qint64 days);

// One day of a rental type in the availability matrix: the units free, and the units held
// for the agents that the agent filter admits.
struct AvailabilityDay {
  int type = 0;
  QDate day;
  qint64 free = 0;
  qint64 allotment = 0;
};

// Counts, for each (facility, rental type) pair of the layout and each day of the loaded
// period, the units that are not free and the units held for the admitted agents.
//
// Promises: every stay, date and facility or type number is answered without reading or
// writing outside what the engine holds; memory grows with the rows loaded, not with the
// length of the period. Rows of pairs outside the layout are left out. Days outside the
// loaded period count 0. Facility -1 stands for the sum over the facility list.
class OccupancyEngine {
 public:
  // The pairs the engine keeps counters for, and the facilities that facility -1 sums
  // (a facility listed twice counts once). Clears whatever was loaded.
  void setLayout(const QList<OccupancyLayoutRow>& layout, const QList<int>& facilities);

  // Replaces the counters with those of `period`. Lines are clipped to the period; lines
  // with a missing (invalid) date are left out; an invalid or reversed period holds nothing.
  void load(const OccupancyPeriod& period, const QList<OccupiedLine>& occupied,
            const QList<AllotmentLine>& allotments, const QList<UsedAllotment>& used);

  bool hasRow(int facility, int type) const;

  // The counter on one day. It can be negative where more allotment is used than held.
  qint64 dayValue(int facility, int type, QDate day, OccupancyCounter counter) const;

  // The largest counter value over the nights of a stay, departure day excluded, never
  // below 0. Arrival = departure looks at the arrival day alone; a departure before the
  // arrival (or an invalid date) gives 0.
  qint64 maxOverStay(int facility, int type, QDate arrival, QDate departure,
                     OccupancyCounter counter) const;

  // For each of `capacities` that is of `facility` (by type, types that tie in the order
  // given) and each day of the loaded period: its units less those not free, and the units
  // held for the admitted agents (0 when the period admits every agent, -1).
  QList<AvailabilityDay> matrix(const QList<TypeCapacity>& capacities, int facility) const;

 private:
  // A counter as the value it takes from each day on (a step function over Julian days,
  // one step a day, in the order of the days): changes are gathered as deltas while loading,
  // then sorted and turned into running values. A vector rather than a tree: its room is
  // kept from one load to the next, so a question allocates nothing for its counters.
  struct Step {
    qint64 day;
    qint64 value;
  };
  using Steps = std::vector<Step>;
  struct Row {
    Steps counters[2];
  };

  void add(int facility, int type, int agent, qint64 from, qint64 to, qint64 units);
  void addToCounter(Row& row, OccupancyCounter counter, qint64 from, qint64 to, qint64 units);
  QList<const Row*> rowsFor(int facility, int type) const;
  static qint64 valueAt(const Steps& steps, qint64 day);
  // The counter of each day of the loaded period, summed over the rows of the pair.
  std::vector<qint64> daySums(int facility, int type, OccupancyCounter counter) const;

  QHash<std::pair<int, int>, qsizetype> index_;
  std::vector<Row> rows_;
  QList<int> facilities_;
  OccupancyPeriod period_;
};

}  // namespace taurelin
