#pragma once

// The data module's occupancy operations: for a stay, how many units of a rental type are
// not free on its tightest night, and how many units the type has, at one facility or at
// all (-1). The counters come from the occupancy engine, fed with the shared occupancy
// statements on the module's connection.
//
// Promises: every answer is the one the statements give on the database as it is at the
// call. The layout (which pairs exist, which facilities "all" sums, the capacities) is kept in
// an OccupancyLayout, behind the layout version that the database's triggers raise, so a
// write by any program counts at the next call; a database without the version (not
// upgraded) is read each time. Where the database keeps the occupancy counts (LEIE_DAG), a
// stay reads a row per day and type it asks about, and only the few lines the counts leave
// out; else the rental lines are read through the occupancy index where the database has it,
// so a stay reads only the lines that overlap it, of its facility; else every line.
// Statements are prepared once per connection.

#include "store/occupancy_engine.h"
#include "store/occupancy_layout.h"
#include "store/store_reports.h"
#include "store/unchanged_answers.h"

#include <QDate>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace taurelin {

class Backend;
class Connection;

class Occupancy {
 public:
  // Reads on `connection`, which must outlive it. `answers` tells whether the layout was
  // found current under the question being answered (null: it is read each time).
  Occupancy(Connection& connection, StoreReports* reports, UnchangedAnswers* answers = nullptr);

  // Makes the layout ready: reads which (facility, rental type) pairs exist and which
  // facilities "all" sums over, unless the layout kept from before is still the database's.
  void InitBelegg();
  // Loads the counters of the stay from FraDato to TilDato, of facility Anlegg alone (-1:
  // of every facility); counters of other facilities then read 0. Allotments count as held
  // for `agent` (-1: for every agent).
  void LoadBelegg(const QDate& FraDato, const QDate& TilDato, int Anlegg = -1, int agent = -1);
  // The units of the type at the facility (-1: over all facilities), read from the database
  // and kept behind the layout version, as the layout is (InitBelegg reads them again when
  // it reads the layout). A pair that the database does not know gives -1 and a notice to
  // the operator that nobody has to wait for.
  int GetKapasitet(int Anlegg, int Utype);
  // The highest counter over the nights of the stay last loaded; never below 0.
  int GetMaxBelegg(int Anlegg, int Utype, const QDate& FraDato, const QDate& TilDato,
                   OccupancyCounter Teller) const;

  // The availability matrix, as HENT_LEDIG_MATRISE gives it: per rental type of the facility
  // (-1: summed over all) and per day from `from` to `to`, the free units and the units held
  // for `agent` (-1: none). Makes the layout ready and loads the period itself. The
  // capacities are kept behind the layout version, as the layout is.
  QList<AvailabilityDay> Matrix(const QDate& from, const QDate& to, int facility, int agent);

  // Forgets what was learnt of the database's layout and whether it has the index, for a
  // connection opened anew.
  void reset();

 private:
  struct Features {
    const Backend* backend = nullptr;
    bool upgraded = false;  // the occupancy index and the layout version are there
    bool counted = false;   // and the occupancy counts with the triggers that keep them
    bool usedKept = false;  // and the used allotments kept with their lines' values
  };

  // The occupying lines of the period as the engine takes them: counted days and the lines
  // the counts leave out, or the lines themselves.
  QList<OccupiedLine> occupiedLines(const QDate& from, const QDate& to, int facility);

  const Features& features();
  std::optional<LayoutVersion> layoutVersion();
  // What reads the layout's statements for it: ReadRows with the server's user bound.
  auto layoutReader();

  Connection& connection_;
  StoreReports* reports_;
  UnchangedAnswers* answers_;
  std::optional<Features> features_;
  OccupancyLayout layout_;
};

}  // namespace taurelin
