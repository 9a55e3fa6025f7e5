#include "store/write_transaction.h"

#include "store/backend.h"
#include "store/connection.h"

#include <QSet>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

namespace taurelin {
namespace {

QSet<QString>& OpenTransactions() {
  static QSet<QString> open;
  return open;
}

}  // namespace

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
  OpenTransactions().insert(connectionName_);
}

WriteTransaction::~WriteTransaction() {
  if (!open_) return;
  OpenTransactions().remove(connectionName_);
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
  OpenTransactions().remove(connectionName_);
}

void WriteTransaction::lockReservation(int facility, int rentalType) {
  QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
  Backend::Of(database).lockReservation(database, facility, rentalType);
}

bool WriteTransaction::IsOpen(const QString& connectionName) {
  return OpenTransactions().contains(connectionName);
}

}  // namespace taurelin
