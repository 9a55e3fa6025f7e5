#pragma once

// A prepared statement on a raw sqlite3 connection, for code that runs inside SQLite (the
// procedures) and so cannot go through Qt SQL. Finalised on destruction.

#include <QDate>
#include <QString>

#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace taurelin {

class SqliteStatement {
 public:
  SqliteStatement(sqlite3* db, const char* sql);
  // A statement prepared and kept elsewhere (SqliteKeptStatements): reset and its bindings
  // cleared on destruction, not finalised. Null stands for one that did not prepare, with
  // the handle's error.
  SqliteStatement(sqlite3* db, sqlite3_stmt* kept);
  ~SqliteStatement();
  SqliteStatement(SqliteStatement&& other) noexcept;
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;
  SqliteStatement& operator=(SqliteStatement&&) = delete;

  // Binds a named parameter (":name"); a name the statement does not use is skipped, so one
  // set of values serves statements that use only some of them.
  void bind(const char* name, qint64 value);
  void bind(const char* name, const QString& text);
  void bind(const char* name, QDate date);  // as ISO text, how dates are stored

  // Steps to the next row: true while there is one. False at the end or on failure; ok()
  // tells which.
  bool next();
  bool ok() const { return error_.isEmpty(); }
  const QString& error() const { return error_; }

  // The column of that name (case-insensitive), or -1.
  int column(const char* name) const;
  // A whole number: NULL reads as 0, a fraction is cut off; text or a blob is no number.
  // Rows are read with SqliteRow; this serves the procedures' own bookkeeping.
  std::optional<qint64> integer(int column) const;
  QString text(int column) const;  // NULL reads as a null QString
  sqlite3_stmt* handle() const { return statement_; }

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
  bool kept_ = false;
  QString error_;
};

}  // namespace taurelin
