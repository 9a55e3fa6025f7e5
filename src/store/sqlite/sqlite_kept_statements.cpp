#include "store/sqlite/sqlite_kept_statements.h"

#include "store/connection.h"

#include <sqlite3.h>

#include <string_view>

namespace taurelin {

SqliteKeptStatements::~SqliteKeptStatements() { clear(); }

SqliteStatement SqliteKeptStatements::take(const char* sql) {
  auto found = bySql_.find(std::string_view(sql));
  if (found == bySql_.end()) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
        SQLITE_OK) {
      sqlite3_finalize(statement);
      return SqliteStatement(db_, static_cast<sqlite3_stmt*>(nullptr));
    }
    found = bySql_.emplace(sql, statement).first;
  }
  return SqliteStatement(db_, found->second);
}

void SqliteKeptStatements::clear() {
  for (auto& [sql, statement] : bySql_) sqlite3_finalize(statement);
  bySql_.clear();
}

SqliteKeptStatements& SqliteKeptStatements::Of(Connection& connection) {
  auto* kept = dynamic_cast<SqliteKeptStatements*>(connection.statements().onHandle());
  if (kept == nullptr) {
    throw DatabaseError(
        QStringLiteral("the connection %1 keeps no SQLite statements").arg(connection.name()));
  }
  return *kept;
}

}  // namespace taurelin
