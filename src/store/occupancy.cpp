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

Occupancy::Occupancy(Connection& connection, StoreReports* reports, UnchangedAnswers* answers)
    : connection_(connection), reports_(reports), answers_(answers) {}

void Occupancy::reset() {
  features_.reset();
  layout_.reset();
}

const Occupancy::Features& Occupancy::features() {
  if (!features_) {
    QSqlDatabase& database = connection_.ready();
    Features found;
    found.backend = &connection_.backend();
    found.upgraded = CheckUpgrade(database, UpgradePart::kOccupancy).isEmpty();
    found.counted = found.upgraded && CheckUpgrade(database, UpgradePart::kCounts).isEmpty();
    found.usedKept =
        found.counted && CheckUpgrade(database, UpgradePart::kUsedAllotments).isEmpty();
    features_ = found;
  }
  return *features_;
}

std::optional<LayoutVersion> Occupancy::layoutVersion() {
  const auto versions =
      ReadRows(connection_, features().backend->layoutVersionQuery(), {},
               [](auto& r) { return LayoutVersion{r.integer("VERDI"), r.integer("SKJEMA")}; });
  if (versions.size() != 1) return std::nullopt;  // a version row another program took away
  return versions.first();
}

auto Occupancy::layoutReader() {
  return [this](const char* sql, auto convert) {
    return ReadRows(connection_, sql, WithUser({}), convert);
  };
}

void Occupancy::InitBelegg() {
  // Nothing changed since the layout was found current: it still is.
  if (answers_ != nullptr && answers_->layoutCurrent()) return;
  std::optional<LayoutVersion> version;
  if (features().upgraded) {
    version = layoutVersion();
    // The index or the version may have come or gone with a change of the schema.
    const std::optional<LayoutVersion> kept = layout_.version();
    if (version && kept && version->second != kept->second) {
      features_.reset();
      if (!features().upgraded) version.reset();
    }
  }
  // A unit that another program adds or takes out of service changes the layout version:
  // kept past it, the old count would sell a unit that is no longer there.
  layout_.refresh(version, layoutReader());
  if (answers_ != nullptr) answers_->layoutRead();
}

QList<OccupiedLine> Occupancy::occupiedLines(const QDate& from, const QDate& to, int facility) {
  const Params period = WithUser({{":fra_dato", from}, {":til_dato", to}});
  const auto asLines = [](auto& r) { return occupancy_rows::Occupied(r); };
  if (features().counted) {
    QList<OccupiedLine> occupied = ReadRows(
        connection_, features().backend->countedDays(facility == -1),
        facility == -1 ? period : Params(period) << Param{":anlegg", qint64{facility}},
        [](auto& r) { return occupancy_rows::CountedDay(r); });
    for (const OccupiedLine& line :
         ReadRows(connection_, occupancy_sql::kIkkeTalt, period, asLines)) {
      if (facility == -1 || line.facility == facility) occupied << line;
    }
    return occupied;
  }
  // Through the occupancy index where the database has it, with the backend's statement.
  Params lines = period;
  const char* sql = features().upgraded
                        ? features().backend->indexedOccupiedLines(from, to, facility, &lines)
                        : occupancy_sql::kIkkeLedig;
  return ReadRows(connection_, sql, lines, asLines);
}

void Occupancy::LoadBelegg(const QDate& FraDato, const QDate& TilDato, int Anlegg, int agent) {
  const Params period = WithUser({{":fra_dato", FraDato}, {":til_dato", TilDato}});
  const OccupancyPeriod request{FraDato, TilDato, QDate::currentDate(), agent};
  Params counted = Anlegg == -1 ? period : Params(period) << Param{":anlegg", qint64{Anlegg}};
  const Features& has = features();
  if (const char* sql = has.counted ? has.backend->countedOccupancy(Anlegg == -1, has.usedKept,
                                                                    FraDato, TilDato, &counted)
                                    : nullptr) {
    // One round trip where each costs one: the four reads below in one statement.
    QList<OccupiedLine> occupied;
    QList<AllotmentLine> allotments;
    QList<UsedAllotment> used;
    ReadEachRow(connection_, sql, counted, [&](RowView& r) {
      switch (r.integer("KIND")) {
        case 1: {
          const OccupiedLine line = occupancy_rows::Occupied(r);
          if (Anlegg == -1 || line.facility == Anlegg) occupied << line;
          break;
        }
        case 2:
          allotments << occupancy_rows::Allotment(r);
          break;
        default:
          used << occupancy_rows::Used(r);
      }
    });
    layout_.engine().load(request, occupied, allotments, used);
    return;
  }
  const QList<OccupiedLine> occupied = occupiedLines(FraDato, TilDato, Anlegg);
  // On a counted database a question about one facility reads that facility's allotments
  // alone: nothing it answers counts another's.
  Params allotted = period;
  const char* allotmentSql =
      features().counted
          ? features().backend->indexedAllotments(FraDato, TilDato, Anlegg, &allotted)
          : occupancy_sql::kAllotment;
  const auto allotments = ReadRows(connection_, allotmentSql, allotted,
                                   [](auto& r) { return occupancy_rows::Allotment(r); });
  const bool narrowed = features().counted && Anlegg != -1;
  const char* usedSql = !narrowed                ? occupancy_sql::kBruktAllotment
                        : features().usedKept ? occupancy_sql::kBruktAllotmentTalt
                                              : occupancy_sql::BruktAllotmentAnlegg();
  const auto used = ReadRows(connection_, usedSql,
                             narrowed ? Params(period) << Param{":anlegg", qint64{Anlegg}} : period,
                             [](auto& r) { return occupancy_rows::Used(r); });
  layout_.engine().load(request, occupied, allotments, used);
}

int Occupancy::GetKapasitet(int Anlegg, int Utype) {
  const std::optional<qint64> units = layout_.units(Anlegg, Utype, layoutReader());
  if (units) return static_cast<int>(*units);
  if (reports_ != nullptr) reports_->report({StoreCondition::kCapacityUnknown, {}, {}});
  return -1;
}

int Occupancy::GetMaxBelegg(int Anlegg, int Utype, const QDate& FraDato, const QDate& TilDato,
                            OccupancyCounter Teller) const {
  return Clamp(layout_.engine().maxOverStay(Anlegg, Utype, FraDato, TilDato, Teller));
}

QList<AvailabilityDay> Occupancy::Matrix(const QDate& from, const QDate& to, int facility,
                                         int agent) {
  InitBelegg();
  const QList<TypeCapacity>& capacities = layout_.capacities(facility == -1, layoutReader());
  LoadBelegg(from, to, facility, agent);
  return layout_.engine().matrix(capacities, facility);
}

}  // namespace taurelin
