#pragma once

// Reading a statement on an SQLite connection's own handle, in a statement kept for the
// connection (SqliteKeptStatements), row by row with SqliteRow; failures as Statement
// reports them.

#include "store/database_error.h"
#include "store/row_params.h"
#include "store/sqlite/sqlite_kept_statements.h"
#include "store/sqlite/sqlite_row.h"

#include <QString>

namespace taurelin {

class Connection;

// A kept SQLite statement, bound and run on a ready connection: next() throws DatabaseError
// when a step fails, as Statement::next does.
class KeptSqliteRead {
 public:
  KeptSqliteRead(Connection& connection, const char* sql, const RowParams& params);
  bool next();
  SqliteRow& row() { return row_; }

 private:
  Connection& connection_;
  SqliteStatement statement_;
  SqliteRow row_;
};

// The failure of a read on the raw handle of an SQLite connection, as Statement reports one:
// with the connection's error code, so that a lost database is told from a bad statement.
DatabaseError SqliteReadFailure(Connection& connection, const QString& error);

}  // namespace taurelin
