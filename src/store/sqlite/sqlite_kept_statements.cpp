#include "store/sqlite/sqlite_kept_statements.h"

#include "store/connection.h"
#include "store/sqlite/sqlite_connection.h"

#include <sqlite3.h>

namespace taurelin {
namespace {

void Finalize(void* statement) { sqlite3_finalize(static_cast<sqlite3_stmt*>(statement)); }

}  // namespace

SqliteKeptStatements SqliteKeptStatements::Of(Connection& connection) {
  sqlite3* db = SqliteHandle(connection.database());
  if (db == nullptr) {
    throw DatabaseError(
        QStringLiteral("the connection %1 has no SQLite handle").arg(connection.name()),
        DatabaseError::Cause::kConnection);
  }
  return SqliteKeptStatements(connection.statements(), db);
}

SqliteStatement SqliteKeptStatements::take(const char* sql) {
  auto* statement = static_cast<sqlite3_stmt*>(cache_.handleStatement(sql));
  if (statement == nullptr) {
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
        SQLITE_OK) {
      sqlite3_finalize(statement);
      return SqliteStatement(db_, static_cast<sqlite3_stmt*>(nullptr));
    }
    cache_.keepHandleStatement(sql, statement, Finalize);
  }
  return SqliteStatement(db_, statement);
}

}  // namespace taurelin
