#include "admin/schema.h"

#include "admin/amounts.h"
#include "admin/contract.h"
#include "store/sqlite/sqlite_driver.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cmath>
#include <random>

namespace taurelin {
namespace {

// A plain SQLite connection on a file of a fresh directory, removed after each test.
class SchemaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    path_ = dir_.filePath(QStringLiteral("schema.db"));
    QSqlDatabase database =
        QSqlDatabase::addDatabase(QLatin1String(kSqliteDriver), QStringLiteral("schema_test"));
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

// Every amount column stores a value only when NUMERIC(15,2) of another backend would hold it
// as it is, and the copy's test of a value agrees with the column's check.
TEST_F(SchemaTest, AmountColumnsRefuseWhatNumericWouldRoundOrRefuse) {
  QSqlDatabase database = Database();
  QString error;
  ASSERT_TRUE(InstallSchema(database, false, &error)) << error.toStdString();
  ASSERT_TRUE(ExecuteScript(database,
                            QStringLiteral("INSERT INTO PRISLINJE (PRIS_ID, FRA_DATO)"
                                           " VALUES (1, '2025-06-01');"
                                           "INSERT INTO BOOKING (REFNR) VALUES (1);"
                                           "INSERT INTO LEIE (LINJENR, REFNR) VALUES (1, 1);"),
                            &error))
      << error.toStdString();
  QStringList amounts;
  for (const QString& table : ContractTables()) {
    const std::optional<DecimalTable> shape = ReadDecimalTable(database, table, &error);
    ASSERT_TRUE(shape.has_value()) << error.toStdString();
    for (const DecimalColumn& column : shape->decimals) {
      EXPECT_EQ(column.type(), "NUMERIC(15,2)");
      amounts << table + u'.' + column.name;
    }
  }
  EXPECT_EQ(amounts, QStringList({"PRISLINJE.PRIS_UKE", "PRISLINJE.PRIS_WEEK", "BOOKING.RABATT",
                                  "LEIE.A_PRIS", "LEIE.RABATT", "LEIE.AG_PROV"}));
  auto stores = [&](const QString& amount, const QVariant& value) {
    QSqlQuery update(database);
    update.prepare(QStringLiteral("UPDATE %1 SET %2 = ?")
                       .arg(amount.section(u'.', 0, 0), amount.section(u'.', 1)));
    update.addBindValue(value);
    return update.exec();
  };
  ASSERT_TRUE(database.transaction());  // a failed statement leaves the transaction open
  for (const QString& amount : amounts) {
    SCOPED_TRACE(amount.toStdString());
    for (const QVariant& held :
         {QVariant(100.12), QVariant(100.1), QVariant(100), QVariant(-5), QVariant(0),
          QVariant(-0.01), QVariant(QStringLiteral("100.10")), QVariant(9999999999999.99),
          QVariant(-9999999999999.99)}) {
      EXPECT_TRUE(stores(amount, held)) << held.toString().toStdString();
    }
    for (const QVariant& refused :
         {QVariant(100.125), QVariant(QStringLiteral("100.125")), QVariant(0.1 + 0.2),
          QVariant(-0.001), QVariant(1e13), QVariant(qint64(1) << 62),
          QVariant(QStringLiteral("cheap")), QVariant(QByteArray("1"))}) {
      EXPECT_FALSE(stores(amount, refused)) << refused.toString().toStdString();
    }
    EXPECT_EQ(stores(amount, QVariant()), !amount.startsWith(u"PRISLINJE"));
  }
  // The reals around amounts of every size, as a program computes them.
  std::mt19937_64 random(3);
  const DecimalColumn column{QStringLiteral("PRIS_UKE"), 15, 2};
  for (int i = 0; i < 1000; ++i) {
    const double amount = std::round(std::ldexp(double(random() % 1000000), int(random() % 40)) -
                                     5e11) / 100.0;
    for (const double value : {amount, std::nextafter(amount, 1e300), amount * 1.1, amount / 3}) {
      ASSERT_EQ(stores(QStringLiteral("PRISLINJE.PRIS_UKE"), value),
                DecimalProblem(value, column).isEmpty())
          << QString::number(value, 'g', 17).toStdString();
    }
  }
  database.rollback();
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
