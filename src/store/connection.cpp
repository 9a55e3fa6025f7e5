#include "store/connection.h"

#include "store/sqlite_procedures.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace taurelin {
namespace {

bool Fail(QString* error, const QString& text) {
  if (error != nullptr) *error = text;
  return false;
}

// Foreign keys are off by default in SQLite; WAL lets two connections read while one
// writes; the busy timeout makes a second program wait for a writer instead of failing.
bool PrepareSqlite(QSqlDatabase& database, QString* error) {
  QSqlQuery query(database);
  for (const char* pragma : {"PRAGMA foreign_keys = ON", "PRAGMA journal_mode = WAL",
                             "PRAGMA busy_timeout = 10000"}) {
    if (!query.exec(QLatin1String(pragma))) return Fail(error, query.lastError().text());
  }
  return RegisterSqliteProcedures(database, error);
}

}  // namespace

bool OpenConnection(const DatabaseAlias& alias, const QString& connectionName, QString* error) {
  if (QSqlDatabase::contains(connectionName)) QSqlDatabase::removeDatabase(connectionName);
  if (!QSqlDatabase::isDriverAvailable(alias.driver)) {
    return Fail(error, QStringLiteral("the database driver %1 is not installed").arg(alias.driver));
  }
  QSqlDatabase database = QSqlDatabase::addDatabase(alias.driver, connectionName);
  database.setDatabaseName(alias.database);
  const bool sqlite = alias.driver == u"QSQLITE";
  if (!sqlite) {
    database.setHostName(alias.host);
    if (alias.port >= 0) database.setPort(alias.port);
    const bool named = !alias.user.isEmpty();
    database.setUserName(named ? alias.user : QLatin1String(kDefaultUser));
    database.setPassword(named ? alias.password : QLatin1String(kDefaultPassword));
  }
  if (sqlite && alias.database.isEmpty()) {
    return Fail(error, QStringLiteral("the alias %1 names no database file").arg(alias.name));
  }
  if (!database.open()) return Fail(error, database.lastError().text());
  if (sqlite && !PrepareSqlite(database, error)) {
    database.close();
    return false;
  }
  return true;
}

}  // namespace taurelin
