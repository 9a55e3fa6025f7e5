#include "store/backend.h"

#include "store/postgres/postgres_backend.h"
#include "store/sqlite/sqlite_backend.h"

#include <QSqlDatabase>

namespace taurelin {

// The store's one chooser: the one place of the store outside the backends' folders that
// names them or reads a driver's name.

const Backend* Backend::ForDriver(const QString& driver) {
  if (driver == QLatin1String(kSqliteDriver)) return &SqliteBackend::Instance();
  if (driver == QLatin1String(kPostgresDriver)) return &PostgresBackend::Instance();
  return nullptr;
}

const Backend* Backend::Find(const QSqlDatabase& database) {
  return ForDriver(database.driverName());
}

const Backend& Backend::Of(const QSqlDatabase& database) {
  const Backend* found = Find(database);
  return found != nullptr ? *found : Default();
}

QString Backend::DefaultDriver() { return QLatin1String(kSqliteDriver); }

const Backend& Backend::Default() { return SqliteBackend::Instance(); }

// Where each statement is a round trip, a transaction would add two.
bool Backend::beginReads(Connection&) const { return false; }
void Backend::endReads(Connection&) const {}

const char* Backend::countedOccupancy(bool, bool, const QDate&, const QDate&, RowParams*) const {
  return nullptr;
}

}  // namespace taurelin
