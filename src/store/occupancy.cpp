#include "store/occupancy.h"

#include "store/backend.h"
#include "store/connection.h"
#include "store/occupancy_queries.h"
#include "store/occupancy_rows.h"
#include "store/row_reads.h"
#include "store/statement.h"
#include "store/upgrade_check.h"

#include <QSqlDatabase>

#include <limits>

namespace taurelin {
namespace {

using Params = RowParams;
using Param = RowParam;

// The server's user, module and right, which every occupancy statement binds.
Params WithUser(Params params) {
  params << Param{":brukerid", qint64{occupancy_sql::kUserId}}
         << Param{":modul_id", qint64{occupancy_sql::kModuleId}}
         << Param{":rettighet", qint64{occupancy_sql::kRightAbove}};
  return params;
}

int Clamp(qint64 value) {
  if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

}  // namespace

Occupancy::Occupancy(QString connectionName, StoreReports* reports, UnchangedAnswers* answers)
    : connectionName_(std::move(connectionName)), reports_(reports), answers_(answers) {}

void Occupancy::reset() {
  features_.reset();
  layoutVersion_.reset();
}

const Occupancy::Features& Occupancy::features() {
  if (!features_) {
    QSqlDatabase database = ReadyConnection(connectionName_);
    Features found;
    found.sqlite = Backend::Of(database).readsOccupancyOnHandle();
    found.upgraded = CheckUpgrade(database).isEmpty();
    features_ = found;
  }
  return *features_;
}

std::optional<std::pair<qint64, qint64>> Occupancy::layoutVersion() {
  const auto versions = ReadRows(
      connectionName_, features().sqlite,
      features().sqlite ? occupancy_sql::kOppsettVersjonSqlite : occupancy_sql::kOppsettVersjon,
      {}, [](auto& r) { return std::pair<qint64, qint64>{r.integer("VERDI"), r.integer("SKJEMA")}; });
  if (versions.size() != 1) return std::nullopt;  // a version row another program took away
  return versions.first();
}

Occupancy::Layout Occupancy::readLayout() {
  const bool sqlite = features().sqlite;
  Layout layout;
  layout.pairs = ReadRows(connectionName_, sqlite, occupancy_sql::kUtyper, WithUser({}),
                          [](auto& r) { return occupancy_rows::Layout(r); });
  layout.facilities = ReadRows(connectionName_, sqlite, occupancy_sql::kAlleAnlegg,
                               WithUser({}), [](auto& r) { return occupancy_rows::Facility(r); });
  return layout;
}

void Occupancy::InitBelegg() {
  // Nothing changed since the layout was found current: it still is.
  if (answers_ != nullptr && answers_->layoutCurrent()) return;
  readCurrentLayout();
  if (answers_ != nullptr) answers_->layoutRead();
}

void Occupancy::readCurrentLayout() {
  std::optional<std::pair<qint64, qint64>> version;
  if (features().upgraded) {
    version = layoutVersion();
    // The index or the version may have come or gone with a change of the schema.
    if (version && layoutVersion_ && version->second != layoutVersion_->second) {
      features_.reset();
      if (!features().upgraded) version.reset();
    }
    if (version && version == layoutVersion_) return;
  }
  const Layout layout = readLayout();
  engine_.setLayout(layout.pairs, layout.facilities);
  // A unit that another program adds or takes out of service changes the layout version:
  // kept past it, the old count would sell a unit that is no longer there.
  capacity_.reset();
  capacityAll_.reset();
  for (auto& capacities : matrixCapacity_) capacities.reset();
  layoutVersion_ = version;
}

void Occupancy::LoadBelegg(const QDate& FraDato, const QDate& TilDato, int Anlegg, int agent) {
  const bool sqlite = features().sqlite;
  const Params period = WithUser({{":fra_dato", FraDato}, {":til_dato", TilDato}});
  QList<OccupiedLine> occupied;
  if (!features().upgraded) {
    occupied = ReadRows(connectionName_, sqlite, occupancy_sql::kIkkeLedig, period,
                        [](auto& r) { return occupancy_rows::Occupied(r); });
  } else {
    // The index is searched over the period's days in either order: the statement still
    // decides which lines of a reversed period count.
    const QDate first = std::min(FraDato, TilDato);
    const QDate last = std::max(FraDato, TilDato);
    const bool valid = FraDato.isValid() && TilDato.isValid();
    Params indexed = period;
    if (sqlite) {
      const qint64 lowest = std::numeric_limits<qint32>::min();
      const qint64 highest = std::numeric_limits<qint32>::max();
      indexed << Param{":fra_dag", valid ? occupancy_sql::FirstDayKey(first) : lowest}
              << Param{":til_dag", valid ? occupancy_sql::LastDayKey(last) : highest}
              << Param{":anlegg_fra", Anlegg == -1 ? lowest : qint64{Anlegg}}
              << Param{":anlegg_til", Anlegg == -1 ? highest : qint64{Anlegg}};
    } else {
      indexed << Param{":fra_periode", valid ? first : FraDato}
              << Param{":til_periode", valid ? last : TilDato}
              << Param{":anlegg_alle", qint64{Anlegg}} << Param{":anlegg", qint64{Anlegg}};
    }
    occupied = ReadRows(connectionName_, sqlite,
                        sqlite ? occupancy_sql::kIkkeLedigIndeksert
                               : occupancy_sql::kIkkeLedigPeriode,
                        indexed, [](auto& r) { return occupancy_rows::Occupied(r); });
  }
  const auto allotments = ReadRows(connectionName_, sqlite, occupancy_sql::kAllotment, period,
                                   [](auto& r) { return occupancy_rows::Allotment(r); });
  const auto used = ReadRows(connectionName_, sqlite, occupancy_sql::kBruktAllotment, period,
                             [](auto& r) { return occupancy_rows::Used(r); });
  engine_.load({FraDato, TilDato, QDate::currentDate(), agent}, occupied, allotments, used);
}

int Occupancy::GetKapasitet(int Anlegg, int Utype) {
  std::optional<int> units;
  const bool sqlite = features().sqlite;
  if (Anlegg == -1) {
    if (!capacityAll_) {
      QHash<int, int> rows;
      for (const auto& [type, count] :
           ReadRows(connectionName_, sqlite, occupancy_sql::kKapasitetSamlet, WithUser({}),
                    [](auto& r) { return std::pair{r.integer("UTYPE"), r.integer("ANTENH")}; })) {
        rows.insert(type, count);
      }
      capacityAll_ = rows;
    }
    if (capacityAll_->contains(Utype)) units = capacityAll_->value(Utype);
  } else {
    if (!capacity_) {
      QHash<std::pair<int, int>, int> rows;
      for (const auto& [pair, count] : ReadRows(
               connectionName_, sqlite, occupancy_sql::kKapasitet, WithUser({}), [](auto& r) {
                 return std::pair{std::pair{r.integer("ANLEGG"), r.integer("UTYPE")},
                                  r.integer("ANTENH")};
               })) {
        rows.insert(pair, count);
      }
      capacity_ = rows;
    }
    const std::pair<int, int> key{Anlegg, Utype};
    if (capacity_->contains(key)) units = capacity_->value(key);
  }
  if (units) return *units;
  if (reports_ != nullptr) reports_->report({StoreCondition::kCapacityUnknown, {}, {}});
  return -1;
}

int Occupancy::GetMaxBelegg(int Anlegg, int Utype, const QDate& FraDato, const QDate& TilDato,
                            OccupancyCounter Teller) const {
  return Clamp(engine_.maxOverStay(Anlegg, Utype, FraDato, TilDato, Teller));
}

QList<AvailabilityDay> Occupancy::Matrix(const QDate& from, const QDate& to, int facility,
                                         int agent) {
  InitBelegg();
  const bool all = facility == -1;
  std::optional<QList<TypeCapacity>>& capacities = matrixCapacity_[all ? 1 : 0];
  if (!capacities) {
    capacities = ReadRows(connectionName_, features().sqlite,
                          all ? occupancy_sql::kKapasitetSamlet : occupancy_sql::kKapasitet,
                          WithUser({}), [all](auto& r) {
                            return TypeCapacity{all ? -1 : r.integer("ANLEGG"),
                                                r.integer("UTYPE"), qint64{r.integer("ANTENH")}};
                          });
  }
  LoadBelegg(from, to, facility, agent);
  return engine_.matrix(*capacities, facility);
}

}  // namespace taurelin
