// The booking database on a PostgreSQL server: installing the schema and the demo, the check
// of the database, and the number series. Skipped without a test server.

#include "admin/amounts.h"
#include "admin/contract.h"
#include "admin/schema.h"
#include "store/connection.h"
#include "store/postgres/postgres_test_database.h"
#include "store/sqlite/sqlite_test_database.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <map>
#include <memory>

namespace taurelin {
namespace {

std::string Show(const QStringList& lines) { return lines.join(u'\n').toStdString(); }

class PostgresSchemaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PostgresTestDatabase::Available()) GTEST_SKIP() << PostgresTestDatabase::kSkip;
  }
  void TearDown() override { connections_.clear(); }

  void Create(PostgresTestDatabase::Content content) {
    db_ = std::make_unique<PostgresTestDatabase>(content);
  }
  // A connection opened as the server opens it.
  QSqlDatabase Open(const QString& name) {
    std::unique_ptr<Connection>& connection = connections_[name];
    if (!connection) connection = std::make_unique<Connection>(name);
    QString error;
    EXPECT_TRUE(connection->open(db_->alias(), &error)) << error.toStdString();
    return connection->database();
  }
  static QStringList Rows(QSqlDatabase database, const QString& sql) {
    QSqlQuery query(database);
    QStringList rows;
    if (!query.exec(sql)) {
      ADD_FAILURE() << sql.toStdString() << ": " << query.lastError().text().toStdString();
      return rows;
    }
    while (query.next()) {
      QStringList cells;
      for (int i = 0; i < query.record().count(); ++i) cells << query.value(i).toString();
      rows << cells.join(u'|');
    }
    return rows;
  }
  static qint64 Number(QSqlDatabase database, const char* series) {
    const QStringList rows =
        Rows(database, QStringLiteral("SELECT %1 FROM LAGE_%1").arg(QLatin1String(series)));
    EXPECT_EQ(rows.size(), 1);
    return rows.value(0).toLongLong();
  }

  std::unique_ptr<PostgresTestDatabase> db_;
  std::map<QString, std::unique_ptr<Connection>> connections_;
};

TEST_F(PostgresSchemaTest, InstallsOnAnEmptyDatabaseAndTheCheckFindsEverything) {
  Create(PostgresTestDatabase::kEmpty);
  QSqlDatabase database = Open(QStringLiteral("install"));
  QString error;
  EXPECT_EQ(HasTables(database, &error), std::optional<bool>(false));
  ASSERT_TRUE(InstallSchema(database, false, &error)) << error.toStdString();
  EXPECT_TRUE(CheckContract(database).isEmpty()) << Show(CheckContract(database));
  EXPECT_EQ(Rows(database, QStringLiteral("SELECT NAVN, VERDI FROM TELLER ORDER BY NAVN")),
            QStringList({"BESTNR|0", "LINJENR|0", "REFNR|0"}));

  EXPECT_FALSE(InstallSchema(database, true, &error));
  EXPECT_TRUE(error.contains(u"already has tables")) << error.toStdString();
  EXPECT_EQ(Rows(database, QStringLiteral("SELECT count(*) FROM ANLEGG")), QStringList({"0"}));
}

TEST_F(PostgresSchemaTest, ScriptStopsAtTheStatementThatFailsAndAFailedInstallLeavesNothing) {
  Create(PostgresTestDatabase::kEmpty);
  QSqlDatabase database = Open(QStringLiteral("script"));
  QString error;
  // The failure of a statement after the first is reported, with its line.
  EXPECT_FALSE(ExecuteScript(database,
                             QStringLiteral("CREATE TABLE A (X INTEGER);\n"
                                            "INSERT INTO A VALUES (1);\n"
                                            "INSERT INTO NOPE VALUES (2);\n"
                                            "INSERT INTO A VALUES (3);\n"),
                             &error));
  EXPECT_TRUE(error.contains(u"nope")) << error.toStdString();
  EXPECT_TRUE(error.contains(u"LINE 3")) << error.toStdString();

  error.clear();
  EXPECT_FALSE(ExecuteScriptsAtomically(
      database, {QStringLiteral("CREATE TABLE B (X INTEGER PRIMARY KEY);"),
                 QStringLiteral("INSERT INTO B VALUES (1);\nINSERT INTO B VALUES (1);")},
      &error));
  EXPECT_TRUE(error.contains(u"duplicate key")) << error.toStdString();
  EXPECT_EQ(HasTables(database, &error), std::optional<bool>(false));
  // The connection is usable again: no failed transaction was left open.
  EXPECT_TRUE(InstallSchema(database, false, &error)) << error.toStdString();
}

TEST_F(PostgresSchemaTest, DemoLoadsAndNewNumbersFollowItsOwn) {
  Create(PostgresTestDatabase::kDemo);
  QSqlDatabase database = Open(QStringLiteral("demo"));
  EXPECT_TRUE(CheckContract(database).isEmpty()) << Show(CheckContract(database));
  EXPECT_EQ(Rows(database, QStringLiteral("SELECT (SELECT count(*) FROM UTLEIEOB),"
                                          " (SELECT count(*) FROM BOOKING),"
                                          " (SELECT count(*) FROM LEIE),"
                                          " (SELECT count(*) FROM PRISLINJE)")),
            QStringList({"60|4|10|43"}));
  // Texts keep their letters; dates come back as dates.
  EXPECT_EQ(Rows(database, QStringLiteral("SELECT BESKR FROM FLOY WHERE FLOYKODE = 'FH-O'")),
            QStringList({"Øvre tun"}));
  EXPECT_EQ(Rows(database, QStringLiteral("SELECT count(*) FROM LEIE WHERE ANKOMST < AVREISE")),
            QStringList({"10"}));

  EXPECT_EQ(Rows(database, QStringLiteral("SELECT NAVN, VERDI FROM TELLER ORDER BY NAVN")),
            QStringList({"BESTNR|503", "LINJENR|5010", "REFNR|1004"}));
  EXPECT_EQ(Number(database, "REFNR"), 1005);
  EXPECT_EQ(Number(database, "LINJENR"), 5011);
  EXPECT_EQ(Number(database, "BESTNR"), 504);
  EXPECT_EQ(Rows(database, QStringLiteral("SELECT VERDI FROM TELLER WHERE NAVN = 'REFNR'")),
            QStringList({"1005"}));
}

TEST_F(PostgresSchemaTest, NumbersNeverRepeatAcrossConnectionsTransactionsAndRestarts) {
  Create(PostgresTestDatabase::kSchema);
  QSqlDatabase a = Open(QStringLiteral("numbers_a"));
  QSqlDatabase b = Open(QStringLiteral("numbers_b"));
  EXPECT_EQ(Number(a, "REFNR"), 1);
  EXPECT_EQ(Number(b, "REFNR"), 2);
  // Two open transactions draw at once; one is rolled back, its number stays used.
  ASSERT_TRUE(a.transaction());
  ASSERT_TRUE(b.transaction());
  EXPECT_EQ(Number(a, "REFNR"), 3);
  EXPECT_EQ(Number(b, "REFNR"), 4);
  ASSERT_TRUE(a.rollback());
  ASSERT_TRUE(b.commit());
  EXPECT_EQ(Number(a, "REFNR"), 5);
  b = QSqlDatabase();
  b = Open(QStringLiteral("numbers_b"));  // a restart
  EXPECT_EQ(Number(b, "REFNR"), 6);
  // Each series counts on its own.
  EXPECT_EQ(Number(b, "LINJENR"), 1);
  EXPECT_EQ(Number(a, "BESTNR"), 1);

  // Setting a series, as data written for SQLite does, moves it on; it keeps its name.
  QSqlQuery update(a);
  ASSERT_TRUE(update.exec(QStringLiteral("UPDATE TELLER SET VERDI = 41 WHERE NAVN = 'LINJENR'")))
      << update.lastError().text().toStdString();
  EXPECT_EQ(update.numRowsAffected(), 1);
  EXPECT_EQ(Number(b, "LINJENR"), 42);
  EXPECT_FALSE(update.exec(QStringLiteral("UPDATE TELLER SET NAVN = 'X' WHERE NAVN = 'REFNR'")));
  EXPECT_EQ(Number(a, "REFNR"), 7);
}

TEST_F(PostgresSchemaTest, CheckNamesWhatIsMissing) {
  Create(PostgresTestDatabase::kSchema);
  db_->run(QStringLiteral("DROP VIEW UTYPER_BRUKER;\n"
                          "DROP VIEW LAGE_BESTNR;\n"
                          "ALTER TABLE LEIE DROP COLUMN AG_PROV;\n"
                          "DROP FUNCTION BEREGN_WEB_PRISMATRISE(TEXT, TEXT, TEXT, NUMERIC,"
                          " NUMERIC);\n"
                          "DROP FUNCTION BEREGN_WEB_PRISMATRISE(DATE, DATE, DATE, NUMERIC,"
                          " NUMERIC);\n"
                          "DROP VIEW TELLER;\n"));
  QSqlDatabase database = Open(QStringLiteral("check"));
  const QStringList missing = CheckContract(database);
  EXPECT_EQ(missing.size(), 5) << Show(missing);
  EXPECT_TRUE(missing.contains(u"table LEIE has no column AG_PROV")) << Show(missing);
  EXPECT_TRUE(missing.contains(u"view UTYPER_BRUKER is missing")) << Show(missing);
  EXPECT_TRUE(missing.contains(u"view TELLER is missing")) << Show(missing);
  EXPECT_EQ(missing.filter(QStringLiteral("procedure LAGE_BESTNR does not compile")).size(), 1)
      << Show(missing);
  EXPECT_EQ(
      missing.filter(QStringLiteral("procedure BEREGN_WEB_PRISMATRISE does not compile")).size(),
      1)
      << Show(missing);
}

// The copy into PostgreSQL guards the columns and names the rows that the catalogue tells:
// the same amounts and keys as on SQLite. Here the type itself holds every amount as it is.
TEST_F(PostgresSchemaTest, AmountsAndKeysAreThoseOfSqliteAndTheCheckFindsNothingToReport) {
  Create(PostgresTestDatabase::kDemo);
  QSqlDatabase database = Open(QStringLiteral("amounts"));
  SqliteTestDatabase sqlite;
  QSqlDatabase other = sqlite.database();
  auto shape = [](QSqlDatabase& on, const QString& table) {
    QString error;
    const std::optional<DecimalTable> read = ReadDecimalTable(on, table, &error);
    EXPECT_TRUE(read.has_value()) << error.toStdString();
    QStringList described{read.value_or(DecimalTable{}).key.join(u' ').toUpper()};
    for (const DecimalColumn& column : read.value_or(DecimalTable{}).decimals) {
      described << column.name.toUpper() + u' ' + column.type();
    }
    return described;
  };
  for (const QString& table : ContractTables()) {
    EXPECT_EQ(shape(database, table), shape(other, table)) << table.toStdString();
  }
  EXPECT_EQ(shape(database, QStringLiteral("PRISLINJE")),
            QStringList({"PRIS_ID FRA_DATO", "PRIS_UKE NUMERIC(15,2)", "PRIS_WEEK NUMERIC(15,2)"}));
  EXPECT_EQ(CheckAmounts(database), QStringList());
}

}  // namespace
}  // namespace taurelin
