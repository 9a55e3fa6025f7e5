#include "store/connection.h"

#include "store/backend.h"
#include "store/connection_state.h"
#include "store/connection_watch.h"
#include "store/fail.h"
#include "store/prepared_statements.h"
#include "store/write_transaction.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>

namespace taurelin {
namespace {

QString ErrorText(const QSqlError& error) {
  const QString text = error.text().trimmed();
  return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

// Whether an open connection's session is gone.
bool SessionGone(const QSqlDatabase& database) {
  if (ConnectionState::Of(database.connectionName()).lost) return true;
  return Backend::Of(database).sessionEnded(database);
}

bool Unreachable(const QString& connection, const QString& text, QString* error) {
  ConnectionWatch::Lost(connection, text);
  return Fail(error, text);
}

}  // namespace

bool OpenConnection(const DatabaseAlias& alias, const QString& connectionName, QString* error,
                    bool createMissingFile) {
  CloseConnection(connectionName);
  ConnectionState::Reset(connectionName);
  if (!QSqlDatabase::isDriverAvailable(alias.driver)) {
    return Fail(error, QStringLiteral("the database driver %1 is not installed").arg(alias.driver));
  }
  // The backend is chosen here, once, from the alias's driver.
  const Backend* backend = Backend::ForDriver(alias.driver);
  if (backend == nullptr) {
    return Fail(error,
                QStringLiteral("no backend serves the database driver %1").arg(alias.driver));
  }
  QSqlDatabase database;
  {
    QSqlDatabase candidate = QSqlDatabase::addDatabase(alias.driver, connectionName);
    if (!backend->configure(candidate, alias, createMissingFile, error)) {
      candidate = QSqlDatabase();
      QSqlDatabase::removeDatabase(connectionName);
      return false;
    }
    database = candidate;
  }
  ConnectionState::Of(connectionName).backend = backend;
  return EnsureOpen(database, error);
}

void CloseConnection(const QString& connectionName) {
  if (!QSqlDatabase::contains(connectionName)) return;
  PreparedStatements::Forget(connectionName);
  QSqlDatabase::database(connectionName, false).close();
  QSqlDatabase::removeDatabase(connectionName);
  ConnectionState::Reset(connectionName);
}

bool EnsureOpen(QSqlDatabase& database, QString* error) {
  if (database.isOpen() && !SessionGone(database)) return true;
  const QString name = database.connectionName();
  if (WriteTransaction::IsOpen(name) || PreparedStatements::InUse(name)) {
    return Unreachable(name, QStringLiteral("the connection to the database was lost"), error);
  }
  ConnectionState& state = ConnectionState::Of(name);
  if (state.heldOff && !state.heldOff->first.hasExpired()) {
    return Unreachable(name, state.heldOff->second, error);
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
      state.heldOff = {QDeadlineTimer(kRetryAfterTimeoutMs), said};
    }
    return Unreachable(name, said, error);
  }
  state.heldOff.reset();
  state.lost = false;
  PreparedStatements::Opened(database);
  QString failure;
  if (!Backend::Of(database).prepareOpened(database, &failure)) {
    database.close();
    return Unreachable(name, failure, error);
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
  if (!Backend::Of(database).lostBy(database, error)) return false;
  MarkConnectionLost(database, ErrorText(error));
  return true;
}

void MarkConnectionLost(QSqlDatabase& database, const QString& why) {
  ConnectionState::Of(database.connectionName()).lost = true;
  ConnectionWatch::Lost(database.connectionName(), why);
}

DatabaseError StatementFailure(QSqlDatabase& database, const QSqlError& error) {
  const bool lost = ConnectionLost(database, error);
  return DatabaseError(ErrorText(error), lost ? DatabaseError::Cause::kConnection
                                              : DatabaseError::Cause::kStatement);
}

}  // namespace taurelin
