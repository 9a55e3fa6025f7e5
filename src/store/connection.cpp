#include "store/connection.h"

#include "store/connection_watch.h"
#include "store/postgres/postgres_connection.h"
#include "store/prepared_statements.h"
#include "store/sqlite/sqlite_connection.h"
#include "store/sqlite/sqlite_procedures.h"
#include "store/write_transaction.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <sqlite3.h>

namespace taurelin {
namespace {

// Set on a driver whose session a statement found lost; cleared when it opens again.
constexpr char kLost[] = "taurelin.lost";

// An opening that ran into the connect timeout: when to try again, and what it said.
struct HeldOff {
  QDeadlineTimer until;
  QString error;
};

QHash<QString, HeldOff>& HeldOffOpenings() {
  thread_local QHash<QString, HeldOff> held;
  return held;
}

bool Fail(QString* error, const QString& text) {
  if (error != nullptr) *error = text;
  return false;
}

QString ErrorText(const QSqlError& error) {
  const QString text = error.text().trimmed();
  return text.isEmpty() ? QStringLiteral("unknown database error") : text;
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

// Whether an open connection's session is gone.
bool SessionGone(const QSqlDatabase& database) {
  if (database.driver()->property(kLost).toBool()) return true;
  pg_conn* postgres = PostgresHandle(database);
  return postgres != nullptr && SessionEnded(postgres);
}

bool Unreachable(const QString& connection, const QString& text, QString* error) {
  ConnectionWatch::Lost(connection, text);
  return Fail(error, text);
}

}  // namespace

bool OpenConnection(const DatabaseAlias& alias, const QString& connectionName, QString* error,
                    bool createMissingFile) {
  CloseConnection(connectionName);
  HeldOffOpenings().remove(connectionName);
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
    database.setConnectOptions(QStringLiteral("connect_timeout=%1").arg(kConnectTimeoutSeconds));
  }
  return EnsureOpen(database, error);
}

void CloseConnection(const QString& connectionName) {
  if (!QSqlDatabase::contains(connectionName)) return;
  PreparedStatements::Forget(connectionName);
  QSqlDatabase::database(connectionName, false).close();
  QSqlDatabase::removeDatabase(connectionName);
}

bool EnsureOpen(QSqlDatabase& database, QString* error) {
  if (database.isOpen() && !SessionGone(database)) return true;
  const QString name = database.connectionName();
  if (WriteTransaction::IsOpen(name) || PreparedStatements::InUse(name)) {
    return Unreachable(name, QStringLiteral("the connection to the database was lost"), error);
  }
  const auto held = HeldOffOpenings().constFind(name);
  if (held != HeldOffOpenings().cend() && !held->until.hasExpired()) {
    return Unreachable(name, held->error, error);
  }
  // The old session's statements go before it does.
  PreparedStatements::Forget(name);
  database.close();
  QElapsedTimer waited;
  waited.start();
  if (!database.open()) {
    const QString text = database.lastError().text().trimmed();
    const QString said = text.isEmpty() ? QStringLiteral("the database cannot be opened") : text;
    // A refusal comes at once; a wait this long was the connect timeout, or close to it.
    if (waited.elapsed() >= 1000) {
      HeldOffOpenings().insert(name, {QDeadlineTimer(kRetryAfterTimeoutMs), said});
    }
    return Unreachable(name, said, error);
  }
  HeldOffOpenings().remove(name);
  database.driver()->setProperty(kLost, false);
  PreparedStatements::Opened(database);
  if (database.driverName() == u"QSQLITE") {
    QString failure;
    if (!PrepareSqlite(database, &failure)) {
      database.close();
      return Unreachable(name, failure, error);
    }
    RememberSqliteFile(database);
  }
  ConnectionWatch::Answered(name);
  return true;
}

QSqlDatabase ReadyConnection(const QString& connectionName) {
  QSqlDatabase database = QSqlDatabase::database(connectionName, false);
  if (!database.isValid()) {
    throw DatabaseError(QStringLiteral("no database connection %1").arg(connectionName),
                        DatabaseError::Cause::kConnection);
  }
  QString error;
  if (!EnsureOpen(database, &error)) throw DatabaseError(error, DatabaseError::Cause::kConnection);
  return database;
}

bool ConnectionLost(QSqlDatabase& database, const QSqlError& error) {
  if (!database.isValid()) return true;
  bool lost = error.type() == QSqlError::ConnectionError && database.driverName() != u"QSQLITE";
  if (database.driverName() == u"QSQLITE") {
    // Qt's SQLite driver calls every failed step a connection error; the code tells.
    const int code = error.nativeErrorCode().toInt() & 0xff;
    lost = code == SQLITE_IOERR || code == SQLITE_CANTOPEN;
  } else if (!database.isOpen()) {
    lost = true;  // libpq saw the session end
  }
  if (!lost) return false;
  MarkConnectionLost(database, ErrorText(error));
  return true;
}

void MarkConnectionLost(QSqlDatabase& database, const QString& why) {
  database.driver()->setProperty(kLost, true);
  ConnectionWatch::Lost(database.connectionName(), why);
}

DatabaseError StatementFailure(QSqlDatabase& database, const QSqlError& error) {
  const bool lost = ConnectionLost(database, error);
  return DatabaseError(ErrorText(error), lost ? DatabaseError::Cause::kConnection
                                              : DatabaseError::Cause::kStatement);
}

}  // namespace taurelin
