#pragma once

// The statements an SQLite connection keeps prepared on its own handle and uses again on
// every request: the hot reads and the database's procedures. They are the handle entries of
// the connection's statement cache (StatementCache), which finalises them before the handle
// closes; this is the SQLite side of them, a view of one cache on one handle. SQLite prepares
// again by itself a kept statement whose tables changed, so nothing here goes stale.
//
// A statement is taken for one run: the cursor resets it and clears its bindings when it
// goes. The same statement must not be taken twice at once. One thread, like the connection.

#include "store/sqlite/sqlite_statement.h"

struct sqlite3;

namespace taurelin {

class Connection;
class StatementCache;

class SqliteKeptStatements {
 public:
  // The statements of `cache` on the handle `db`, which `cache` belongs to.
  SqliteKeptStatements(StatementCache& cache, sqlite3* db) : cache_(cache), db_(db) {}
  // The kept statements of a ready SQLite connection; throws DatabaseError for one that is
  // no open SQLite connection.
  static SqliteKeptStatements Of(Connection& connection);

  // The kept statement for the text `sql`, prepared at its first use. One that does not
  // prepare gives a cursor whose ok() is false with the error.
  SqliteStatement take(const char* sql);
  sqlite3* handle() const { return db_; }

 private:
  StatementCache& cache_;
  sqlite3* db_;
};

}  // namespace taurelin
