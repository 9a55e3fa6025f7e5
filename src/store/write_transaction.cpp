#include "store/write_transaction.h"

#include "store/connection.h"
#include "store/dialect.h"
#include "store/sqlite/sqlite_connection.h"

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
  if (database.driverName() == u"QSQLITE") {
    // Written into a file deleted or replaced meanwhile, the booking would be lost: the
    // write is refused, and the connection opens again on what the path names now.
    const QString replaced = SqliteFileReplaced(database);
    if (!replaced.isEmpty()) {
      MarkConnectionLost(database, replaced);
      throw DatabaseError(replaced, DatabaseError::Cause::kConnection);
    }
    run("BEGIN IMMEDIATE");
  } else if (!database.transaction()) {
    throw StatementFailure(database, database.lastError());
  }
  open_ = true;
  OpenTransactions().insert(connectionName_);
}

WriteTransaction::~WriteTransaction() {
  if (!open_) return;
  OpenTransactions().remove(connectionName_);
  QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
  // A lost session took the transaction with it.
  if (!database.isOpen()) return;
  if (database.driverName() == u"QSQLITE") {
    QSqlQuery(database).exec(QStringLiteral("ROLLBACK"));
  } else {
    database.rollback();
  }
}

void WriteTransaction::commit() {
  QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
  const bool sqlite = database.driverName() == u"QSQLITE";
  if (!database.isOpen()) {
    throw DatabaseError(QStringLiteral("the connection to the database was lost"),
                        DatabaseError::Cause::kConnection);
  }
  if (sqlite) {
    run("COMMIT");
  } else if (!database.commit()) {
    throw StatementFailure(database, database.lastError());
  }
  open_ = false;
  OpenTransactions().remove(connectionName_);
}

void WriteTransaction::lockReservation(int facility, int rentalType) {
  QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
  const QString sql = Dialect(database.driverName()).reservationLock();
  if (sql.isEmpty()) return;  // BEGIN IMMEDIATE already keeps every other writer out
  QSqlQuery query(database);
  query.prepare(sql);
  query.bindValue(QStringLiteral(":ANLEGG"), facility);
  query.bindValue(QStringLiteral(":UTYPE"), rentalType);
  if (!query.exec()) throw StatementFailure(database, query.lastError());
}

bool WriteTransaction::IsOpen(const QString& connectionName) {
  return OpenTransactions().contains(connectionName);
}

void WriteTransaction::run(const char* sql) {
  QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
  QSqlQuery query(database);
  if (!query.exec(QLatin1String(sql))) throw StatementFailure(database, query.lastError());
}

}  // namespace taurelin
