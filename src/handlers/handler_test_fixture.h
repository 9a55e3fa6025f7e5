#pragma once

// Test support for the instruction handlers: a fresh booking database, a session connected
// to it, and a way to call a handler with values and read the database back.
//
// A suite runs on SQLite with TEST_F, or on both backends with TEST_P and
//
//   INSTANTIATE_TEST_SUITE_P(Backends, SomeTest, BothBackends(), BackendName());
//
// its PostgreSQL cases skipping themselves when no test server is named (TAURELIN_TEST_PG).

#include "handlers/instruction.h"
#include "store/database_session.h"
#include "store/postgres/postgres_test_database.h"
#include "store/test_database.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <utility>

// Failed comparisons of replies print as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

namespace taurelin {

enum class TestBackend { kSqlite, kPostgres };
void PrintTo(TestBackend backend, std::ostream* out);

inline auto BothBackends() {
  return ::testing::Values(TestBackend::kSqlite, TestBackend::kPostgres);
}
struct BackendName {
  std::string operator()(const ::testing::TestParamInfo<TestBackend>& info) const {
    return ::testing::PrintToString(info.param);
  }
};

class HandlerTest : public ::testing::TestWithParam<TestBackend> {
 protected:
  HandlerTest();
  // Skips a PostgreSQL case when there is no test server.
  void SetUp() override;

  bool postgres() const { return backend_ == TestBackend::kPostgres; }

  // Runs SQL on the database (its own connection).
  void Run(const char* sql) { Run(QString::fromUtf8(sql)); }
  void Run(const QString& sql);
  // Connects the session again, so that the rental-type summary sees the rows added since.
  void Reconnect();
  // Calls a handler with these column values; its reply as the wire shows it.
  QString Call(InstructionHandler handler,
               std::initializer_list<std::pair<const char*, QString>> values);
  // The first column of the first row of a query, as text ("" when there is no row).
  QString Scalar(const char* sql);
  QString Scalar(const QString& sql) { return Scalar(sql.toUtf8().constData()); }
  // Every row of a query as the handlers read it (dates dd.mm.yyyy, numbers in their
  // shortest form, NULL as "null"): columns joined by "|", rows by " / ".
  QString Rows(const QString& sql);
  QString Rows(const char* sql) { return Rows(QString::fromUtf8(sql)); }
  // Row counts of every table: equal before and after means nothing was written.
  QString Fingerprint();
  // Renames a table away and back, to make the handlers' statements on it fail.
  void HideTable(const char* table);
  void RestoreTable(const char* table);
  // Makes the database refuse (or, with `skip`, silently leave out) the rows that a write
  // `event` ("BEFORE UPDATE ON BOOKING") touches, where `condition` on NEW or OLD holds;
  // Allow takes the trigger `name` away again.
  void Refuse(const char* name, const char* event, const char* condition = "TRUE",
              bool skip = false);
  void Allow(const char* name, const char* table);

  // Request values that must never alter a statement.
  static QStringList HostileValues();

  TestBackend backend_;
  std::unique_ptr<TestDatabase> sqlite_;
  std::unique_ptr<PostgresTestDatabase> postgres_;
  // Handlers' tests look at answers, not at what the operator would hear.
  struct : StoreReports {
    void report(const StoreReport&) override {}
  } reports_;
  DatabaseSession session_;
  HandlerContext context_;
};

}  // namespace taurelin
