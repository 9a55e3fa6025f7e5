#include "store/sqlite/sqlite_kept_statements.h"

#include "store/sqlite/sqlite_connection.h"

#include <QSqlDatabase>

#include <sqlite3.h>

#include <map>
#include <string>
#include <string_view>

namespace taurelin {
namespace {

// By handle, then by text.
using Kept = std::map<sqlite3*, std::map<std::string, sqlite3_stmt*, std::less<>>>;

Kept& Cache() {
  thread_local Kept cache;
  return cache;
}

}  // namespace

SqliteStatement SqliteKeptStatements::Take(sqlite3* db, const char* sql) {
  auto& bySql = Cache()[db];
  auto found = bySql.find(std::string_view(sql));
  if (found == bySql.end()) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
        SQLITE_OK) {
      sqlite3_finalize(statement);
      return SqliteStatement(db, static_cast<sqlite3_stmt*>(nullptr));
    }
    found = bySql.emplace(sql, statement).first;
  }
  return SqliteStatement(db, found->second);
}

void SqliteKeptStatements::Forget(const QString& connectionName) {
  const QSqlDatabase database = QSqlDatabase::database(connectionName, false);
  sqlite3* db = database.isValid() ? SqliteHandle(database) : nullptr;
  const auto found = Cache().find(db);
  if (db == nullptr || found == Cache().end()) return;
  for (auto& [sql, statement] : found->second) sqlite3_finalize(statement);
  Cache().erase(found);
}

}  // namespace taurelin
