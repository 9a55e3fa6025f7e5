#include "store/statement_cache.h"

#include "store/connection.h"
#include "store/postgres/postgres_test_database.h"
#include "store/statement.h"
#include "store/test_database.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>

namespace taurelin {
namespace {

QStringList AgentNames(Connection& connection, int agent) {
  Statement s(connection);
  s.add({"SELECT NAVN FROM AGENT", "WHERE AKODE = :AKODE"});
  s.bindInteger(QStringLiteral("AKODE"), agent);
  s.run();
  QStringList names;
  while (s.next()) names << s.text(QStringLiteral("NAVN"));
  return names;
}

// A statement run again and again on one connection: each run with its own values, a nested
// run of the same statement beside it, a connection closed and opened again between runs, and
// its table replaced between runs.
void RunsAgainAsNew(const DatabaseAlias& alias, const std::function<void(const QString&)>& run) {
  run(QStringLiteral("INSERT INTO AGENT (AKODE, NAVN) VALUES (1, 'Reisebyraet');\n"
                     "INSERT INTO AGENT (AKODE, NAVN) VALUES (2, 'Fjordturer');\n"));
  Connection connection{QStringLiteral("statement_cache_test")};
  QString error;
  ASSERT_TRUE(connection.open(alias, &error)) << error.toStdString();

  EXPECT_EQ(AgentNames(connection, 1), QStringList{"Reisebyraet"});
  EXPECT_EQ(AgentNames(connection, 2), QStringList{"Fjordturer"});
  EXPECT_EQ(AgentNames(connection, 3), QStringList{});
  {
    Statement outer(connection);
    outer.add({"SELECT NAVN FROM AGENT", "WHERE AKODE = :AKODE"});
    outer.bindInteger(QStringLiteral("AKODE"), 2);
    outer.run();
    EXPECT_EQ(AgentNames(connection, 1), QStringList{"Reisebyraet"});
    ASSERT_TRUE(outer.next());
    EXPECT_EQ(outer.text(QStringLiteral("NAVN")), QStringLiteral("Fjordturer"));
  }

  // Closed without forgetting its queries first (the server always forgets them): none of
  // them may serve the new session.
  connection.database().close();
  EXPECT_EQ(AgentNames(connection, 1), QStringList{"Reisebyraet"});

  // A table replaced from elsewhere, as an operator restoring it would: the statement reads
  // the new one.
  run(QStringLiteral("ALTER TABLE AGENT RENAME TO AGENT_GAMMEL;\n"
                     "CREATE TABLE AGENT (AKODE INTEGER PRIMARY KEY, NAVN VARCHAR(40));\n"
                     "INSERT INTO AGENT (AKODE, NAVN) VALUES (1, 'Nye reiser');\n"));
  EXPECT_EQ(AgentNames(connection, 1), QStringList{"Nye reiser"});
}

TEST(StatementCacheTest, RunsAgainAsNewOnSqlite) {
  TestDatabase database;
  RunsAgainAsNew(database.alias(), [&database](const QString& sql) { database.run(sql); });
}

TEST(StatementCacheTest, RunsAgainAsNewOnPostgres) {
  if (!PostgresTestDatabase::Available()) GTEST_SKIP() << PostgresTestDatabase::kSkip;
  PostgresTestDatabase database;
  RunsAgainAsNew(database.alias(), [&database](const QString& sql) { database.run(sql); });
}

}  // namespace
}  // namespace taurelin
