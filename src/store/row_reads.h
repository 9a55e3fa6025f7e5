#pragma once

// The one way the store reads every row of a statement that it runs on every request. The
// store has two row readers, and this puts both behind one call: on SQLite the statement runs
// on the raw handle, in a statement kept for the connection (SqliteKeptStatements), and is
// read with SqliteRow; on every other backend through Statement, which keeps its prepared
// statements where that pays. Both read each value alike, and fail alike (DatabaseError), so a
// converter is written once, for either (occupancy_rows.h).

#include "store/row_params.h"
#include "store/sqlite/sqlite_read.h"
#include "store/statement.h"

#include <QDate>
#include <QList>
#include <QString>

#include <utility>

namespace taurelin {

// Statement for `sql` with `params` bound, opened.
Statement OpenedStatement(Connection& connection, const char* sql, const RowParams& params);

// Every row of `sql`, each converted by `convert`, which takes a SqliteRow& or a Statement&.
template <typename Convert>
auto ReadRows(Connection& connection, bool sqlite, const char* sql, const RowParams& params,
              Convert convert) {
  QList<decltype(convert(std::declval<SqliteRow&>()))> rows;
  if (sqlite) {
    KeptSqliteRead read(connection, sql, params);
    while (read.next()) rows.append(convert(read.row()));
  } else {
    Statement statement = OpenedStatement(connection, sql, params);
    while (statement.next()) rows.append(convert(statement));
  }
  return rows;
}

}  // namespace taurelin
