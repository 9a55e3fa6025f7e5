#pragma once

// For tests: a booking database in a temporary file, built from the schema, opened as a named
// Qt SQL connection the way the server opens one (WAL, busy timeout, procedures).

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>

struct sqlite3;

namespace taurelin {

class SqliteTestDatabase {
 public:
  SqliteTestDatabase();
  ~SqliteTestDatabase();
  SqliteTestDatabase(const SqliteTestDatabase&) = delete;
  SqliteTestDatabase& operator=(const SqliteTestDatabase&) = delete;

  // The first connection, which created the schema.
  QSqlDatabase database() const { return connection(name_); }
  // Opens (or reopens) another connection of that name on the same file.
  QSqlDatabase open(const QString& connectionName);
  // Runs SQL text (any number of statements) on the first connection; fails the test on an
  // error.
  void exec(const char* sql);

  static QSqlDatabase connection(const QString& name) { return QSqlDatabase::database(name); }
  static sqlite3* Handle(const QSqlDatabase& database);

 private:
  QTemporaryDir dir_;
  QString name_;
  QStringList names_;
};

}  // namespace taurelin
