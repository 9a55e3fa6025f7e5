#include "admin/admin_backend.h"

#include "admin/postgres/postgres_admin_backend.h"
#include "admin/sqlite/sqlite_admin_backend.h"

#include <QSqlDatabase>

namespace taurelin {

// The admin library's one chooser: the one place of it outside the backends' folders that
// names them or reads a driver's name.

const AdminBackend* AdminBackend::ForDriver(const QString& driver) {
  if (driver == QLatin1String(kSqliteDriver)) return &SqliteAdminBackend::Instance();
  if (driver == QLatin1String(kPostgresDriver)) return &PostgresAdminBackend::Instance();
  return nullptr;
}

const AdminBackend* AdminBackend::Find(const QSqlDatabase& database) {
  return ForDriver(database.driverName());
}

const AdminBackend& AdminBackend::Of(const QSqlDatabase& database) {
  const AdminBackend* found = Find(database);
  return found != nullptr ? *found : SqliteAdminBackend::Instance();
}

QString AdminBackend::DriverName(const QSqlDatabase& database) {
  return database.driverName();
}

}  // namespace taurelin
