#include "store/postgres/postgres_backend.h"

#include "store/alias_list.h"
#include "store/connection.h"
#include "store/occupancy_queries.h"
#include "store/postgres/postgres_connection.h"

#include <QDate>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <libpq-fe.h>

#include <algorithm>
#include <string>

namespace taurelin {
namespace {

// The layout version (OPPSETT_VERSJON) that the layout may be kept behind. Beside it, as the
// schema's part (SKJEMA), how many of the triggers that keep the occupancy counts are there
// and enabled: counts that a dropped or disabled trigger no longer keeps are then not read.
constexpr char kOppsettVersjon[] =
    "select VERDI, (select count(*) from pg_catalog.pg_trigger\n"
    "               where tgname in ('leie_dag', 'leie_dag_tomt') and tgenabled <> 'D') SKJEMA\n"
    "from OPPSETT_VERSJON";

// The rental lines of kIkkeLedig read through the GiST index LEIE_PERIODE over the range of
// each line's days; :anlegg is the facility or -1 for all (given twice, as :anlegg and
// :anlegg_alle). The index only narrows what is read; the user's right on the line's
// facility is left to the layout, as on SQLite, so both give the same counts.
constexpr char kIkkeLedigPeriode[] =
    "select\n"
    "  L.ANLEGG,\n"
    "  L.UTYPE,\n"
    "  L.ANKOMST,\n"
    "  L.AVREISE,\n"
    "  L.ANTALL\n"
    "from\n"
    "  LEIE L\n"
    "where\n"
    "  L.LEIETYPE = 'O' and\n"
    "  (L.STATUS <> 'A' OR L.STATUS IS NULL) and\n"
    "  L.ANKOMST <= :til_dato and\n"
    "  L.AVREISE > :fra_dato and\n"
    "  LEIE_PERIODE(L.ANKOMST, L.AVREISE) && daterange(:fra_periode, :til_periode, '[]') and\n"
    "  (:anlegg_alle = -1 OR L.ANLEGG = :anlegg)";

// The counted days (LEIE_DAG) of a facility, or of every facility that "all facilities" sums
// over (kAlleAnlegg), with each day as its Julian day number (2000-01-01 is 2451545).
constexpr char kTalteDager[] =
    "select ANLEGG, UTYPE, DATO - DATE '2000-01-01' + 2451545 as DATO, ANTALL\n"
    "from LEIE_DAG\n"
    "where\n"
    "  ANLEGG = :anlegg and\n"
    "  DATO between :fra_dato and :til_dato";
constexpr char kTalteDagerAlle[] =
    "select ANLEGG, UTYPE, DATO - DATE '2000-01-01' + 2451545 as DATO, ANTALL\n"
    "from LEIE_DAG\n"
    "where\n"
    "  ANLEGG in (select ANLEGGSNR from ANLEGG_BRUKER\n"
    "             where BRUKERID = :brukerid and MODUL_ID = :modul_id and\n"
    "                   RETTIGHET > :rettighet) and\n"
    "  DATO between :fra_dato and :til_dato";

// The allotment lines of kAllotment read through the GiST index ALLOT_PERIODE over the range
// of their days; the conditions of kAllotment still decide. Narrowed to facility :anlegg
// unless `all`.
const std::string& AllotmentPeriode(bool all) {
  static const std::string every =
      std::string(occupancy_sql::kAllotment) +
      " and\n  LEIE_PERIODE(AL.FRA, AL.TIL) && daterange(:fra_periode, :til_periode, '[]')";
  static const std::string one = every + occupancy_sql::kAllotmentAnlegg;
  return all ? every : one;
}

void AddPeriod(const QDate& from, const QDate& to, RowParams* params) {
  const bool valid = from.isValid() && to.isValid();
  *params << RowParam{":fra_periode", valid ? std::min(from, to) : from}
          << RowParam{":til_periode", valid ? std::max(from, to) : to};
}

// What one stay's occupancy reads, in one round trip: the counted days of `counted` (as
// occupying lines of one day), the lines the counts leave out, the allotment lines and the
// used allotments, each by its own statement, marked by KIND. The planner takes each
// statement out of its subquery, so each reads as it would alone.
std::string CountedOccupancy(const char* counted, const char* used) {
  // Appended piece by piece: gcc 12 takes a chain of + on std::string for an overflow.
  std::string sql =
      "select 1 as KIND, ANLEGG, UTYPE, DATE '2000-01-01' + (DATO - 2451545) as ANKOMST,\n"
      "  DATE '2000-01-01' + (DATO - 2451544) as AVREISE, ANTALL,\n"
      "  CAST(NULL AS integer) as AKODE, CAST(NULL AS integer) as ANLEGGSNR,\n"
      "  CAST(NULL AS varchar) as ALLOTTYPE, CAST(NULL AS integer) as DAGER_FOER,\n"
      "  CAST(NULL AS date) as FRA, CAST(NULL AS date) as TIL, CAST(NULL AS date) as DATO\n"
      "from (";
  sql.append(counted);
  sql.append(
      ") D\nunion all\n"
      "select 1, ANLEGG, UTYPE, ANKOMST, AVREISE, ANTALL, NULL, NULL, NULL, NULL, NULL, NULL,\n"
      "  NULL\n"
      "from (");
  sql.append(occupancy_sql::kIkkeTalt);
  sql.append(
      ") T\nunion all\n"
      "select 2, NULL, UTYPE, NULL, NULL, ANTALL, AKODE, ANLEGGSNR, ALLOTTYPE, DAGER_FOER, FRA,\n"
      "  TIL, NULL\n"
      "from (");
  sql.append(AllotmentPeriode(false));
  sql.append(
      ") A\nunion all\n"
      "select 3, ANLEGG, UTYPE, NULL, NULL, ANTALL, AKODE, NULL, ALLOTTYPE, DAGER_FOER, FRA,\n"
      "  NULL, DATO\n"
      "from (");
  sql.append(used);
  sql.append(") U");
  return sql;
}


}  // namespace

const PostgresBackend& PostgresBackend::Instance() {
  static const PostgresBackend backend;
  return backend;
}

bool PostgresBackend::configure(QSqlDatabase& database, const DatabaseAlias& alias, bool,
                                QString*) const {
  database.setDatabaseName(alias.database);
  database.setHostName(alias.host);
  if (alias.port >= 0) database.setPort(alias.port);
  const bool named = !alias.user.isEmpty();
  database.setUserName(named ? alias.user : QLatin1String(kDefaultUser));
  database.setPassword(named ? alias.password : QLatin1String(kDefaultPassword));
  database.setConnectOptions(QStringLiteral("connect_timeout=%1").arg(kConnectTimeoutSeconds));
  return true;
}

bool PostgresBackend::sessionEnded(const QSqlDatabase& database) const {
  pg_conn* postgres = PostgresHandle(database);
  return postgres != nullptr && SessionEnded(postgres);
}

bool PostgresBackend::lostBy(const QSqlDatabase& database, const QSqlError& error) const {
  // A closed connection means libpq saw the session end.
  return error.type() == QSqlError::ConnectionError || !database.isOpen();
}

void PostgresBackend::beginWrite(Connection& connection) const {
  QSqlDatabase& database = connection.database();
  if (!database.transaction()) throw connection.failure(database.lastError());
}

void PostgresBackend::commitWrite(Connection& connection) const {
  QSqlDatabase& database = connection.database();
  if (!database.commit()) throw connection.failure(database.lastError());
}

void PostgresBackend::rollbackWrite(Connection& connection) const {
  connection.database().rollback();
}

void PostgresBackend::lockReservation(Connection& connection, int facility, int rentalType) const {
  // Two keys of 32 bits: the lock is held until commit or rollback, so a failed write
  // releases it too.
  QSqlQuery query(connection.database());
  query.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(CAST(:ANLEGG AS INTEGER), "
                               "CAST(:UTYPE AS INTEGER))"));
  query.bindValue(QStringLiteral(":ANLEGG"), facility);
  query.bindValue(QStringLiteral(":UTYPE"), rentalType);
  if (!query.exec()) throw connection.failure(query.lastError());
}

// One key of 64 bits, a space apart from the reservation lock's pairs of 32-bit keys; held by
// the session, since an import is many transactions.
bool PostgresBackend::tryLockChannel(Connection& connection, const QString& channel) const {
  QSqlQuery query(connection.ready());
  query.prepare(QStringLiteral("SELECT pg_try_advisory_lock(hashtextextended(:KANAL, 0))"));
  query.bindValue(QStringLiteral(":KANAL"), channel);
  if (!query.exec()) throw connection.failure(query.lastError());
  return query.next() && query.value(0).toBool();
}

void PostgresBackend::unlockChannel(Connection& connection, const QString& channel) const {
  QSqlQuery query(connection.database());
  query.prepare(QStringLiteral("SELECT pg_advisory_unlock(hashtextextended(:KANAL, 0))"));
  query.bindValue(QStringLiteral(":KANAL"), channel);
  if (!query.exec()) throw connection.failure(query.lastError());
}

const char* PostgresBackend::layoutVersionQuery() const { return kOppsettVersjon; }

// The range is searched over the period's days in either order: the statement still decides
// which lines of a reversed period count.
const char* PostgresBackend::indexedOccupiedLines(const QDate& from, const QDate& to,
                                                  int facility, RowParams* params) const {
  const bool valid = from.isValid() && to.isValid();
  *params << RowParam{":fra_periode", valid ? std::min(from, to) : from}
          << RowParam{":til_periode", valid ? std::max(from, to) : to}
          << RowParam{":anlegg_alle", qint64{facility}} << RowParam{":anlegg", qint64{facility}};
  return kIkkeLedigPeriode;
}

const char* PostgresBackend::countedDays(bool all) const {
  return all ? kTalteDagerAlle : kTalteDager;
}

const char* PostgresBackend::indexedAllotments(const QDate& from, const QDate& to, int facility,
                                               RowParams* params) const {
  AddPeriod(from, to, params);
  if (facility != -1) *params << RowParam{":anlegg", qint64{facility}};
  return AllotmentPeriode(facility == -1).c_str();
}

const char* PostgresBackend::countedOccupancy(bool all, bool usedKept, const QDate& from,
                                              const QDate& to, RowParams* params) const {
  // Through the facility rights, the one statement measured slower than the four reads.
  if (all) return nullptr;
  static const std::string lines =
      CountedOccupancy(kTalteDager, occupancy_sql::BruktAllotmentAnlegg());
  static const std::string kept =
      CountedOccupancy(kTalteDager, occupancy_sql::kBruktAllotmentTalt);
  AddPeriod(from, to, params);
  return usedKept ? kept.c_str() : lines.c_str();
}

bool PostgresBackend::readWebPriceSources(Connection&, const QList<int>&, const QDate&,
                                          const QDate&, QList<QList<WebPriceSource>>*) const {
  return false;
}

// The driver gives dates as dates.
QList<bool> PostgresBackend::textDateColumns(const QSqlQuery&) const { return {}; }

// PostgreSQL refuses a prepared statement whose result would change shape after its table
// changed; that failure ends no transaction only when none was open.
bool PostgresBackend::planOutdated(const QSqlDatabase& database, const QSqlError& error) const {
  if (error.nativeErrorCode() != u"0A000") return false;
  PGconn* connection = PostgresHandle(database);
  return connection != nullptr && PQtransactionStatus(connection) == PQTRANS_IDLE;
}

QString PostgresBackend::orderKey(const QString& column) const {
  return column + QStringLiteral(" NULLS FIRST");
}

QString PostgresBackend::textOrderKey(const QString& column, const QString& expression) const {
  // In a UTF-8 database the "C" collation compares by code point, as SQLite does, where the
  // database's own collation would follow a language's rules. PostgreSQL applies a
  // collation to an expression only, never to a result column's name.
  return (expression.isEmpty() ? column : expression) +
         QStringLiteral(" COLLATE \"C\" NULLS FIRST");
}

QString PostgresBackend::catalogueObjectsQuery() const {
  return QStringLiteral(
      "SELECT CASE c.relkind WHEN 'i' THEN 'index' ELSE 'table' END, c.relname"
      " FROM pg_catalog.pg_class c"
      " WHERE c.relkind IN ('r', 'i') AND pg_catalog.pg_table_is_visible(c.oid)"
      " UNION ALL SELECT 'trigger', t.tgname FROM pg_catalog.pg_trigger t"
      " WHERE NOT t.tgisinternal AND pg_catalog.pg_table_is_visible(t.tgrelid)");
}

QList<std::pair<QString, QString>> PostgresBackend::upgradeObjects(
    const QStringList& layoutTables) const {
  QList<std::pair<QString, QString>> objects;
  objects << std::pair{QStringLiteral("index"), QStringLiteral("LEIE_PERIODE")}
          << std::pair{QStringLiteral("table"), QStringLiteral("OPPSETT_VERSJON")};
  for (const QString& table : layoutTables) {
    objects << std::pair{QStringLiteral("trigger"), QStringLiteral("OPPSETT_") + table};
  }
  return objects;
}

QList<std::pair<QString, QString>> PostgresBackend::countObjects() const {
  return {{QStringLiteral("table"), QStringLiteral("LEIE_DAG")},
          {QStringLiteral("table"), QStringLiteral("LEIE_AVVIK")},
          {QStringLiteral("trigger"), QStringLiteral("LEIE_DAG")},
          {QStringLiteral("trigger"), QStringLiteral("LEIE_DAG_TOMT")},
          {QStringLiteral("index"), QStringLiteral("ALLOT_PERIODE")}};
}

QList<std::pair<QString, QString>> PostgresBackend::usedAllotmentObjects() const {
  QList<std::pair<QString, QString>> objects;
  objects << std::pair{QStringLiteral("table"), QStringLiteral("LEIE_ALLOT_TALT")}
          << std::pair{QStringLiteral("index"), QStringLiteral("LEIE_ALLOT_TALT_DAG")};
  for (const char* trigger : {"", "_LEIE", "_TOMT", "_LEIE_TOMT"}) {
    objects << std::pair{QStringLiteral("trigger"),
                         QStringLiteral("LEIE_ALLOT_TALT") + QLatin1String(trigger)};
  }
  return objects;
}

}  // namespace taurelin
