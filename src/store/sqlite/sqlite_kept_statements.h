#pragma once

// The statements an SQLite connection keeps on its own handle, prepared once per opening and
// used again on every request: the hot reads and the database's procedures. SQLite prepares
// again by itself a kept statement whose tables changed, so nothing here goes stale. They are
// the handle entries of the connection's statement cache, which finalises them before the
// handle closes (StatementCache::forget), never on a closed handle.
//
// A statement is taken for one run: the cursor resets it and clears its bindings when it
// goes. The same statement must not be taken twice at once. One thread, like the connection.

#include "store/sqlite/sqlite_statement.h"
#include "store/statement_cache.h"

#include <map>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace taurelin {

class Connection;

class SqliteKeptStatements final : public HandleStatements {
 public:
  explicit SqliteKeptStatements(sqlite3* db) : db_(db) {}
  ~SqliteKeptStatements() override;

  // The kept statement for the text `sql`, prepared at its first use. One that does not
  // prepare gives a cursor whose ok() is false with the error.
  SqliteStatement take(const char* sql);
  void clear() override;
  sqlite3* handle() const { return db_; }

  // The kept statements of an open SQLite connection; throws DatabaseError for one that has
  // none (no SQLite connection, or not opened by Connection::open).
  static SqliteKeptStatements& Of(Connection& connection);

 private:
  sqlite3* db_;
  std::map<std::string, sqlite3_stmt*, std::less<>> bySql_;
};

}  // namespace taurelin
