#pragma once

// A procedure that answers rows, made callable on an SQLite connection as an eponymous
// table-valued function: SELECT ... FROM NAME(arg, ...). The arguments are hidden columns;
// all of them must be given. The rows are computed when the statement starts reading, and a
// failure fails the statement with the function's own message.

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <vector>

struct sqlite3;
struct sqlite3_value;

namespace taurelin {

using TableRows = std::vector<QVariantList>;

struct TableFunction {
  QString name;
  // The result columns as in CREATE TABLE, {"REFNR INTEGER", ...}; the declared types are
  // what callers see as the column types.
  QStringList columns;
  QStringList arguments;
  // Writes the database: may be called only by a statement, never from a view or trigger.
  bool sideEffects = false;
  // Fills `rows` (one value per result column: qint64, double, QString or null) for the
  // arguments, in argument order; returns false with `error` set to fail the statement.
  std::function<bool(sqlite3* db, const std::vector<sqlite3_value*>& arguments,
                     TableRows* rows, QString* error)>
      compute;
};

// Registers `function` on `db` as a module of its name.
bool RegisterTableFunction(sqlite3* db, const TableFunction& function, QString* error);

}  // namespace taurelin
