#pragma once

// The occupancy layout of one connection, kept between requests: which (facility, rental
// type) pairs the server may sell and which facilities "all" (-1) sums over, set in an
// occupancy engine, and the units of each type, per facility and summed over all. The data
// module and the SQLite procedure HENT_LEDIG_MATRISE both keep theirs in one of these.
//
// Promises: what it gives is what the layout statements (occupancy_queries.h) give on the
// database, read at the first use since the layout version changed. The version is the one
// that the database's triggers raise on every change of the tables these are read from (on
// SQLite with the schema's version, which a changed view raises); with another version than
// the kept one, or with none (a database not upgraded), everything is read anew, so a write
// by any program counts at the next request. A read that fails keeps nothing of itself.
//
// It reads through whichever row reader its owner has: `read(sql, convert)` gives the rows of
// one of the layout statements with the server's user bound, each converted by `convert`,
// which takes a SqliteRow& or a Statement& (ReadRows, or a raw read inside SQLite), and
// throws DatabaseError on failure.

#include "store/occupancy_engine.h"
#include "store/occupancy_queries.h"
#include "store/occupancy_rows.h"

#include <QHash>
#include <QList>

#include <optional>
#include <utility>

namespace taurelin {

// The layout version: OPPSETT_VERSJON's value and, on SQLite, the schema's version.
using LayoutVersion = std::pair<qint64, qint64>;

class OccupancyLayout {
 public:
  // Brings the layout to the database's `version`: when it is not the kept one, forgets all
  // that was kept and reads the pairs and facilities into the engine. True when it read them.
  template <typename Read>
  bool refresh(const std::optional<LayoutVersion>& version, Read read);

  // The units of each type of every facility, or (all) of each type summed over all
  // facilities, by facility and type as the statement orders them.
  template <typename Read>
  const QList<TypeCapacity>& capacities(bool all, Read read);
  // The units of `type` at `facility` (-1: over all facilities); nothing for a pair the
  // database does not know.
  template <typename Read>
  std::optional<qint64> units(int facility, int type, Read read);

  // The version of what is kept; none when nothing is.
  const std::optional<LayoutVersion>& version() const { return version_; }

  // The engine set up with the layout; its counters are the owner's to load.
  OccupancyEngine& engine() { return engine_; }
  const OccupancyEngine& engine() const { return engine_; }

  // Forgets everything, for a connection opened anew.
  void reset();

 private:
  struct Capacities {
    QList<TypeCapacity> rows;
    QHash<std::pair<int, int>, qint64> units;  // (facility or -1, type) -> units
  };

  template <typename Read>
  const Capacities& capacitiesOf(bool all, Read read);

  std::optional<LayoutVersion> version_;  // of what is kept; none: nothing is kept
  OccupancyEngine engine_;
  std::optional<Capacities> capacities_[2];  // per facility, summed
};

template <typename Read>
bool OccupancyLayout::refresh(const std::optional<LayoutVersion>& version, Read read) {
  if (version && version == version_) return false;
  reset();
  const QList<OccupancyLayoutRow> pairs =
      read(occupancy_sql::kUtyper, [](auto& r) { return occupancy_rows::Layout(r); });
  const QList<int> facilities =
      read(occupancy_sql::kAlleAnlegg, [](auto& r) { return occupancy_rows::Facility(r); });
  engine_.setLayout(pairs, facilities);
  version_ = version;
  return true;
}

template <typename Read>
const OccupancyLayout::Capacities& OccupancyLayout::capacitiesOf(bool all, Read read) {
  std::optional<Capacities>& kept = capacities_[all ? 1 : 0];
  if (!kept) {
    Capacities fresh;
    fresh.rows = read(all ? occupancy_sql::kKapasitetSamlet : occupancy_sql::kKapasitet,
                      [all](auto& r) {
                        return TypeCapacity{all ? -1 : r.integer("ANLEGG"), r.integer("UTYPE"),
                                            qint64{r.integer("ANTENH")}};
                      });
    for (const TypeCapacity& c : fresh.rows) fresh.units.insert({c.facility, c.type}, c.units);
    kept = std::move(fresh);
  }
  return *kept;
}

template <typename Read>
const QList<TypeCapacity>& OccupancyLayout::capacities(bool all, Read read) {
  return capacitiesOf(all, read).rows;
}

template <typename Read>
std::optional<qint64> OccupancyLayout::units(int facility, int type, Read read) {
  const Capacities& kept = capacitiesOf(facility == -1, read);
  const auto found = kept.units.constFind({facility, type});
  if (found == kept.units.constEnd()) return std::nullopt;
  return *found;
}

}  // namespace taurelin
