#include "store/sqlite_kept_statements.h"

#include <sqlite3.h>

#include <map>

namespace taurelin {
namespace {

struct Kept {
  sqlite3* db = nullptr;
  std::map<const char*, sqlite3_stmt*> bySql;  // the texts are the store's constants
};

std::map<QString, Kept>& Cache() {
  thread_local std::map<QString, Kept> cache;
  return cache;
}

void FinaliseAll(Kept& kept) {
  for (auto& [sql, statement] : kept.bySql) sqlite3_finalize(statement);
  kept.bySql.clear();
}

}  // namespace

SqliteStatement SqliteKeptStatements::Take(const QString& connectionName, sqlite3* db,
                                           const char* sql) {
  Kept& kept = Cache()[connectionName];
  // A connection opened anew has a new handle; the old one's statements went with Forget.
  if (kept.db != db) {
    kept.bySql.clear();
    kept.db = db;
  }
  auto found = kept.bySql.find(sql);
  if (found == kept.bySql.end()) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
        SQLITE_OK) {
      sqlite3_finalize(statement);
      return SqliteStatement(db, static_cast<sqlite3_stmt*>(nullptr));
    }
    found = kept.bySql.emplace(sql, statement).first;
  }
  return SqliteStatement(db, found->second);
}

void SqliteKeptStatements::Forget(const QString& connectionName) {
  auto found = Cache().find(connectionName);
  if (found == Cache().end()) return;
  FinaliseAll(found->second);
  Cache().erase(found);
}

}  // namespace taurelin
