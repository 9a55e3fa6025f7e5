#include "admin/contract.h"
#include "admin/schema.h"
#include "store/connection.h"
#include "store/sqlite/sqlite_driver.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace taurelin {
namespace {

const QStringList kProcedureNames = {"LAGE_REFNR", "LAGE_LINJENR", "LAGE_BESTNR",
                                     "BEREGN_WEB_PRISMATRISE", "HENT_LEDIG_MATRISE"};

std::string Show(const QStringList& lines) { return lines.join(u'\n').toStdString(); }

QStringList WithoutProcedures(const QStringList& lines) {
  QStringList rest;
  for (const QString& line : lines) {
    if (!line.startsWith(u"procedure ")) rest << line;
  }
  return rest;
}

// A plain SQLite connection (no procedures registered) on a fresh file.
class ContractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSqlDatabase database = QSqlDatabase::addDatabase(QLatin1String(kSqliteDriver), kName);
    database.setDatabaseName(dir_.filePath(QStringLiteral("contract.db")));
    ASSERT_TRUE(database.open());
  }
  void TearDown() override { QSqlDatabase::removeDatabase(kName); }
  QSqlDatabase Database() { return QSqlDatabase::database(kName); }
  void Run(const QString& script) {
    QSqlDatabase database = Database();
    QString error;
    ASSERT_TRUE(ExecuteScript(database, script, &error)) << error.toStdString();
  }
  void Install() {
    QSqlDatabase database = Database();
    QString error;
    ASSERT_TRUE(InstallSchema(database, false, &error)) << error.toStdString();
  }

  static inline const QString kName = QStringLiteral("contract_test");
  QTemporaryDir dir_;
};

TEST_F(ContractTest, FreshSchemaLacksOnlyProceduresThatAreNotRegistered) {
  Install();
  QSqlDatabase database = Database();
  const QStringList missing = CheckContract(database);
  ASSERT_EQ(missing.size(), kProcedureNames.size()) << Show(missing);
  for (int i = 0; i < missing.size(); ++i) {
    const QString expected = QStringLiteral("procedure %1 does not compile");
    EXPECT_TRUE(missing[i].startsWith(expected.arg(kProcedureNames[i])))
        << missing[i].toStdString();
  }
}

TEST_F(ContractTest, ServerConnectionLacksAtMostTheProcedures) {
  Install();
  DatabaseAlias alias;
  alias.name = QStringLiteral("contract");
  alias.database = Database().databaseName();
  Connection server{QStringLiteral("contract_server")};
  QString error;
  ASSERT_TRUE(server.open(alias, &error)) << error.toStdString();
  const QStringList missing = CheckContract(server.database());
  EXPECT_TRUE(WithoutProcedures(missing).isEmpty()) << Show(missing);
}

TEST_F(ContractTest, NamesEachMissingTableViewColumnAndNumberSeries) {
  Install();
  Run(QStringLiteral(
      "DROP TABLE NASJON;\n"
      "DROP VIEW UTYPER_BRUKER;\n"
      "ALTER TABLE LEIE DROP COLUMN AG_PROV;\n"
      "DROP VIEW ANLEGG_BRUKER;\n"
      "CREATE VIEW ANLEGG_BRUKER AS SELECT BRUKERID, MODUL_ID, RETTIGHET, ANLEGGSNR"
      " FROM BRUKERRETT;\n"
      "DELETE FROM TELLER WHERE NAVN = 'BESTNR';\n"));
  QSqlDatabase database = Database();
  const QStringList missing = WithoutProcedures(CheckContract(database));
  EXPECT_EQ(missing, QStringList({"table NASJON is missing",
                                  "table LEIE has no column AG_PROV",
                                  "view UTYPER_BRUKER is missing",
                                  "view ANLEGG_BRUKER has no column ANLEGGSNAVN",
                                  "table TELLER has no number series BESTNR"}))
      << Show(missing);
}

TEST_F(ContractTest, EmptyDatabaseLacksEveryTableAndView) {
  QSqlDatabase database = Database();
  const QStringList missing = CheckContract(database);
  // The tables, the views, TELLER, and the upgrade's index, version, triggers, the occupancy
  // counts with their triggers, the kept used allotments with theirs, the channel import's
  // three tables, the outbox with its intake and its index by state, and the bookings
  // awaiting confirmation.
  EXPECT_EQ(missing.filter(QStringLiteral(" is missing")).size(),
            18 + 2 + 1 + 20 + 11 + 8 + 6 + 1)
      << Show(missing);
  EXPECT_TRUE(missing.contains(u"table LEIE_PERIODE is missing (taurelin-db upgrade adds it)"));
  // Without the counts a database answers alike, only slower: the check says so.
  EXPECT_TRUE(missing.contains(
      u"table LEIE_DAG is missing (taurelin-db upgrade adds it, and stays are then read faster)"));
  EXPECT_TRUE(missing.contains(u"table BOOKING is missing"));
  EXPECT_TRUE(missing.contains(u"view ANLEGG_BRUKER is missing"));
  EXPECT_TRUE(missing.contains(u"table TELLER is missing"));
}

TEST_F(ContractTest, NamesCompareWithoutRegardToCase) {
  // PostgreSQL folds unquoted names to lower case; the check must still find them.
  QFile schema(QStringLiteral(":/db/sqlite/schema.sql"));
  QFile upgrade(QStringLiteral(":/db/sqlite/upgrade.sql"));
  ASSERT_TRUE(schema.open(QIODevice::ReadOnly) && upgrade.open(QIODevice::ReadOnly));
  Run(QString::fromUtf8(schema.readAll() + upgrade.readAll()).toLower() +
      QStringLiteral("\nUPDATE teller SET navn = upper(navn);"));
  QSqlDatabase database = Database();
  const QStringList missing = CheckContract(database);
  EXPECT_TRUE(WithoutProcedures(missing).isEmpty()) << Show(missing);
}

TEST_F(ContractTest, ProcedureCountsWhenItsCallCompilesWithTheColumnsRead) {
  Install();
  // Stand-ins that compile like the real calls, without arguments.
  Run(QStringLiteral("CREATE VIEW LAGE_REFNR AS SELECT 7 AS REFNR;\n"
                     "CREATE VIEW LAGE_BESTNR AS SELECT 7 AS NUMMER;\n"));
  QSqlDatabase database = Database();
  const QStringList missing = CheckContract(database);
  EXPECT_FALSE(missing.join(u'\n').contains(u"procedure LAGE_REFNR")) << Show(missing);
  EXPECT_EQ(missing.filter(QStringLiteral("procedure LAGE_BESTNR does not compile")).size(), 1)
      << Show(missing);
  EXPECT_TRUE(missing.join(u'\n').contains(u"no such column: BESTNR")) << Show(missing);
}

}  // namespace
}  // namespace taurelin
