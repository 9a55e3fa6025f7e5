#include "store/connection.h"

#include "store/prepared_statements.h"
#include "store/sqlite_connection.h"
#include "store/sqlite_procedures.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

namespace taurelin {
namespace {

bool Fail(QString* error, const QString& text) {
  if (error != nullptr) *error = text;
  return false;
}

// Foreign keys are off by default in SQLite; WAL lets two connections read while one
// writes; the busy handler makes a second program wait for a writer instead of failing.
bool PrepareSqlite(QSqlDatabase& database, QString* error) {
  QSqlQuery query(database);
  for (const char* pragma : {"PRAGMA foreign_keys = ON", "PRAGMA journal_mode = WAL"}) {
    if (!query.exec(QLatin1String(pragma))) return Fail(error, query.lastError().text());
  }
  if (sqlite3* db = SqliteHandle(database)) WaitForLocksInShortSteps(db);
  return RegisterSqliteProcedures(database, error);
}

}  // namespace

bool OpenConnection(const DatabaseAlias& alias, const QString& connectionName, QString* error,
                    bool createMissingFile) {
  if (QSqlDatabase::contains(connectionName)) {
    PreparedStatements::Forget(connectionName);
    QSqlDatabase::removeDatabase(connectionName);
  }
  if (!QSqlDatabase::isDriverAvailable(alias.driver)) {
    return Fail(error, QStringLiteral("the database driver %1 is not installed").arg(alias.driver));
  }
  const bool sqlite = alias.driver == u"QSQLITE";
  if (sqlite && alias.database.isEmpty()) {
    return Fail(error, QStringLiteral("the alias %1 names no database file").arg(alias.name));
  }
  QSqlDatabase database = QSqlDatabase::addDatabase(alias.driver, connectionName);
  if (sqlite && !createMissingFile) {
    // Opened read-write only: a missing file fails now and opens once it exists.
    database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
    database.setDatabaseName(QStringLiteral("file:") +
                             QString::fromLatin1(QUrl::toPercentEncoding(alias.database, "/")) +
                             QStringLiteral("?mode=rw"));
  } else {
    database.setDatabaseName(alias.database);
  }
  if (!sqlite) {
    database.setHostName(alias.host);
    if (alias.port >= 0) database.setPort(alias.port);
    const bool named = !alias.user.isEmpty();
    database.setUserName(named ? alias.user : QLatin1String(kDefaultUser));
    database.setPassword(named ? alias.password : QLatin1String(kDefaultPassword));
  }
  return EnsureOpen(database, error);
}

bool EnsureOpen(QSqlDatabase& database, QString* error) {
  if (database.isOpen()) return true;
  if (!database.open()) {
    const QString text = database.lastError().text().trimmed();
    return Fail(error, text.isEmpty() ? QStringLiteral("the database cannot be opened") : text);
  }
  PreparedStatements::Opened(database);
  if (database.driverName() == u"QSQLITE" && !PrepareSqlite(database, error)) {
    database.close();
    return false;
  }
  return true;
}

}  // namespace taurelin
