#pragma once

// Test support: a fresh PostgreSQL booking database of its own, on the test server that
// TAURELIN_TEST_PG names ("host=H port=P dbname=D user=U", as scripts/with-postgres sets
// it), with the schema (and the demo business when asked) installed, and an alias file that
// names it. The database is dropped again on destruction.
//
// Tests that need it skip themselves when no test server is named:
//
//   if (!PostgresTestDatabase::Available()) GTEST_SKIP() << PostgresTestDatabase::kSkip;

#include "store/alias_list.h"

#include <QTemporaryDir>

namespace taurelin {

class PostgresTestDatabase {
 public:
  static constexpr const char* kSkip = "no PostgreSQL test server (TAURELIN_TEST_PG)";
  static bool Available();

  enum Content { kEmpty, kSchema, kDemo };
  // Throws std::runtime_error when the database cannot be created or installed.
  explicit PostgresTestDatabase(Content content = kSchema);
  ~PostgresTestDatabase();
  PostgresTestDatabase(const PostgresTestDatabase&) = delete;
  PostgresTestDatabase& operator=(const PostgresTestDatabase&) = delete;

  // Runs a script of SQL statements on the database; throws on failure.
  void run(const QString& sql);
  // An outage of this database alone, as a restart of its server looks to a client: ends
  // every session on it and refuses new ones (false), or lets them in again (true). The test
  // server itself stays up for the tests beside. Throws on failure.
  void allowConnections(bool allow);

  const AliasList& aliases() const { return aliases_; }
  DatabaseAlias alias() const { return *aliases_.find(QStringLiteral("test")); }

 private:
  QTemporaryDir dir_;
  DatabaseAlias server_;  // the database that TAURELIN_TEST_PG names, where ours is made
  QString name_;
  AliasList aliases_;
};

}  // namespace taurelin
