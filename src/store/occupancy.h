#pragma once

// The data module's occupancy operations: for a stay, how many units of a rental type are
// not free on its tightest night, and how many units the type has, at one facility or at
// all (-1). The counters come from the occupancy engine, loaded with the shared occupancy
// statements on the module's connection.

#include "store/occupancy_engine.h"
#include "store/operator_messages.h"

#include <QDate>
#include <QHash>
#include <QString>

#include <optional>
#include <utility>

namespace taurelin {

class Occupancy {
 public:
  Occupancy(QString connectionName, OperatorMessages* messages);

  // Reads which (facility, rental type) pairs exist and which facilities "all" sums over.
  void InitBelegg();
  // Loads the counters of the stay from FraDato to TilDato.
  void LoadBelegg(const QDate& FraDato, const QDate& TilDato);
  // The units of the type at the facility (-1: over all facilities), read from the database
  // at the first use and kept. A pair that the database does not know gives -1 and a notice
  // to the operator that nobody has to wait for.
  int GetKapasitet(int Anlegg, int Utype);
  // The highest counter over the nights of the stay last loaded (counter 1: units not free,
  // 2: units held for agents, 3: always 0); never below 0.
  int GetMaxBelegg(int Anlegg, int Utype, const QDate& FraDato, const QDate& TilDato,
                   int Teller) const;

  const OccupancyEngine& engine() const { return engine_; }

 private:
  QString connectionName_;
  OperatorMessages* messages_;
  OccupancyEngine engine_;
  std::optional<QHash<std::pair<int, int>, int>> capacity_;  // (facility, type) -> units
  std::optional<QHash<int, int>> capacityAll_;               // type -> units
};

}  // namespace taurelin
