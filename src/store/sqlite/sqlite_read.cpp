#include "store/sqlite/sqlite_read.h"

#include "store/connection.h"
#include "store/sqlite/sqlite_connection.h"

#include <QSqlError>

#include <sqlite3.h>

namespace taurelin {
namespace {

SqliteStatement Bound(Connection& connection, const char* sql, const RowParams& params) {
  connection.ready();
  SqliteStatement statement = SqliteKeptStatements::Of(connection).take(sql);
  for (const RowParam& p : params) {
    if (const auto* number = std::get_if<qint64>(&p.value)) {
      statement.bind(p.name, *number);
    } else if (const QDate day = std::get<QDate>(p.value); day.isValid()) {
      statement.bind(p.name, day);
    }
  }
  return statement;
}

}  // namespace

KeptSqliteRead::KeptSqliteRead(Connection& connection, const char* sql, const RowParams& params)
    : connection_(connection), statement_(Bound(connection, sql, params)), row_(statement_) {}

bool KeptSqliteRead::next() {
  if (statement_.next()) return true;
  if (!statement_.ok()) throw SqliteReadFailure(connection_, statement_.error());
  return false;
}

DatabaseError SqliteReadFailure(Connection& connection, const QString& error) {
  sqlite3* db = SqliteHandle(connection.database());
  return connection.failure(
      QSqlError(QStringLiteral("Unable to fetch row"), error, QSqlError::StatementError,
                QString::number(db == nullptr ? SQLITE_ERROR : sqlite3_extended_errcode(db))));
}

}  // namespace taurelin
