#include "store/write_transaction.h"

#include "store/backend.h"
#include "store/connection.h"
#include "store/connection_state.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

namespace taurelin {
WriteTransaction::WriteTransaction(const QString& connectionName)
    : connectionName_(connectionName) {
  QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
  QString error;
  if (!database.isValid() || !EnsureOpen(database, &error)) {
    throw DatabaseError(error.isEmpty() ? QStringLiteral("no database connection") : error,
                        DatabaseError::Cause::kConnection);
  }
  Backend::Of(database).beginWrite(database);
  open_ = true;
  ConnectionState::Of(connectionName_).writing = true;
}

WriteTransaction::~WriteTransaction() {
  if (!open_) return;
  ConnectionState::Of(connectionName_).writing = false;
  QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
  // A lost session took the transaction with it.
  if (!database.isOpen()) return;
  Backend::Of(database).rollbackWrite(database);
}

void WriteTransaction::commit() {
  QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
  if (!database.isOpen()) {
    throw DatabaseError(QStringLiteral("the connection to the database was lost"),
                        DatabaseError::Cause::kConnection);
  }
  Backend::Of(database).commitWrite(database);
  open_ = false;
  ConnectionState::Of(connectionName_).writing = false;
}

void WriteTransaction::lockReservation(int facility, int rentalType) {
  QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
  Backend::Of(database).lockReservation(database, facility, rentalType);
}

bool WriteTransaction::IsOpen(const QString& connectionName) {
  const ConnectionState* state = ConnectionState::Find(connectionName);
  return state != nullptr && state->writing;
}

}  // namespace taurelin
