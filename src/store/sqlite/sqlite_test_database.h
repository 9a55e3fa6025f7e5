#pragma once

// For tests: a booking database in a temporary file with the schema (a TestDatabase), opened
// as named Qt SQL connections the way the server opens them (WAL, busy timeout, procedures),
// with direct access to SQLite's handle.

#include "store/connection.h"
#include "store/test_database.h"

#include <QSqlDatabase>
#include <QString>

#include <map>
#include <memory>

struct sqlite3;

namespace taurelin {

class SqliteTestDatabase {
 public:
  // The schema, and the demo business when `withDemo` is set.
  explicit SqliteTestDatabase(bool withDemo = false);
  ~SqliteTestDatabase();
  SqliteTestDatabase(const SqliteTestDatabase&) = delete;
  SqliteTestDatabase& operator=(const SqliteTestDatabase&) = delete;

  // The first connection, which created the schema.
  QSqlDatabase database() { return first().database(); }
  Connection& first() { return *connections_.at(name_); }
  // Opens (or reopens) another connection of that name on the same file.
  QSqlDatabase open(const QString& connectionName);
  // Runs SQL text (any number of statements) on the first connection; fails the test on an
  // error.
  void exec(const char* sql);

  static sqlite3* Handle(const QSqlDatabase& database);

 private:
  TestDatabase file_;
  QString name_;
  std::map<QString, std::unique_ptr<Connection>> connections_;
};

}  // namespace taurelin
