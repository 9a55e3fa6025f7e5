#include "store/occupancy.h"

#include "store/occupancy_queries.h"
#include "store/statement.h"

#include <limits>

namespace taurelin {
namespace {

// One of the shared occupancy statements, with the server's user, module and right bound.
Statement OccupancyStatement(const QString& connection, const char* sql) {
  Statement s(connection);
  s.add(QString::fromUtf8(sql));
  s.bindInteger(QStringLiteral("brukerid"), occupancy_sql::kUserId);
  s.bindInteger(QStringLiteral("modul_id"), occupancy_sql::kModuleId);
  s.bindInteger(QStringLiteral("rettighet"), occupancy_sql::kRightAbove);
  return s;
}

Statement PeriodStatement(const QString& connection, const char* sql, const QDate& from,
                          const QDate& to) {
  Statement s = OccupancyStatement(connection, sql);
  s.bindDate(QStringLiteral("fra_dato"), from);
  s.bindDate(QStringLiteral("til_dato"), to);
  s.open();
  return s;
}

int Clamp(qint64 value) {
  if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

}  // namespace

Occupancy::Occupancy(QString connectionName, OperatorMessages* messages)
    : connectionName_(std::move(connectionName)), messages_(messages) {}

void Occupancy::InitBelegg() {
  QList<OccupancyLayoutRow> layout;
  Statement types = OccupancyStatement(connectionName_, occupancy_sql::kUtyper);
  types.open();
  while (types.next()) {
    layout.append({types.integer(QStringLiteral("ANLEGG")), types.integer(QStringLiteral("UTYPE"))});
  }
  QList<int> facilities;
  Statement all = OccupancyStatement(connectionName_, occupancy_sql::kAlleAnlegg);
  all.open();
  while (all.next()) facilities.append(all.integer(QStringLiteral("ANLEGGSNR")));
  engine_.setLayout(layout, facilities);
}

void Occupancy::LoadBelegg(const QDate& FraDato, const QDate& TilDato) {
  QList<OccupiedLine> occupied;
  Statement lines = PeriodStatement(connectionName_, occupancy_sql::kIkkeLedig, FraDato, TilDato);
  while (lines.next()) {
    OccupiedLine line;
    line.facility = lines.integer(QStringLiteral("ANLEGG"));
    line.type = lines.integer(QStringLiteral("UTYPE"));
    line.arrival = lines.date(QStringLiteral("ANKOMST"));
    line.departure = lines.date(QStringLiteral("AVREISE"));
    line.units = lines.integer(QStringLiteral("ANTALL"));
    occupied.append(line);
  }
  QList<AllotmentLine> allotments;
  Statement held = PeriodStatement(connectionName_, occupancy_sql::kAllotment, FraDato, TilDato);
  while (held.next()) {
    AllotmentLine line;
    line.agent = held.integer(QStringLiteral("AKODE"));
    line.facility = held.integer(QStringLiteral("ANLEGGSNR"));
    line.kind = held.text(QStringLiteral("ALLOTTYPE"));
    line.units = held.integer(QStringLiteral("ANTALL"));
    line.daysBefore = held.integer(QStringLiteral("DAGER_FOER"));
    line.from = held.date(QStringLiteral("FRA"));
    line.to = held.date(QStringLiteral("TIL"));
    line.type = held.integer(QStringLiteral("UTYPE"));
    allotments.append(line);
  }
  QList<UsedAllotment> used;
  Statement taken =
      PeriodStatement(connectionName_, occupancy_sql::kBruktAllotment, FraDato, TilDato);
  while (taken.next()) {
    UsedAllotment use;
    use.date = taken.date(QStringLiteral("DATO"));
    use.facility = taken.integer(QStringLiteral("ANLEGG"));
    use.units = taken.integer(QStringLiteral("ANTALL"));
    use.type = taken.integer(QStringLiteral("UTYPE"));
    use.kind = taken.text(QStringLiteral("ALLOTTYPE"));
    use.daysBefore = taken.integer(QStringLiteral("DAGER_FOER"));
    use.from = taken.date(QStringLiteral("FRA"));
    use.agent = taken.integer(QStringLiteral("AKODE"));
    used.append(use);
  }
  engine_.load({FraDato, TilDato, QDate::currentDate(), -1}, occupied, allotments, used);
}

int Occupancy::GetKapasitet(int Anlegg, int Utype) {
  std::optional<int> units;
  if (Anlegg == -1) {
    if (!capacityAll_) {
      Statement s = OccupancyStatement(connectionName_, occupancy_sql::kKapasitetSamlet);
      s.open();
      QHash<int, int> rows;
      while (s.next()) {
        rows.insert(s.integer(QStringLiteral("UTYPE")), s.integer(QStringLiteral("ANTENH")));
      }
      capacityAll_ = rows;
    }
    if (capacityAll_->contains(Utype)) units = capacityAll_->value(Utype);
  } else {
    if (!capacity_) {
      Statement s = OccupancyStatement(connectionName_, occupancy_sql::kKapasitet);
      s.open();
      QHash<std::pair<int, int>, int> rows;
      while (s.next()) {
        rows.insert({s.integer(QStringLiteral("ANLEGG")), s.integer(QStringLiteral("UTYPE"))},
                    s.integer(QStringLiteral("ANTENH")));
      }
      capacity_ = rows;
    }
    const std::pair<int, int> key{Anlegg, Utype};
    if (capacity_->contains(key)) units = capacity_->value(key);
  }
  if (units) return *units;
  if (messages_ != nullptr) messages_->showNotice(QStringLiteral("Feil ved henting av antall enheter"));
  return -1;
}

int Occupancy::GetMaxBelegg(int Anlegg, int Utype, const QDate& FraDato, const QDate& TilDato,
                            int Teller) const {
  if (Teller != 1 && Teller != 2) return 0;
  const OccupancyCounter counter =
      Teller == 1 ? OccupancyCounter::NotFree : OccupancyCounter::AgentAllotment;
  return Clamp(engine_.maxOverStay(Anlegg, Utype, FraDato, TilDato, counter));
}

}  // namespace taurelin
