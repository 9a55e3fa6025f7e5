#pragma once

// The one way the store reads every row of a statement that it runs on every request: the
// connection's backend runs it its own way (SQLite on the raw handle, in a statement kept for
// the connection; the others through Statement, which keeps its prepared statements where that
// pays) and hands each row over as a RowView, which reads each value alike on every backend
// and fails alike (DatabaseError). So a converter is written once (occupancy_rows.h).

#include "store/row_params.h"
#include "store/row_view.h"
#include "store/statement.h"

#include <QList>

#include <functional>
#include <utility>

namespace taurelin {

class Connection;

// Statement for `sql` with `params` bound, opened.
Statement OpenedStatement(Connection& connection, const char* sql, const RowParams& params);

// Each row of `sql` with `params` bound, handed to `row` as the connection's backend reads it.
void ReadEachRow(Connection& connection, const char* sql, const RowParams& params,
                 const std::function<void(RowView&)>& row);

// Every row of `sql` with `params` bound, each converted by `convert`, which takes a RowView&.
// Throws DatabaseError.
template <typename Convert>
auto ReadRows(Connection& connection, const char* sql, const RowParams& params,
              Convert convert) {
  QList<decltype(convert(std::declval<RowView&>()))> rows;
  ReadEachRow(connection, sql, params, [&](RowView& row) { rows.append(convert(row)); });
  return rows;
}

}  // namespace taurelin
