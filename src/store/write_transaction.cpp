#include "store/write_transaction.h"

#include "store/backend.h"
#include "store/connection.h"

#include <QSqlDatabase>

namespace taurelin {

WriteTransaction::WriteTransaction(Connection& connection) : connection_(connection) {
  QString error;
  if (!connection_.database().isValid() || !connection_.ensureOpen(&error)) {
    throw DatabaseError(error.isEmpty() ? QStringLiteral("no database connection") : error,
                        DatabaseError::Cause::kConnection);
  }
  connection_.backend().beginWrite(connection_);
  open_ = true;
  connection_.writing_ = true;
}

WriteTransaction::~WriteTransaction() {
  if (!open_) return;
  connection_.writing_ = false;
  // A lost session took the transaction with it.
  if (!connection_.database().isOpen()) return;
  connection_.backend().rollbackWrite(connection_);
}

void WriteTransaction::commit() {
  if (!connection_.database().isOpen()) {
    throw DatabaseError(QStringLiteral("the connection to the database was lost"),
                        DatabaseError::Cause::kConnection);
  }
  connection_.backend().commitWrite(connection_);
  open_ = false;
  connection_.writing_ = false;
}

void WriteTransaction::lockReservation(int facility, int rentalType) {
  connection_.backend().lockReservation(connection_, facility, rentalType);
}

}  // namespace taurelin
