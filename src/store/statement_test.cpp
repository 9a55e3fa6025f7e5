#include "store/statement.h"

#include "store/connection.h"
#include "store/ref_nr.h"
#include "store/test_database.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>

namespace taurelin {
namespace {

class StatementTest : public ::testing::Test {
 protected:
  StatementTest() {
    db_.run(QStringLiteral(
        "INSERT INTO ANLEGG (ANLEGGSNR, ANLEGGSNAVN, FORETAKSNR) VALUES (7, 'Fjellgard', 1);\n"
        "INSERT INTO AGENT (AKODE, NAVN) VALUES (1, 'Reisebyraet');\n"
        "INSERT INTO NASJON (NKODE, NAVN) VALUES ('N', 'NORGE');\n"));
    QString error;
    EXPECT_TRUE(connection_.open(db_.alias(), &error)) << error.toStdString();
  }

  int Count(const char* table) {
    Statement count(connection_);
    count.add(QStringLiteral("SELECT COUNT(*) N FROM ") + QLatin1String(table)).run();
    EXPECT_TRUE(count.next());
    return count.integer(QStringLiteral("N"));
  }

  TestDatabase db_;
  Connection connection_{QStringLiteral("statement_test")};
};

TEST_F(StatementTest, HostileTextsAreStoredAsTheyStand) {
  const QString hostile[] = {"x'; DROP TABLE AGENT; --", "1 OR 1=1", "a;b", "O'Brien"};
  int code = 10;
  for (const QString& text : hostile) {
    Statement insert(connection_);
    insert.add({"INSERT INTO AGENT (AKODE, NAVN)", "VALUES (:AKODE, :NAVN)"});
    insert.bindInteger(QStringLiteral("AKODE"), code++);
    insert.bindText(QStringLiteral("NAVN"), text);
    insert.run();
  }
  EXPECT_EQ(Count("AGENT"), 5);

  Statement lookup(connection_);
  lookup.add({"SELECT NKODE FROM NASJON", "WHERE NKODE = :NKODE"});
  lookup.bindText(QStringLiteral("NKODE"), QStringLiteral("N' OR '1'='1"));
  lookup.run();
  EXPECT_FALSE(lookup.next());
}

TEST_F(StatementTest, NumbersMustBeNumericLiterals) {
  for (const char* bad : {"1 OR 1=1", "7;", "7--", "abc", "", " ", "0x10", "1e3"}) {
    Statement s(connection_);
    s.add({"SELECT ANLEGGSNR FROM ANLEGG", "WHERE ANLEGGSNR = :ANLEGGSNR"});
    s.bindNumber(QStringLiteral("ANLEGGSNR"), QString::fromUtf8(bad));
    EXPECT_THROW(s.run(), DatabaseError) << bad;
  }
  for (const char* good : {"7", " 7 ", "+7", "7.0", "07"}) {
    Statement s(connection_);
    s.add({"SELECT ANLEGGSNR FROM ANLEGG", "WHERE ANLEGGSNR = :ANLEGGSNR"});
    s.bindNumber(QStringLiteral("ANLEGGSNR"), QString::fromUtf8(good));
    s.run();
    EXPECT_TRUE(s.next()) << good;
    EXPECT_EQ(s.text(QStringLiteral("ANLEGGSNR")), "7");
  }
  EXPECT_EQ(NumericLiteral(QStringLiteral("-12.50")).value(), QVariant(-12.5));
  EXPECT_EQ(NumericLiteral(QStringLiteral("-12")).value(), QVariant(qlonglong(-12)));
}

// A reference number keeps its text for the wire and names the booking the database would.
TEST(RefNrTest, NamesTheBookingAsTheDatabaseComparesNumbers) {
  for (const char* text : {"42", " 42 ", "+42", "0042", "42.0", "42."}) {
    const RefNr refnr{QString::fromLatin1(text)};
    EXPECT_EQ(refnr.text(), QLatin1String(text));
    EXPECT_TRUE(refnr.isNumber()) << text;
    EXPECT_EQ(refnr.number(), std::optional<qint64>(42)) << text;
  }
  for (const char* text : {"42.5", "-0.1", "99999999999999999999"}) {
    EXPECT_TRUE(RefNr(QString::fromLatin1(text)).isNumber()) << text;
    EXPECT_EQ(RefNr(QString::fromLatin1(text)).number(), std::nullopt) << text;
  }
  for (const char* text : {"", "abc", "1e2", "4 2", "0x2A"}) {
    EXPECT_FALSE(RefNr(QString::fromLatin1(text)).isNumber()) << text;
    EXPECT_EQ(RefNr(QString::fromLatin1(text)).number(), std::nullopt) << text;
  }
}

TEST_F(StatementTest, ReadsColumnsInTheProtocolsTextForms) {
  db_.run(QStringLiteral(
      "INSERT INTO UTYPE (UTYPE, KODE, BESKR) VALUES (5, 'H', 'Hytte');\n"
      "INSERT INTO PRIS (PRIS_ID, UTYPE, WEB) VALUES (1, 5, 'J');\n"));
  Statement insert(connection_);
  insert.add(QStringLiteral("INSERT INTO PRISLINJE (PRIS_ID, FRA_DATO, TIL_DATO, PRIS_UKE, "
                            "PRIS_WEEK) VALUES (1, :FRA, NULL, :UKE, :WEEK)"));
  insert.bindDate(QStringLiteral("FRA"), QDate(2000, 4, 8));
  insert.bindNumber(QStringLiteral("UKE"), QStringLiteral("1250"));
  insert.bindNumber(QStringLiteral("WEEK"), QStringLiteral("1249.50"));
  insert.run();
  EXPECT_EQ(insert.rowsAffected(), 1);

  Statement s(connection_);
  s.add({"SELECT PL.FRA_DATO FRA, PL.TIL_DATO TIL, PL.PRIS_UKE, PL.PRIS_WEEK, P.UTYPE",
         "FROM PRISLINJE PL, PRIS P WHERE P.PRIS_ID = PL.PRIS_ID AND PL.FRA_DATO <= :DAG"});
  s.bindDate(QStringLiteral("DAG"), QDate(2000, 4, 8));
  s.run();
  ASSERT_TRUE(s.next());
  EXPECT_EQ(s.text(QStringLiteral("FRA")), "08.04.2000");
  EXPECT_EQ(s.text(QStringLiteral("TIL")), "");
  EXPECT_EQ(s.text(QStringLiteral("PRIS_UKE")), "1250");
  EXPECT_EQ(s.text(QStringLiteral("pris_week")), "1249.5");
  EXPECT_EQ(s.text(QStringLiteral("UTYPE")), "5");
  EXPECT_EQ(s.date(QStringLiteral("FRA")), QDate(2000, 4, 8));
  EXPECT_FALSE(s.date(QStringLiteral("TIL")).isValid());
  EXPECT_EQ(s.integer(QStringLiteral("PRIS_UKE")), 1250);
  EXPECT_DOUBLE_EQ(s.number(QStringLiteral("PRIS_WEEK")), 1249.5);
  EXPECT_THROW(s.text(QStringLiteral("NO_SUCH_COLUMN")), DatabaseError);
  EXPECT_FALSE(s.next());
  // Identifiers are read whole beyond int's range.
  Statement wide(connection_);
  wide.add(QStringLiteral("SELECT 5000000000 AS BIG, 12.7 AS PART")).run();
  ASSERT_TRUE(wide.next());
  EXPECT_EQ(wide.integer64(QStringLiteral("BIG")), 5000000000);
  EXPECT_THROW(wide.integer(QStringLiteral("BIG")), DatabaseError);
  EXPECT_EQ(wide.integer64(QStringLiteral("PART")), 12);
}

TEST_F(StatementTest, FailuresThrowWithTheDatabasesMessage) {
  Statement bad(connection_);
  bad.add(QStringLiteral("SELECT * FROM NO_SUCH_TABLE"));
  try {
    bad.run();
    FAIL() << "opened";
  } catch (const DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("NO_SUCH_TABLE"), std::string::npos) << e.what();
  }
  Connection never{QStringLiteral("never_opened")};
  Statement nowhere(never);
  nowhere.add(QStringLiteral("SELECT 1"));
  EXPECT_THROW(nowhere.run(), DatabaseError);
  Statement text(connection_);
  text.add(QStringLiteral("SELECT ANLEGGSNAVN FROM ANLEGG")).run();
  ASSERT_TRUE(text.next());
  EXPECT_THROW(text.integer(QStringLiteral("ANLEGGSNAVN")), DatabaseError);
}

TEST_F(StatementTest, ClosedConnectionOpensAgainWithItsSetUp) {
  connection_.database().close();
  Statement s(connection_);
  s.add(QStringLiteral("PRAGMA foreign_keys")).run();
  ASSERT_TRUE(s.next());
  EXPECT_EQ(s.integer(QStringLiteral("foreign_keys")), 1);
}

}  // namespace
}  // namespace taurelin
