#include "store/write_transaction.h"

#include "store/connection.h"
#include "store/database_error.h"
#include "store/dialect.h"

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
    throw DatabaseError(error.isEmpty() ? QStringLiteral("no database connection") : error);
  }
  if (database.driverName() == u"QSQLITE") {
    run("BEGIN IMMEDIATE");
  } else if (!database.transaction()) {
    throw DatabaseError(database.lastError().text());
  }
  open_ = true;
  OpenTransactions().insert(connectionName_);
}

WriteTransaction::~WriteTransaction() {
  if (!open_) return;
  OpenTransactions().remove(connectionName_);
  QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
  if (database.driverName() == u"QSQLITE") {
    QSqlQuery(database).exec(QStringLiteral("ROLLBACK"));
  } else {
    database.rollback();
  }
}

void WriteTransaction::commit() {
  QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
  const bool sqlite = database.driverName() == u"QSQLITE";
  if (sqlite) {
    run("COMMIT");
  } else if (!database.commit()) {
    throw DatabaseError(database.lastError().text());
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
  if (!query.exec()) throw DatabaseError(query.lastError().text());
}

bool WriteTransaction::IsOpen(const QString& connectionName) {
  return OpenTransactions().contains(connectionName);
}

void WriteTransaction::run(const char* sql) {
  QSqlQuery query(QSqlDatabase::database(connectionName_, false));
  if (!query.exec(QLatin1String(sql))) throw DatabaseError(query.lastError().text());
}

}  // namespace taurelin
