#include "store/sqlite/sqlite_read.h"

#include "store/connection.h"
#include "store/sqlite/sqlite_connection.h"

#include <QSqlError>

#include <sqlite3.h>

namespace taurelin {
namespace {

SqliteStatement Bound(QSqlDatabase& database, const char* sql, const RowParams& params) {
  SqliteStatement statement = SqliteKeptStatements::Take(SqliteHandle(database), sql);
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

KeptSqliteRead::KeptSqliteRead(const QString& connection, const char* sql,
                               const RowParams& params)
    : database_(ReadyConnection(connection)),
      statement_(Bound(database_, sql, params)),
      row_(statement_) {}

bool KeptSqliteRead::next() {
  if (statement_.next()) return true;
  if (!statement_.ok()) throw SqliteReadFailure(database_, statement_.error());
  return false;
}

DatabaseError SqliteReadFailure(QSqlDatabase& database, const QString& error) {
  sqlite3* db = SqliteHandle(database);
  return StatementFailure(
      database, QSqlError(QStringLiteral("Unable to fetch row"), error, QSqlError::StatementError,
                          QString::number(db == nullptr ? SQLITE_ERROR
                                                        : sqlite3_extended_errcode(db))));
}

}  // namespace taurelin
