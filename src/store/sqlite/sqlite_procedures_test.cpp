#include "store/sqlite/sqlite_procedures.h"

#include "store/postgres/postgres_driver.h"
#include "store/statement_cache.h"
#include "store/sqlite/sqlite_test_database.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sqlite3.h>

#include <ostream>

// Readable values in failure messages (inline: another test file of this program has it too).
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace taurelin {
namespace {

// Runs `sql` with positional values and gives each row as "a|b|c" (NULL for null), or
// fails: then `error` holds the database's message.
QStringList Select(const QSqlDatabase& database, const QString& sql,
                   const QVariantList& values = {}, QString* error = nullptr) {
  QSqlQuery query(database);
  QStringList rows;
  if (!query.prepare(sql)) {
    if (error != nullptr) *error = query.lastError().databaseText();
    return rows;
  }
  for (const QVariant& value : values) query.addBindValue(value);
  if (!query.exec()) {
    if (error != nullptr) *error = query.lastError().databaseText();
    return rows;
  }
  while (query.next()) {
    QStringList cells;
    for (int i = 0; i < query.record().count(); ++i) {
      cells.append(query.value(i).isNull() ? QStringLiteral("NULL") : query.value(i).toString());
    }
    rows.append(cells.join(u'|'));
  }
  if (query.lastError().isValid() && error != nullptr) *error = query.lastError().databaseText();
  return rows;
}

QString Fails(const QSqlDatabase& database, const QString& sql, const QVariantList& values = {}) {
  QString error;
  const QStringList rows = Select(database, sql, values, &error);
  EXPECT_TRUE(rows.isEmpty()) << rows.join(u'\n').toStdString();
  EXPECT_FALSE(error.isEmpty()) << sql.toStdString();
  return error;
}

qint64 Number(const QSqlDatabase& database, const char* series) {
  const QStringList rows = Select(
      database, QStringLiteral("SELECT %1 FROM LAGE_%1").arg(QLatin1String(series)));
  EXPECT_EQ(rows.size(), 1);
  return rows.value(0).toLongLong();
}

// ---- LAGE_REFNR, LAGE_LINJENR, LAGE_BESTNR -------------------------------------------------

TEST(NumberSeriesTest, NumbersNeverRepeatAcrossConnectionsAndRestarts) {
  SqliteTestDatabase db;
  QSqlDatabase a = db.database();
  QSqlDatabase b = db.open(QStringLiteral("numbers_b"));
  EXPECT_EQ(Number(a, "REFNR"), 1);
  EXPECT_EQ(Number(b, "REFNR"), 2);
  EXPECT_EQ(Number(a, "REFNR"), 3);
  EXPECT_EQ(Number(b, "LINJENR"), 1);  // each series counts on its own
  EXPECT_EQ(Number(a, "BESTNR"), 1);
  EXPECT_EQ(Number(b, "REFNR"), 4);
  {
    // A read left open on one connection holds an old snapshot; the other hands out numbers
    // meanwhile. The first must still get a new number rather than fail or repeat one.
    QSqlQuery open(a);
    ASSERT_TRUE(open.exec(QStringLiteral("SELECT NAVN FROM TELLER")) && open.next());
    EXPECT_EQ(Number(b, "REFNR"), 5);
    EXPECT_EQ(Number(a, "REFNR"), 6);
    EXPECT_EQ(Number(b, "REFNR"), 7);
  }
  b = QSqlDatabase();
  b = db.open(QStringLiteral("numbers_b"));  // a restart
  EXPECT_EQ(Number(b, "REFNR"), 8);
  EXPECT_EQ(Select(a, QStringLiteral("SELECT NAVN, VERDI FROM TELLER ORDER BY NAVN")),
            QStringList({"BESTNR|1", "LINJENR|1", "REFNR|8"}));
}

TEST(NumberSeriesTest, TransactionsOfTheCaller) {
  SqliteTestDatabase db;
  QSqlDatabase a = db.database();
  QSqlDatabase b = db.open(QStringLiteral("numbers_b"));
  // Taken in a transaction that is rolled back: the number stays handed out.
  ASSERT_TRUE(a.transaction());
  EXPECT_EQ(Number(a, "REFNR"), 1);
  ASSERT_TRUE(a.rollback());
  EXPECT_EQ(Number(b, "REFNR"), 2);
  // Inside the caller's write transaction the number is part of it.
  QSqlQuery(a).exec(QStringLiteral("BEGIN IMMEDIATE"));
  EXPECT_EQ(Number(a, "REFNR"), 3);
  EXPECT_EQ(Number(a, "LINJENR"), 1);
  ASSERT_TRUE(QSqlQuery(a).exec(QStringLiteral("COMMIT")));
  EXPECT_EQ(Number(b, "REFNR"), 4);
  // A series that is missing fails the statement instead of answering nothing.
  db.exec("DELETE FROM TELLER WHERE NAVN = 'BESTNR'");
  EXPECT_TRUE(Fails(b, QStringLiteral("SELECT BESTNR FROM LAGE_BESTNR")).contains(u"BESTNR"));
}

TEST(NumberSeriesTest, RegistersOncePerConnection) {
  SqliteTestDatabase db;
  QSqlDatabase a = db.database();
  QSqlQuery prepared(a);
  ASSERT_TRUE(prepared.prepare(QStringLiteral("SELECT REFNR FROM LAGE_REFNR")));
  QString error;
  EXPECT_TRUE(RegisterSqliteProcedures(a, db.first().statements(), &error))
      << error.toStdString();
  ASSERT_TRUE(prepared.exec() && prepared.next()) << prepared.lastError().text().toStdString();
  EXPECT_EQ(prepared.value(0).toInt(), 1);

  QSqlDatabase other = QSqlDatabase::addDatabase(QLatin1String(kPostgresDriver),
                                                 QStringLiteral("not_sqlite"));
  StatementCache none;
  EXPECT_FALSE(RegisterSqliteProcedures(other, none, &error));
  EXPECT_FALSE(error.isEmpty());
  other = QSqlDatabase();
  QSqlDatabase::removeDatabase(QStringLiteral("not_sqlite"));
}

// ---- BEREGN_WEB_PRISMATRISE ----------------------------------------------------------------

// The data module's statement, as it runs it.
const char kWebPriser[] =
    "select\n  INTPRISKODE,\n  STRBESKR,\n  FLTTOTALPRISER,\n  FLTPRISMND,\n  FLTPENSJON,\n"
    "  CHRPRISTYPE,\n  intPRISMET,\n  intSTART_DAG START_DAG,\n  intANT_DAGER ANT_DAGER\n"
    "from\n  BEREGN_WEB_PRISMATRISE(:REFDATO, :ANK, :AVR, :UTYPEN, :ANLEGGET)\n"
    "ORDER BY STRBESKR, intPRISMET, intSTART_DAG, intANT_DAGER\n"
    "/* ORDER BY intANT_DAGER, intSTART_DAG, STRBESKR, intPRISMET */\n ";

class WebPriceMatrixTest : public ::testing::Test {
 protected:
  WebPriceMatrixTest() {
    // April 2000: the 7th is a Friday, the 9th a Sunday.
    db_.exec(
        "INSERT INTO UTYPE (UTYPE, BESKR) VALUES (5, 'Double room'), (6, 'Single room');"
        "INSERT INTO PENSJON (PENSJON, BESKR, PRISMET) VALUES (1, 'Full board', 3),"
        "  (2, 'Half board', 2);");
  }

  QStringList Prices(const QVariant& arrival, const QVariant& departure, int type = 5) {
    QSqlQuery query(db_.database());
    EXPECT_TRUE(query.prepare(QString::fromLatin1(kWebPriser)));
    query.bindValue(QStringLiteral(":REFDATO"), QDate(2000, 4, 3));
    query.bindValue(QStringLiteral(":ANK"), arrival);
    query.bindValue(QStringLiteral(":AVR"), departure);
    query.bindValue(QStringLiteral(":UTYPEN"), type);
    query.bindValue(QStringLiteral(":ANLEGGET"), -1);
    EXPECT_TRUE(query.exec()) << query.lastError().text().toStdString();
    QStringList rows;
    while (query.next()) {
      QStringList cells;
      for (int i = 0; i < 9; ++i) {
        cells.append(query.value(i).isNull() ? QStringLiteral("NULL")
                                             : query.value(i).toString());
      }
      rows.append(cells.join(u'|'));
    }
    return rows;
  }

  SqliteTestDatabase db_;
};

TEST_F(WebPriceMatrixTest, PricesEachNightByTheLineThatCoversIt) {
  db_.exec(
      "INSERT INTO PRIS (PRIS_ID, UTYPE, PENSJON, START_DAG, ANT_DAGER, WEB) VALUES"
      "  (10, 5, 1, 0, 1, 'J'), (12, 5, 2, 0, 0, 'J'), (13, 5, NULL, 6, 0, 'J');"
      // Price 10 changes on Sunday the 9th; its first line has a weekend amount.
      "INSERT INTO PRISLINJE VALUES (10, '2000-01-01', '2000-04-09', 100, 150),"
      "  (10, '2000-04-09', NULL, 200, 0);"
      // Price 12: a special night on the 8th inside an open line; amounts with decimals.
      "INSERT INTO PRISLINJE VALUES (12, '2000-01-01', NULL, 99.5, 0),"
      "  (12, '2000-04-08', '2000-04-09', 300.25, 0);"
      "INSERT INTO PRISLINJE VALUES (13, '2000-04-01', NULL, 80, 0);");
  // Thursday 6th to Wednesday 12th: price 10 is 100 + 150 + 150 + 200 + 200 + 200;
  // price 12 is 99.5 + 99.5 + 300.25 + 3 * 99.5. Rows by board description, NULL first.
  EXPECT_EQ(Prices(QDate(2000, 4, 6), QDate(2000, 4, 12)),
            QStringList({"13|NULL|480|80|NULL|P|NULL|6|0",
                         "10|Full board|1000|100|1|D|3|0|1",
                         "12|Half board|797.75|99.5|2|P|2|0|0"}));
}

TEST_F(WebPriceMatrixTest, PricesThatCannotPriceEveryNightGiveNoRow) {
  db_.exec(
      "INSERT INTO PRIS (PRIS_ID, UTYPE, PENSJON, START_DAG, ANT_DAGER, WEB) VALUES"
      "  (20, 5, 1, 0, 1, 'J'), (21, 5, 2, 0, 1, 'J'), (22, 5, 1, 0, 1, 'N'),"
      "  (23, 6, 1, 0, 1, 'J'), (24, 5, 1, 0, 1, 'J');"
      // 20 ends on the 10th; 21 has no line for the 8th; 22 is not on the web; 23 is
      // another type's; 24 has no lines at all.
      "INSERT INTO PRISLINJE VALUES (20, '2000-01-01', '2000-04-10', 100, 0),"
      "  (21, '2000-04-01', '2000-04-08', 100, 0), (21, '2000-04-09', NULL, 100, 0),"
      "  (22, '2000-01-01', NULL, 100, 0), (23, '2000-01-01', NULL, 100, 0);");
  // A line ending on the 10th does not price the night of the 10th.
  EXPECT_EQ(Prices(QDate(2000, 4, 10), QDate(2000, 4, 11)),
            QStringList({"21|Half board|100|100|2|D|2|0|1"}));
  EXPECT_EQ(Prices(QDate(2000, 4, 9), QDate(2000, 4, 10)),
            QStringList({"20|Full board|100|100|1|D|3|0|1", "21|Half board|100|100|2|D|2|0|1"}));
  EXPECT_EQ(Prices(QDate(2000, 4, 7), QDate(2000, 4, 9)),
            QStringList({"20|Full board|200|100|1|D|3|0|1"}));
  // No nights, no rows.
  EXPECT_EQ(Prices(QDate(2000, 4, 9), QDate(2000, 4, 9)), QStringList());
  EXPECT_EQ(Prices(QDate(2000, 4, 9), QDate(2000, 4, 5)), QStringList());
}

TEST_F(WebPriceMatrixTest, PackagesAreSoldWhole) {
  db_.exec(
      "INSERT INTO PRIS (PRIS_ID, UTYPE, PENSJON, START_DAG, ANT_DAGER, WEB) VALUES"
      "  (30, 5, 1, 7, 7, 'J'), (31, 5, 1, 5, 2, 'J');"
      // A week costs 700 until the 16th, 900 from then on.
      "INSERT INTO PRISLINJE VALUES (30, '2000-01-01', '2000-04-16', 700, 50),"
      "  (30, '2000-04-16', NULL, 900, 0), (31, '2000-01-01', NULL, 250, 0);");
  // Seven nights are one week; ten nights two weeks, the second started on the 16th.
  EXPECT_EQ(Prices(QDate(2000, 4, 9), QDate(2000, 4, 16)),
            QStringList({"31|Full board|1000|250|1|H|3|5|2", "30|Full board|700|700|1|U|3|7|7"}));
  EXPECT_EQ(Prices(QDate(2000, 4, 9), QDate(2000, 4, 19)),
            QStringList({"31|Full board|1250|250|1|H|3|5|2",
                         "30|Full board|1600|700|1|U|3|7|7"}));
}

TEST_F(WebPriceMatrixTest, ArgumentsAreChecked) {
  db_.exec(
      "INSERT INTO PRIS (PRIS_ID, UTYPE, PENSJON, START_DAG, ANT_DAGER, WEB) VALUES"
      "  (40, 5, 1, 0, 1, 'J');"
      "INSERT INTO PRISLINJE VALUES (40, '2000-01-01', NULL, 100, 0);");
  const QSqlDatabase database = db_.database();
  const QString call = QStringLiteral(
      "SELECT INTPRISKODE, FLTTOTALPRISER FROM BEREGN_WEB_PRISMATRISE(?, ?, ?, ?, ?)");
  // Local text dates work as ISO ones do, a text type number as a number.
  EXPECT_EQ(Select(database, call, {"03.04.2000", "08.04.2000", "2000-04-10", "5", 7}),
            QStringList({"40|200"}));
  EXPECT_TRUE(Fails(database, call, {"03.04.2000", "2000.04.08", "2000-04-10", 5, 7})
                  .contains(u"ANK"));
  EXPECT_TRUE(Fails(database, call, {"03.04.2000", "31.04.2000", "2000-04-10", 5, 7})
                  .contains(u"ANK"));
  EXPECT_TRUE(Fails(database, call, {QVariant(), "08.04.2000", "2000-04-10", 5, 7})
                  .contains(u"REFDATO"));
  EXPECT_TRUE(Fails(database, call, {"03.04.2000", "08.04.2000", "2000-04-10", QVariant(), 7})
                  .contains(u"UTYPEN"));
  EXPECT_TRUE(Fails(database, call, {"03.04.2000", "08.04.2000", "2000-04-10", 5.5, 7})
                  .contains(u"UTYPEN"));
  EXPECT_TRUE(Fails(database, QStringLiteral("SELECT * FROM BEREGN_WEB_PRISMATRISE(?, ?)"),
                    {"03.04.2000", "08.04.2000"})
                  .contains(u"arguments"));
  // A stored amount that is no number (which the schema's check refuses, and a database made
  // before that check may hold) is reported, not priced as 0.
  db_.exec("PRAGMA ignore_check_constraints = ON; UPDATE PRISLINJE SET PRIS_UKE = 'cheap';"
           "PRAGMA ignore_check_constraints = OFF");
  EXPECT_TRUE(Fails(database, call, {"03.04.2000", "08.04.2000", "2000-04-10", 5, 7})
                  .contains(u"PRIS_UKE"));
}

TEST_F(WebPriceMatrixTest, AStayTooDearForSixtyFourBitsFails) {
  db_.exec(
      "INSERT INTO PRIS (PRIS_ID, UTYPE, PENSJON, START_DAG, ANT_DAGER, WEB) VALUES"
      "  (50, 5, 1, 0, 1, 'J');"
      "INSERT INTO PRISLINJE VALUES (50, '2000-01-01', NULL, 9999999999999.99, 0);");
  EXPECT_TRUE(Fails(db_.database(),
                    QStringLiteral("SELECT * FROM BEREGN_WEB_PRISMATRISE(?, ?, ?, 5, -1)"),
                    {QDate(2000, 1, 1), QDate(2000, 1, 1), QDate(2100, 1, 1)})
                  .contains(u"out of range"));
}

// ---- HENT_LEDIG_MATRISE --------------------------------------------------------------------

// Facility 1 has ten units of type 5 and two of type 3; facility 2 four of type 5; facility 3
// seven of type 5, but the server may not sell there. Allotment release horizons count from
// today, so the stays lie a week ahead: day n is today + n.
class AvailabilityMatrixTest : public ::testing::Test {
 protected:
  AvailabilityMatrixTest() {
    db_.exec(
        "INSERT INTO ANLEGG (ANLEGGSNR) VALUES (1), (2), (3);"
        "INSERT INTO FLOY (FLOYKODE, ANLEGG) VALUES ('A', 1), ('B', 2), ('C', 3);"
        "INSERT INTO UTYPE (UTYPE, BESKR) VALUES (3, 'Single'), (5, 'Double');"
        "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 10)"
        "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE)"
        "  SELECT 'A' || x, 5, 'A' FROM n UNION ALL"
        "  SELECT 'S' || x, 3, 'A' FROM n WHERE x <= 2 UNION ALL"
        "  SELECT 'B' || x, 5, 'B' FROM n WHERE x <= 4 UNION ALL"
        "  SELECT 'C' || x, 5, 'C' FROM n WHERE x <= 7;"
        "INSERT INTO BRUKERRETT (ANLEGGSNR, BRUKERID, MODUL_ID, RETTIGHET) VALUES"
        "  (1, 0, 1, 2), (2, 0, 1, 2), (3, 0, 1, 1), (3, 5, 1, 2);"
        "INSERT INTO BOOKING (REFNR) VALUES (1);"
        "INSERT INTO ALLOT (ALLOT_ID, AKODE, ANLEGGSNR) VALUES (1, 7, 1);");
    // The stays of the worked example, moved to days 6 to 12, and lines that do not count:
    // a cancelled one, a rental-type line, one at the facility without the right.
    Insert("INSERT INTO LEIE (LINJENR, REFNR, ANKOMST, AVREISE, UTYPE, ANLEGG, LEIETYPE,"
           " ANTALL, STATUS) VALUES"
           " (1, 1, :d6, :d9, 5, 1, 'O', 2, NULL), (2, 1, :d8, :d11, 5, 1, 'O', 1, 'B'),"
           " (3, 1, :d9, :d10, 5, 1, 'O', 1, NULL), (4, 1, :d6, :d12, 5, 1, 'O', 5, 'A'),"
           " (5, 1, :d6, :d12, 5, 1, 'U', 5, NULL), (6, 1, :d6, :d12, 5, 3, 'O', 5, NULL),"
           " (7, 1, :d7, :d8, 5, 2, 'O', 1, NULL)");
    // Four units held for agent 7 on days 9 and 10, released three days ahead; line 3 uses
    // one of them on day 9. A line that is only requested holds nothing.
    Insert("INSERT INTO ALLOTLINJE (ALLOTLINJENR, ALLOT_ID, ALLOTTYPE, ANTALL, DAGER_FOER,"
           " FRA, TIL, UTYPE, REQUEST) VALUES (1, 1, 'K', 4, 3, :d9, :d10, 5, 'A'),"
           " (2, 1, 'K', 9, 3, :d9, :d10, 5, 'F')");
    Insert("INSERT INTO LEIE_ALLOT (LINJENR, ALLOTLINJENR, DATO) VALUES (3, 1, :d9)");
  }

  static QDate Day(int n) { return QDate::currentDate().addDays(n); }

  // Runs `sql` with :dN standing for day n.
  void Insert(const char* sql) {
    QString text = QString::fromLatin1(sql);
    for (int n = 12; n >= 6; --n) {
      text.replace(QStringLiteral(":d%1").arg(n), u'\'' + Day(n).toString(Qt::ISODate) + u'\'');
    }
    db_.exec(text.toUtf8().constData());
  }

  // Rows of one type, each "LEDIG|ALLOTMENT|TILBUD", checking the dates run from `from` on.
  QStringList Matrix(const QVariant& agent, const QVariant& facility, int type, int from,
                     int to) {
    const QStringList rows = Select(
        db_.database(),
        QStringLiteral("SELECT UTLEIETYPE, DATO, LEDIG, ALLOTMENT, TILBUD "
                       "FROM HENT_LEDIG_MATRISE(?, ?, ?, ?, 0) WHERE UTLEIETYPE = ?"),
        {Day(from), Day(to), agent, facility, type});
    QStringList values;
    for (int i = 0; i < rows.size(); ++i) {
      const QStringList cells = rows[i].split(u'|');
      EXPECT_EQ(cells[1], Day(from + i).toString(Qt::ISODate));
      values.append(cells.mid(2).join(u'|'));
    }
    return values;
  }

  SqliteTestDatabase db_;
};

TEST_F(AvailabilityMatrixTest, FreeHeldAndOfferedPerTypeAndDay) {
  EXPECT_EQ(Matrix(7, 1, 5, 7, 13),
            QStringList({"8|0|8", "7|0|7", "5|3|8", "5|4|9", "10|0|10", "10|0|10", "10|0|10"}));
  // Without an agent nothing is offered beyond the free units.
  EXPECT_EQ(Matrix(-1, 1, 5, 7, 13),
            QStringList({"8|0|8", "7|0|7", "5|0|5", "5|0|5", "10|0|10", "10|0|10", "10|0|10"}));
  // Another agent's allotment is not free for this one either.
  EXPECT_EQ(Matrix(8, 1, 5, 9, 10), QStringList({"5|0|5", "5|0|5"}));
  // All facilities: 10 + 4 units, the stays of both facilities; facility 3 is not sold.
  EXPECT_EQ(Matrix(-1, -1, 5, 7, 9), QStringList({"11|0|11", "11|0|11", "9|0|9"}));
  EXPECT_EQ(Matrix(-1, 2, 5, 7, 8), QStringList({"3|0|3", "4|0|4"}));
}

TEST_F(AvailabilityMatrixTest, RowsComeByTypeThenDayAsTheHandlerAsks) {
  // The handler's form of the statement: local dates in the text, numbers unquoted.
  const QString sql =
      QStringLiteral("SELECT UTLEIETYPE, DATO, LEDIG, ALLOTMENT, TILBUD\n"
                     "FROM HENT_LEDIG_MATRISE('%1', '%2', -1, 1, 0)")
          .arg(Day(7).toString(u"dd.MM.yyyy"), Day(8).toString(u"dd.MM.yyyy"));
  const QString d7 = Day(7).toString(Qt::ISODate);
  const QString d8 = Day(8).toString(Qt::ISODate);
  EXPECT_EQ(Select(db_.database(), sql),
            QStringList({"3|" + d7 + "|2|0|2", "3|" + d8 + "|2|0|2", "5|" + d7 + "|8|0|8",
                         "5|" + d8 + "|7|0|7"}));
  // DATO is declared a date; facilities without rows give no rows.
  sqlite3_stmt* statement = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(SqliteTestDatabase::Handle(db_.database()),
                               "SELECT DATO FROM HENT_LEDIG_MATRISE('2000-01-01', '2000-01-01',"
                               " -1, 99, 0)",
                               -1, &statement, nullptr),
            SQLITE_OK);
  EXPECT_STREQ(sqlite3_column_decltype(statement, 0), "DATE");
  EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE);
  sqlite3_finalize(statement);
}

TEST_F(AvailabilityMatrixTest, PeriodLimits) {
  const QString sql = QStringLiteral("SELECT count(*) FROM HENT_LEDIG_MATRISE(?, ?, -1, 1, 0)");
  const QDate from(2000, 1, 1);
  EXPECT_EQ(Select(db_.database(), sql, {from, from.addDays(-1)}), QStringList({"0"}));
  EXPECT_EQ(Select(db_.database(), sql, {from, from}), QStringList({"2"}));
  EXPECT_EQ(Select(db_.database(), sql, {from, from.addDays(365)}), QStringList({"732"}));
  EXPECT_TRUE(Fails(db_.database(), sql, {from, from.addDays(366)}).contains(u"367 days"));
}

TEST_F(AvailabilityMatrixTest, BadArgumentsFailTheStatement) {
  const QString sql =
      QStringLiteral("SELECT UTLEIETYPE, DATO, LEDIG FROM HENT_LEDIG_MATRISE(?, ?, ?, ?, 0)");
  const QSqlDatabase database = db_.database();
  EXPECT_TRUE(Fails(database, sql, {"2000.04.08", "14.04.2000", -1, 1}).contains(u"FRA"));
  EXPECT_TRUE(Fails(database, sql, {"08.04.2000", "", -1, 1}).contains(u"TIL"));
  EXPECT_TRUE(Fails(database, sql, {"08.04.2000", "14.04.2000", QVariant(), 1}).contains(u"AGENT"));
  EXPECT_TRUE(Fails(database, sql, {"08.04.2000", "14.04.2000", " ", 1}).contains(u"AGENT"));
  EXPECT_TRUE(Fails(database, sql, {"08.04.2000", "14.04.2000", -1, "VG"}).contains(u"ANLEGG"));
  EXPECT_TRUE(Fails(database, sql, {"08.04.2000", "14.04.2000", -1, 1.5}).contains(u"ANLEGG"));
  EXPECT_TRUE(Fails(database, sql, {"08.04.2000", "14.04.2000", -1, 4294967297LL})
                  .contains(u"ANLEGG"));
}

}  // namespace
}  // namespace taurelin
