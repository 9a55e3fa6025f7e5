#include "store/sqlite/sqlite_backend.h"

#include "store/alias_list.h"
#include "store/connection.h"
#include "store/fail.h"
#include "store/sqlite/sqlite_connection.h"
#include "store/sqlite/sqlite_kept_statements.h"
#include "store/occupancy_queries.h"
#include "store/sqlite/sqlite_occupancy_queries.h"
#include "store/sqlite/sqlite_procedures.h"
#include "store/row_view.h"
#include "store/sqlite/sqlite_read.h"
#include "store/stay_pricing.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlResult>
#include <QUrl>

#include <sqlite3.h>

#include <algorithm>
#include <limits>

namespace taurelin {
namespace {

void Run(Connection& connection, const char* sql) {
  QSqlQuery query(connection.database());
  if (!query.exec(QLatin1String(sql))) throw connection.failure(query.lastError());
}

}  // namespace

const SqliteBackend& SqliteBackend::Instance() {
  static const SqliteBackend backend;
  return backend;
}

bool SqliteBackend::configure(QSqlDatabase& database, const DatabaseAlias& alias,
                              bool createMissingFile, QString* error) const {
  if (alias.database.isEmpty()) {
    return Fail(error, QStringLiteral("the alias %1 names no database file").arg(alias.name));
  }
  if (!createMissingFile) {
    // Opened read-write only: a missing file fails now and opens once it exists.
    database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
    database.setDatabaseName(QStringLiteral("file:") +
                             QString::fromLatin1(QUrl::toPercentEncoding(alias.database, "/")) +
                             QStringLiteral("?mode=rw"));
  } else {
    database.setDatabaseName(alias.database);
  }
  return true;
}

// Foreign keys are off by default in SQLite; WAL lets two connections read while one
// writes; the busy handler makes a second program wait for a writer instead of failing.
// The page cache of 32 MiB (SQLite's default is 2 MiB) holds the rental lines that a year's
// availability reads, so a request finds them in memory rather than reading them again from
// the file; it is filled only as pages are read, and kept only while no other connection
// writes.
bool SqliteBackend::prepareOpened(Connection& connection, QString* error) const {
  QSqlDatabase& database = connection.database();
  QSqlQuery query(database);
  for (const char* pragma :
       {"PRAGMA foreign_keys = ON", "PRAGMA journal_mode = WAL", "PRAGMA cache_size = -32768"}) {
    if (!query.exec(QLatin1String(pragma))) return Fail(error, query.lastError().text());
  }
  sqlite3* db = SqliteHandle(database);
  if (db == nullptr) {
    return Fail(error, QStringLiteral("the database procedures need an open SQLite connection"));
  }
  WaitForLocksInShortSteps(db);
  if (!RegisterSqliteProcedures(database, connection.statements(), error)) return false;
  RememberSqliteFile(connection);
  return true;
}

bool SqliteBackend::sessionEnded(const QSqlDatabase&) const { return false; }

bool SqliteBackend::lostBy(const QSqlDatabase&, const QSqlError& error) const {
  // Qt's SQLite driver calls every failed step a connection error; the code tells.
  const int code = error.nativeErrorCode().toInt() & 0xff;
  return code == SQLITE_IOERR || code == SQLITE_CANTOPEN;
}

void SqliteBackend::beginWrite(Connection& connection) const {
  // Written into a file deleted or replaced meanwhile, the booking would be lost: the
  // write is refused, and the connection opens again on what the path names now.
  const QString replaced = SqliteFileReplaced(connection);
  if (!replaced.isEmpty()) {
    connection.markLost(replaced);
    throw DatabaseError(replaced, DatabaseError::Cause::kConnection);
  }
  // Immediate: a check made inside it cannot be overtaken by another writer before the write.
  Run(connection, "BEGIN IMMEDIATE");
}

void SqliteBackend::commitWrite(Connection& connection) const { Run(connection, "COMMIT"); }

void SqliteBackend::rollbackWrite(Connection& connection) const {
  QSqlQuery(connection.database()).exec(QStringLiteral("ROLLBACK"));
}

// Deferred: the read lock on the log is taken by the first read and held to the end, where
// each statement alone would take and give it back.
bool SqliteBackend::beginReads(Connection& connection) const {
  sqlite3* handle = SqliteHandle(connection.database());
  if (handle == nullptr || sqlite3_get_autocommit(handle) == 0) return false;
  return sqlite3_exec(handle, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
}

// A connection opened anew since, or a failure that rolled the transaction back, left none.
void SqliteBackend::endReads(Connection& connection) const {
  sqlite3* handle = SqliteHandle(connection.database());
  if (handle == nullptr || sqlite3_get_autocommit(handle) != 0) return;
  if (sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
  }
}

// A kept statement a type costs no round trip.
bool SqliteBackend::readWebPriceSources(Connection& connection, const QList<int>& types,
                                        const QDate& arrival, const QDate& until,
                                        QList<QList<WebPriceSource>>* sources) const {
  SqliteKeptStatements kept = SqliteKeptStatements::Of(connection);
  try {
    // The types of a question in one statement.
    const QList<QList<WebPriceSource>> read =
        ReadWebPriceSourcesOfTypes(kept, types, arrival, until);
    for (qsizetype i = 0; i < types.size(); ++i) (*sources)[i] = read[i];
  } catch (const DatabaseError& failure) {
    // With the handle's error code, which tells a lost database from a bad value.
    throw SqliteReadFailure(connection, QString::fromStdString(failure.what()));
  }
  return true;
}

const char* SqliteBackend::layoutVersionQuery() const {
  return occupancy_sql::kOppsettVersjonSqlite;
}

// The index is searched over the period's days in either order: the statement still decides
// which lines of a reversed period count.
const char* SqliteBackend::indexedOccupiedLines(const QDate& from, const QDate& to,
                                                int facility, RowParams* params) const {
  const bool valid = from.isValid() && to.isValid();
  const qint64 lowest = std::numeric_limits<qint32>::min();
  const qint64 highest = std::numeric_limits<qint32>::max();
  *params << RowParam{":fra_dag", valid ? occupancy_sql::FirstDayKey(std::min(from, to)) : lowest}
          << RowParam{":til_dag", valid ? occupancy_sql::LastDayKey(std::max(from, to)) : highest}
          << RowParam{":anlegg_fra", facility == -1 ? lowest : qint64{facility}}
          << RowParam{":anlegg_til", facility == -1 ? highest : qint64{facility}};
  return occupancy_sql::kIkkeLedigIndeksert;
}

namespace {

// A row read on the raw handle as a RowView.
class HandleRow : public RowView {
 public:
  explicit HandleRow(SqliteRow& row) : row_(row) {}
  bool isNull(const char* column) override { return row_.isNull(column); }
  int integer(const char* column) override { return row_.integer(column); }
  qint64 integer64(const char* column) override { return row_.integer64(column); }
  QDate date(const char* column) override { return row_.date(column); }
  QString text(const char* column) override { return row_.text(column); }

 private:
  SqliteRow& row_;
};

}  // namespace

void SqliteBackend::readRows(Connection& connection, const char* sql, const RowParams& params,
                             const std::function<void(RowView&)>& row) const {
  KeptSqliteRead read(connection, sql, params);
  HandleRow view(read.row());
  while (read.next()) row(view);
}

const char* SqliteBackend::countedDays(bool all) const {
  return all ? occupancy_sql::kTalteDagerAlle : occupancy_sql::kTalteDager;
}

const char* SqliteBackend::indexedAllotments(const QDate& from, const QDate& to, int facility,
                                             RowParams* params) const {
  const bool valid = from.isValid() && to.isValid();
  *params << RowParam{":fra_dag", valid ? occupancy_sql::FirstDayKey(std::min(from, to))
                                        : qint64{std::numeric_limits<qint32>::min()}}
          << RowParam{":til_dag", valid ? occupancy_sql::LastDayKey(std::max(from, to))
                                        : qint64{std::numeric_limits<qint32>::max()}};
  if (facility == -1) return occupancy_sql::kAllotmentIndeksert;
  static const std::string one =
      std::string(occupancy_sql::kAllotmentIndeksert) + occupancy_sql::kAllotmentAnlegg;
  *params << RowParam{":anlegg", qint64{facility}};
  return one.c_str();
}

// SQLite keeps dates as text; the declared type of a result column tells them apart.
QList<bool> SqliteBackend::textDateColumns(const QSqlQuery& query) const {
  const QVariant handle = query.driver() == nullptr ? QVariant() : query.result()->handle();
  if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3_stmt*") != 0) return {};
  auto* statement = *static_cast<sqlite3_stmt* const*>(handle.constData());
  if (statement == nullptr) return {};
  QList<bool> dates(sqlite3_column_count(statement), false);
  for (int i = 0; i < dates.size(); ++i) {
    const char* declared = sqlite3_column_decltype(statement, i);
    dates[i] = declared != nullptr &&
               (qstricmp(declared, "DATE") == 0 || qstricmp(declared, "TIMESTAMP") == 0);
  }
  return dates;
}

// SQLite prepares a statement anew by itself when its table changed.
bool SqliteBackend::planOutdated(const QSqlDatabase&, const QSqlError&) const { return false; }

// BEGIN IMMEDIATE already keeps every other writer out.
void SqliteBackend::lockReservation(Connection&, int, int) const {}

// Each event of an import is one immediate transaction, which holds the whole database.
bool SqliteBackend::tryLockChannel(Connection&, const QString&) const { return true; }
void SqliteBackend::unlockChannel(Connection&, const QString&) const {}

// SQLite puts NULL first (and accepts NULLS FIRST only from 3.30 on).
QString SqliteBackend::orderKey(const QString& column) const { return column; }

// SQLite compares text by bytes (BINARY).
QString SqliteBackend::textOrderKey(const QString& column, const QString&) const {
  return column;
}

QString SqliteBackend::catalogueObjectsQuery() const {
  return QStringLiteral("SELECT type, name FROM sqlite_master");
}

QList<std::pair<QString, QString>> SqliteBackend::upgradeObjects(
    const QStringList& layoutTables) const {
  QList<std::pair<QString, QString>> objects;
  objects << std::pair{QStringLiteral("table"), QStringLiteral("LEIE_PERIODE")};
  for (const char* event : {"NY", "ENDRET", "SLETTET"}) {
    objects << std::pair{QStringLiteral("trigger"),
                         QStringLiteral("LEIE_PERIODE_") + QLatin1String(event)};
  }
  objects << std::pair{QStringLiteral("table"), QStringLiteral("OPPSETT_VERSJON")};
  for (const QString& table : layoutTables) {
    for (const char* event : {"NY", "ENDRET", "SLETTET"}) {
      objects << std::pair{QStringLiteral("trigger"),
                           QStringLiteral("OPPSETT_%1_%2").arg(table, QLatin1String(event))};
    }
  }
  return objects;
}

QList<std::pair<QString, QString>> SqliteBackend::countObjects() const {
  QList<std::pair<QString, QString>> objects;
  for (const char* table : {"LEIE_DAG", "LEIE_TALT", "LEIE_AVVIK", "LEIE_DAG_NR"}) {
    objects << std::pair{QStringLiteral("table"), QLatin1String(table)};
  }
  objects << std::pair{QStringLiteral("table"), QStringLiteral("ALLOT_PERIODE")};
  for (const char* event : {"NY", "ENDRET", "SLETTET"}) {
    // The counts' triggers in their second form (db/sqlite/upgrade.sql says why).
    objects << std::pair{QStringLiteral("trigger"),
                         QStringLiteral("LEIE_DAG_") + QLatin1String(event) + u'2'}
            << std::pair{QStringLiteral("trigger"),
                         QStringLiteral("ALLOT_PERIODE_") + QLatin1String(event)};
  }
  return objects;
}

QList<std::pair<QString, QString>> SqliteBackend::usedAllotmentObjects() const {
  QList<std::pair<QString, QString>> objects;
  objects << std::pair{QStringLiteral("table"), QStringLiteral("LEIE_ALLOT_TALT")}
          << std::pair{QStringLiteral("index"), QStringLiteral("LEIE_ALLOT_TALT_DAG")};
  for (const char* trigger :
       {"NY", "ENDRET", "SLETTET", "LEIE_NY", "LEIE_ENDRET", "LEIE_SLETTET"}) {
    objects << std::pair{QStringLiteral("trigger"),
                         QStringLiteral("LEIE_ALLOT_TALT_") + QLatin1String(trigger)};
  }
  return objects;
}

}  // namespace taurelin
