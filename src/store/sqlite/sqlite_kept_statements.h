#pragma once

// Statements prepared once per SQLite connection and used again on every request: SQLite
// prepares again by itself a kept statement whose tables changed, so nothing here goes
// stale. They are finalised when their connection is forgotten (PreparedStatements::Forget,
// which runs before every close), never on a closed handle.
//
// A statement is taken for one run: the cursor resets it and clears its bindings when it
// goes. Connections belong to one thread, and so do their kept statements.

#include "store/sqlite/sqlite_statement.h"

#include <QString>

struct sqlite3;
struct sqlite3_stmt;

namespace taurelin {

class SqliteKeptStatements {
 public:
  // The kept statement for the text `sql` on the handle `db`, prepared at its first use. One that does not prepare gives a cursor whose ok() is
  // false with the error. The same statement must not be taken twice at once.
  static SqliteStatement Take(sqlite3* db, const char* sql);
  // Finalises the kept statements of a connection's handle; call it while the connection is
  // open.
  static void Forget(const QString& connectionName);
};

}  // namespace taurelin
