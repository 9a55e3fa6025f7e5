#include "store/occupancy.h"

#include "store/occupancy_queries.h"
#include "store/occupancy_rows.h"
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

Statement OpenedStatement(const QString& connection, const char* sql) {
  Statement s = OccupancyStatement(connection, sql);
  s.open();
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

// Every row of an open statement, converted.
template <typename Convert>
auto ReadAll(Statement statement, Convert convert) {
  QList<decltype(convert(statement))> rows;
  while (statement.next()) rows.append(convert(statement));
  return rows;
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
  const auto layout = ReadAll(OpenedStatement(connectionName_, occupancy_sql::kUtyper),
                              occupancy_rows::Layout<Statement>);
  const auto facilities = ReadAll(OpenedStatement(connectionName_, occupancy_sql::kAlleAnlegg),
                                  occupancy_rows::Facility<Statement>);
  engine_.setLayout(layout, facilities);
}

void Occupancy::LoadBelegg(const QDate& FraDato, const QDate& TilDato) {
  const auto occupied =
      ReadAll(PeriodStatement(connectionName_, occupancy_sql::kIkkeLedig, FraDato, TilDato),
              occupancy_rows::Occupied<Statement>);
  const auto allotments =
      ReadAll(PeriodStatement(connectionName_, occupancy_sql::kAllotment, FraDato, TilDato),
              occupancy_rows::Allotment<Statement>);
  const auto used =
      ReadAll(PeriodStatement(connectionName_, occupancy_sql::kBruktAllotment, FraDato, TilDato),
              occupancy_rows::Used<Statement>);
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
