#include "store/schema.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace taurelin {
namespace {

// A plain SQLite connection on a file of a fresh directory, removed after each test.
class SchemaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    path_ = dir_.filePath(QStringLiteral("schema.db"));
    QSqlDatabase database =
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("schema_test"));
    database.setDatabaseName(path_);
    ASSERT_TRUE(database.open());
  }
  void TearDown() override {
    QSqlDatabase::database(QStringLiteral("schema_test"), false).close();
    QSqlDatabase::removeDatabase(QStringLiteral("schema_test"));
  }
  QSqlDatabase Database() { return QSqlDatabase::database(QStringLiteral("schema_test")); }
  qint64 Count(const QString& table) {
    QSqlQuery query(Database());
    if (!query.exec(QStringLiteral("SELECT count(*) FROM ") + table) || !query.next()) return -1;
    return query.value(0).toLongLong();
  }

  QTemporaryDir dir_;
  QString path_;
};

TEST_F(SchemaTest, ScriptRunsStatementByStatementAndNamesTheLineThatFails) {
  QSqlDatabase database = Database();
  QString error;
  EXPECT_TRUE(ExecuteScript(database,
                            QStringLiteral("CREATE TABLE A (X INTEGER);\n"
                                           "-- a note; with a semicolon\n"
                                           "INSERT INTO A VALUES (1); INSERT INTO A VALUES (2);\n"
                                           "SELECT X FROM A;\n"
                                           "/* trailing comment */\n"),
                            &error))
      << error.toStdString();
  EXPECT_EQ(Count(QStringLiteral("A")), 2);

  EXPECT_FALSE(ExecuteScript(database,
                             QStringLiteral("INSERT INTO A VALUES (3);\n\n"
                                            "  INSERT INTO NOPE VALUES (4);\n"
                                            "INSERT INTO A VALUES (5);\n"),
                             &error));
  EXPECT_TRUE(error.contains(u"line 3")) << error.toStdString();
  EXPECT_TRUE(error.contains(u"NOPE")) << error.toStdString();
  EXPECT_EQ(Count(QStringLiteral("A")), 3);  // stops at the failure, keeps what went before
}

TEST_F(SchemaTest, FailingScriptLeavesNothingOfTheTransaction) {
  QFile schemaFile(QStringLiteral(":/db/sqlite/schema.sql"));
  ASSERT_TRUE(schemaFile.open(QIODevice::ReadOnly));
  const QString schema = QString::fromUtf8(schemaFile.readAll());
  QSqlDatabase database = Database();
  QString error;
  EXPECT_FALSE(ExecuteScriptsAtomically(
      database, {schema, QStringLiteral("INSERT INTO ANLEGG VALUES (1, 'x', 1);\n"
                                        "INSERT INTO ANLEGG VALUES (1, 'twice', 1);")},
      &error));
  EXPECT_TRUE(error.contains(u"UNIQUE")) << error.toStdString();
  EXPECT_EQ(HasTables(database, &error), std::optional<bool>(false));
  // The connection is usable again afterwards: no transaction was left open.
  EXPECT_TRUE(ExecuteScriptsAtomically(database, {schema}, &error)) << error.toStdString();
  EXPECT_EQ(Count(QStringLiteral("TELLER")), 3);
}

TEST_F(SchemaTest, InstallsOnAnEmptyDatabaseOnlyAndRefusesOtherwiseWithoutChange) {
  QSqlDatabase database = Database();
  QString error;
  EXPECT_EQ(HasTables(database, &error), std::optional<bool>(false));
  ASSERT_TRUE(InstallSchema(database, false, &error)) << error.toStdString();
  EXPECT_EQ(HasTables(database, &error), std::optional<bool>(true));
  EXPECT_EQ(Count(QStringLiteral("TELLER")), 3);
  EXPECT_EQ(Count(QStringLiteral("ANLEGG")), 0);  // no demo data asked for

  EXPECT_FALSE(InstallSchema(database, true, &error));
  EXPECT_TRUE(error.contains(u"already has tables")) << error.toStdString();
  EXPECT_EQ(Count(QStringLiteral("ANLEGG")), 0);
}

TEST_F(SchemaTest, ForeignTableMakesTheDatabaseOccupied) {
  QSqlDatabase database = Database();
  QSqlQuery(database).exec(QStringLiteral("CREATE TABLE NOTES (TEXT VARCHAR(10))"));
  QString error;
  EXPECT_FALSE(InstallSchema(database, true, &error));
  EXPECT_EQ(Count(QStringLiteral("NOTES")), 0);
  EXPECT_EQ(Count(QStringLiteral("TELLER")), -1);  // nothing was added beside it
}

TEST_F(SchemaTest, UnreadableFileIsNeverTakenForAnEmptyDatabase) {
  TearDown();
  const QByteArray garbage(4096, 'x');
  {
    QFile file(path_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(garbage);
  }
  SetUp();
  QSqlDatabase database = Database();
  QString error;
  EXPECT_FALSE(HasTables(database, &error).has_value());
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(InstallSchema(database, true, &error));
  QFile file(path_);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), garbage);
}

TEST(DateTokensTest, BecomeQuotedIsoDatesRelativeToTheDay) {
  const QDate day(2024, 2, 28);
  EXPECT_EQ(ExpandDateTokens(QStringLiteral("({DAY}, {DAY+1}, {DAY+2}, {DAY-59}, {DAY+730})"),
                             day),
            "('2024-02-28', '2024-02-29', '2024-03-01', '2023-12-31', '2026-02-27')");
  // Braces that are no date token stay as they are.
  EXPECT_EQ(ExpandDateTokens(QStringLiteral("'{DAYS}' {DAY*2} {day}"), day),
            "'{DAYS}' {DAY*2} {day}");
}

}  // namespace
}  // namespace taurelin
