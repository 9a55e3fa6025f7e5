#include "store/transaction.h"

#include "store/connection.h"
#include "store/database_error.h"

#include <QSqlDatabase>
#include <QSqlError>

namespace taurelin {
namespace {

QString ErrorText(const QSqlError& error, const char* fallback) {
  const QString text = error.text().trimmed();
  return text.isEmpty() ? QLatin1String(fallback) : text;
}

}  // namespace

Transaction::Transaction(const QString& connectionName) : connectionName_(connectionName) {
  QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
  if (!database.isValid()) {
    throw DatabaseError(QStringLiteral("no database connection %1").arg(connectionName_));
  }
  // Opened the way statements open it, so that a reopened SQLite connection has its
  // procedures and settings.
  QString error;
  if (!EnsureOpen(database, &error)) throw DatabaseError(error);
  if (!database.transaction()) {
    throw DatabaseError(ErrorText(database.lastError(), "cannot begin a transaction"));
  }
  active_ = true;
}

Transaction::~Transaction() {
  if (!active_) return;
  // A destructor must not throw, and a scope left by a failure has that failure to report.
  QSqlDatabase::database(connectionName_, false).rollback();
}

void Transaction::commit() {
  QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
  if (!database.commit()) {
    throw DatabaseError(ErrorText(database.lastError(), "cannot commit the transaction"));
  }
  active_ = false;
}

}  // namespace taurelin
