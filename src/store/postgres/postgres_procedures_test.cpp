// BEREGN_WEB_PRISMATRISE and HENT_LEDIG_MATRISE on PostgreSQL give what their SQLite twins
// give. The same data goes into a database of each backend, the same calls with the same
// bound values go to both, and the answers must agree column by column and row by row, or
// both must fail. What the SQLite procedures answer is pinned down by their own tests; these
// hold the PostgreSQL ones to it, and the handlers' own computation (the occupancy engine
// and the stay prices on rows read by plain statements) on each backend to them as well.
// Skipped without a PostgreSQL test server.

#include "store/connection.h"
#include "store/data_module.h"
#include "store/database_error.h"
#include "store/occupancy.h"
#include "store/postgres/postgres_test_database.h"
#include "store/sqlite/sqlite_test_database.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <memory>
#include <ostream>
#include <optional>
#include <random>

// Readable rows in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace taurelin {
namespace {

const QString kPrices = QStringLiteral(
    "SELECT INTPRISKODE, STRBESKR, FLTTOTALPRISER, FLTPRISMND, FLTPENSJON, CHRPRISTYPE,"
    " intPRISMET, intSTART_DAG, intANT_DAGER FROM BEREGN_WEB_PRISMATRISE(?, ?, ?, ?, ?)");
const QString kMatrix = QStringLiteral(
    "SELECT UTLEIETYPE, DATO, LEDIG, ALLOTMENT, TILBUD FROM HENT_LEDIG_MATRISE(?, ?, ?, ?, 0)");

QDate Day(int n) { return QDate::currentDate().addDays(n); }

// The prices as the handlers read them, in the order in which they read them.
const QString kOrderedPrices = QStringLiteral(
    "SELECT INTPRISKODE, FLTTOTALPRISER, FLTPENSJON, CHRPRISTYPE, intPRISMET, intSTART_DAG,"
    " intANT_DAGER FROM BEREGN_WEB_PRISMATRISE(?, ?, ?, ?, ?)"
    " ORDER BY STRBESKR, intPRISMET, intSTART_DAG, intANT_DAGER");

QString PriceRow(int code, double total, double board, const QString& type,
                 const QString& method, int startDay, int days) {
  return QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
      .arg(code)
      .arg(total, 0, 'g', 17)
      .arg(board, 0, 'g', 17)
      .arg(type, method)
      .arg(startDay)
      .arg(days);
}
QString Local(const QDate& date) { return date.toString(u"dd.MM.yyyy"); }
QString Iso(const QDate& date) { return date.toString(Qt::ISODate); }

// What a call answers: the column names in upper case (PostgreSQL gives them in lower case),
// the rows as "a|b|c" with NULL for null, or the failure's message.
struct Answer {
  QStringList columns;
  QStringList rows;
  std::optional<QString> error;
};

Answer Ask(const QSqlDatabase& database, const QString& sql, const QVariantList& values) {
  Answer answer;
  QSqlQuery query(database);
  bool ok = query.prepare(sql);
  for (const QVariant& value : values) query.addBindValue(value);
  ok = ok && query.exec();
  if (ok) {
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i) answer.columns << record.fieldName(i).toUpper();
    while (query.next()) {
      QStringList cells;
      for (int i = 0; i < record.count(); ++i) {
        cells << (query.value(i).isNull() ? QStringLiteral("NULL") : query.value(i).toString());
      }
      answer.rows << cells.join(u'|');
    }
  }
  if (!ok || query.lastError().isValid()) {
    answer.columns.clear();
    answer.rows.clear();
    answer.error = query.lastError().databaseText();
  }
  return answer;
}

std::string Describe(const QString& sql, const QVariantList& values) {
  QStringList shown;
  for (const QVariant& value : values) {
    shown << (value.isNull() ? QStringLiteral("NULL") : value.toString());
  }
  return (sql.section(u'(', 0, 0).section(u' ', -1) + u'(' + shown.join(u", ") + u')')
      .toStdString();
}

class TwinProcedureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PostgresTestDatabase::Available()) GTEST_SKIP() << PostgresTestDatabase::kSkip;
  }
  void TearDown() override { postgresConnection_.reset(); }

  // A database of each backend, with the schema and, when asked, the demo business.
  void Create(bool withDemo) {
    sqlite_ = std::make_unique<SqliteTestDatabase>(withDemo);
    postgres_ = std::make_unique<PostgresTestDatabase>(withDemo ? PostgresTestDatabase::kDemo
                                                                : PostgresTestDatabase::kSchema);
    postgresConnection_ = std::make_unique<Connection>(QStringLiteral("twin_postgres"));
    QString error;
    ASSERT_TRUE(postgresConnection_->open(postgres_->alias(), &error)) << error.toStdString();
  }
  void Load(const QString& sql) {
    sqlite_->exec(sql.toUtf8().constData());
    postgres_->run(sql);
  }

  // Asks both backends and expects the same answer; gives SQLite's.
  Answer Agree(const QString& sql, const QVariantList& values) {
    const Answer sqlite = Ask(sqlite_->database(), sql, values);
    const Answer postgres = Ask(postgresConnection_->database(), sql, values);
    const std::string call = Describe(sql, values);
    EXPECT_EQ(sqlite.error.has_value(), postgres.error.has_value())
        << call << "\nSQLite: " << sqlite.error.value_or(QString()).toStdString()
        << "\nPostgreSQL: " << postgres.error.value_or(QString()).toStdString();
    EXPECT_EQ(sqlite.columns, postgres.columns) << call;
    EXPECT_EQ(sqlite.rows, postgres.rows) << call;
    ++calls_;
    rows_ += sqlite.rows.size();
    return sqlite;
  }

  // Both fail, and where `argument` is given, both messages name it.
  void BothFail(const QString& sql, const QVariantList& values, const char* argument) {
    const Answer sqlite = Ask(sqlite_->database(), sql, values);
    const Answer postgres = Ask(postgresConnection_->database(), sql, values);
    const std::string call = Describe(sql, values);
    ASSERT_TRUE(sqlite.error.has_value()) << call;
    ASSERT_TRUE(postgres.error.has_value()) << call;
    if (argument != nullptr) {
      EXPECT_TRUE(sqlite.error->contains(QLatin1String(argument))) << sqlite.error->toStdString();
      EXPECT_TRUE(postgres.error->contains(QLatin1String(argument)))
          << postgres.error->toStdString();
    }
  }

  // Every facility and agent over each period: [first, last] in days from today.
  void AgreeOnMatrices(const QList<int>& facilities, const QList<int>& agents,
                       const QList<std::pair<int, int>>& periods) {
    for (const auto& [first, last] : periods) {
      for (int facility : facilities) {
        for (int agent : agents) {
          // The handlers' form (local text) and the data module's (dates) alike.
          Agree(kMatrix, {Local(Day(first)), Local(Day(last)), agent, facility});
          Agree(kMatrix, {Day(first), Day(last), agent, facility});
          AgreeComputedMatrix(Day(first), Day(last), agent, facility);
        }
      }
    }
  }

  // The handlers' matrix, computed on each backend, is the SQLite procedure's.
  void AgreeComputedMatrix(const QDate& from, const QDate& to, int agent, int facility) {
    const QStringList expected = Ask(sqlite_->database(), kMatrix, {from, to, agent, facility}).rows;
    for (Connection* connection : {&sqlite_->first(), postgresConnection_.get()}) {
      Occupancy occupancy(*connection, nullptr);
      QStringList rows;
      for (const AvailabilityDay& d : occupancy.Matrix(from, to, facility, agent)) {
        rows << QStringLiteral("%1|%2|%3|%4|%5")
                    .arg(d.type)
                    .arg(Iso(d.day))
                    .arg(d.free)
                    .arg(d.allotment)
                    .arg(d.free + d.allotment);
      }
      EXPECT_EQ(rows.join(u" / ").toStdString(), expected.join(u" / ").toStdString())
          << connection->name().toStdString() << " " << Iso(from).toStdString()
                                << ".." << Iso(to).toStdString() << " agent " << agent
                                << " facility " << facility;
    }
  }

  // The handlers' prices of a stay, computed on each backend, are the SQLite procedure's, or
  // fail where it fails.
  void AgreeComputedPrices(const QDate& arrival, const QDate& departure, int type) {
    QSqlQuery query(sqlite_->database());
    query.prepare(kOrderedPrices);
    for (const QVariant& value : QVariantList{arrival, arrival, departure, type, -1}) {
      query.addBindValue(value);
    }
    const bool fails = !query.exec();
    QStringList expected;
    while (query.next()) {
      expected << PriceRow(query.value(0).toInt(), query.value(1).toDouble(),
                           query.value(2).toDouble(), query.value(3).toString(),
                           query.value(4).isNull() ? QString() : query.value(4).toString(),
                           query.value(5).toInt(), query.value(6).toInt());
    }
    for (Connection* connection : {&sqlite_->first(), postgresConnection_.get()}) {
      const std::string call = connection->name().toStdString() + " " + Iso(arrival).toStdString() +
                               ".." + Iso(departure).toStdString() + " type " +
                               std::to_string(type);
      try {
        QStringList rows;
        const QList<WebPrice> prices =
            ReadWebPrices(*connection, {type}, arrival, departure)
                .value(0);
        for (const WebPrice& p : prices) {
          rows << PriceRow(p.priceCode, p.total, p.board, p.priceType, p.boardTypeText,
                           p.startDay, p.days);
        }
        EXPECT_FALSE(fails) << call;
        EXPECT_EQ(rows.join(u" / ").toStdString(), expected.join(u" / ").toStdString()) << call;
      } catch (const DatabaseError& failure) {
        EXPECT_TRUE(fails) << call << ": " << failure.what();
      }
    }
  }

  std::unique_ptr<SqliteTestDatabase> sqlite_;
  std::unique_ptr<PostgresTestDatabase> postgres_;
  std::unique_ptr<Connection> postgresConnection_;
  int calls_ = 0;
  qsizetype rows_ = 0;
};

// The prices of the SQLite procedure's tests, side by side. April 2000: the 7th is a Friday.
TEST_F(TwinProcedureTest, WebPricesOfStaysAgree) {
  Create(false);
  Load(QStringLiteral(
      "INSERT INTO UTYPE (UTYPE, BESKR) VALUES (5, 'Double'), (6, 'Single'), (7, 'Suite');\n"
      "INSERT INTO PENSJON (PENSJON, BESKR, PRISMET) VALUES (1, 'Full board', 3),"
      "  (2, 'Half board', 2);\n"
      "INSERT INTO PRIS (PRIS_ID, UTYPE, PENSJON, START_DAG, ANT_DAGER, WEB) VALUES"
      "  (10, 5, 1, 0, 1, 'J'), (12, 5, 2, 0, 0, 'J'), (13, 5, NULL, 6, 0, 'J'),"
      "  (30, 5, 1, 7, 7, 'J'), (31, 5, 1, 5, 2, 'J'), (20, 6, 1, 0, 1, 'J'),"
      "  (21, 6, 2, 0, 1, 'J'), (22, 6, 1, 0, 1, 'N'), (24, 6, 1, 0, 1, 'J'),"
      "  (50, 7, 1, 0, 1, 'J');\n"
      "INSERT INTO PRISLINJE (PRIS_ID, FRA_DATO, TIL_DATO, PRIS_UKE, PRIS_WEEK) VALUES"
      "  (10, '2000-01-01', '2000-04-09', 100, 150), (10, '2000-04-09', NULL, 200, 0),"
      "  (12, '2000-01-01', NULL, 99.5, 0), (12, '2000-04-08', '2000-04-09', 300.25, 0),"
      "  (13, '2000-04-01', NULL, 80, 0), (30, '2000-01-01', '2000-04-16', 700, 50),"
      "  (30, '2000-04-16', NULL, 900, 0), (31, '2000-01-01', NULL, 250, 0),"
      "  (20, '2000-01-01', '2000-04-10', 100, 0), (21, '2000-04-01', '2000-04-08', 100, 0),"
      "  (21, '2000-04-09', NULL, 100, 0), (22, '2000-01-01', NULL, 100, 0),"
      "  (50, '2000-01-01', NULL, 9999999999999.99, 0);\n"));
  const QDate april(2000, 4, 1);
  const QList<std::pair<int, int>> stays = {{6, 12}, {10, 11}, {9, 10}, {7, 9},  {9, 9},
                                            {9, 5},  {9, 16},  {9, 19}, {1, 30}, {8, 10}};
  for (int type : {5, 6, 7, 8}) {
    for (const auto& [arrival, departure] : stays) {
      const QDate ank = april.addDays(arrival - 1);
      const QDate avr = april.addDays(departure - 1);
      Agree(kPrices, {april, ank, avr, type, -1});
      AgreeComputedPrices(ank, avr, type);
      Agree(kPrices, {Local(april), Local(ank), Iso(avr), QString::number(type), 3});
    }
  }
  // A century of nights: priced on one type, out of range on the other.
  Agree(kPrices, {april, QDate(2000, 1, 1), QDate(2100, 1, 1), 5, -1});
  BothFail(kPrices, {april, QDate(2000, 1, 1), QDate(2100, 1, 1), 7, -1}, "out of range");
  AgreeComputedPrices(QDate(2000, 1, 1), QDate(2100, 1, 1), 7);
  EXPECT_GT(rows_, 80);
}

// The facilities, stays and allotments of the SQLite procedure's tests, side by side: day n
// is today + n, since allotments are released relative to today.
TEST_F(TwinProcedureTest, AvailabilityAgrees) {
  Create(false);
  QString data = QStringLiteral(
      "INSERT INTO ANLEGG (ANLEGGSNR) VALUES (1), (2), (3);\n"
      "INSERT INTO FLOY (FLOYKODE, ANLEGG) VALUES ('A', 1), ('B', 2), ('C', 3);\n"
      "INSERT INTO UTYPE (UTYPE, BESKR) VALUES (3, 'Single'), (5, 'Double');\n"
      "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES"
      "  ('A1', 5, 'A'), ('A2', 5, 'A'), ('A3', 5, 'A'), ('A4', 5, 'A'), ('A5', 5, 'A'),"
      "  ('A6', 5, 'A'), ('A7', 5, 'A'), ('A8', 5, 'A'), ('A9', 5, 'A'), ('A10', 5, 'A'),"
      "  ('S1', 3, 'A'), ('S2', 3, 'A'), ('B1', 5, 'B'), ('B2', 5, 'B'), ('B3', 5, 'B'),"
      "  ('B4', 5, 'B'), ('C1', 5, 'C'), ('C2', 5, 'C');\n"
      "INSERT INTO BRUKERRETT (ANLEGGSNR, BRUKERID, MODUL_ID, RETTIGHET) VALUES"
      "  (1, 0, 1, 2), (2, 0, 1, 2), (3, 0, 1, 1), (3, 5, 1, 2);\n"
      "INSERT INTO BOOKING (REFNR) VALUES (1);\n"
      "INSERT INTO ALLOT (ALLOT_ID, AKODE, ANLEGGSNR) VALUES (1, 7, 1);\n"
      "INSERT INTO LEIE (LINJENR, REFNR, ANKOMST, AVREISE, UTYPE, ANLEGG, LEIETYPE, ANTALL,"
      "  STATUS) VALUES"
      "  (1, 1, :d6, :d9, 5, 1, 'O', 2, NULL), (2, 1, :d8, :d11, 5, 1, 'O', 1, 'B'),"
      "  (3, 1, :d9, :d10, 5, 1, 'O', 1, NULL), (4, 1, :d6, :d12, 5, 1, 'O', 5, 'A'),"
      "  (5, 1, :d6, :d12, 5, 1, 'U', 5, NULL), (6, 1, :d6, :d12, 5, 3, 'O', 5, NULL),"
      "  (7, 1, :d7, :d8, 5, 2, 'O', 1, NULL), (8, 1, :d7, :d7, 3, 1, 'O', 1, NULL),"
      "  (9, 1, :d12, :d8, 3, 1, 'O', 1, NULL);\n"
      "INSERT INTO ALLOTLINJE (ALLOTLINJENR, ALLOT_ID, ALLOTTYPE, ANTALL, DAGER_FOER, FRA, TIL,"
      "  UTYPE, REQUEST) VALUES (1, 1, 'K', 4, 3, :d9, :d10, 5, 'A'),"
      "  (2, 1, 'K', 9, 3, :d9, :d10, 5, 'F'), (3, 1, 'P', 2, 7, :d8, :d11, 3, 'A');\n"
      "INSERT INTO LEIE_ALLOT (LINJENR, ALLOTLINJENR, DATO) VALUES (3, 1, :d9), (8, 3, :d8);\n");
  for (int n = 12; n >= 6; --n) {
    data.replace(QStringLiteral(":d%1").arg(n), u'\'' + Iso(Day(n)) + u'\'');
  }
  Load(data);
  AgreeOnMatrices({-1, 1, 2, 3, 99}, {-1, 7, 8}, {{5, 13}, {9, 9}, {10, 8}});
  // The longest period answered, and one day more.
  Agree(kMatrix, {Day(0), Day(365), -1, -1});
  AgreeComputedMatrix(Day(0), Day(365), -1, -1);
  BothFail(kMatrix, {Day(0), Day(366), -1, -1}, "367 days");
  EXPECT_GT(rows_, 200);
}

TEST_F(TwinProcedureTest, DemoBusinessAgrees) {
  Create(true);
  // Around today (the stays now and in the next weeks), the 'P' allotment two months on,
  // and the turn of the price year.
  AgreeOnMatrices({-1, 1, 2, 3}, {-1, 1, 2, 3}, {{-5, 40}, {55, 100}, {360, 370}});
  for (int type = 1; type <= 6; ++type) {
    for (const auto& [arrival, departure] : QList<std::pair<int, int>>{
             {0, 1}, {3, 5}, {1, 8}, {2, 12}, {14, 28}, {360, 369}, {-3, 4}, {700, 735}}) {
      Agree(kPrices, {Day(0), Day(arrival), Day(departure), type, 1});
      AgreeComputedPrices(Day(arrival), Day(departure), type);
    }
  }
  EXPECT_GT(rows_, 5000);
}

// A business drawn at random, untidy on purpose: lines that depart before they arrive or
// on their arrival day, cancelled and unknown facilities, allotment kinds and requests that
// hold nothing, used allotment of lines and allotments that are gone, gaps in price lines.
QString GeneratedBusiness(unsigned seed) {
  std::mt19937 random(seed);
  const auto pick = [&random](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  const auto day = [](int n) { return u'\'' + Iso(Day(n)) + u'\''; };
  QString sql;
  for (int facility = 1; facility <= 4; ++facility) {
    sql += QStringLiteral("INSERT INTO ANLEGG (ANLEGGSNR) VALUES (%1);\n").arg(facility);
    sql += QStringLiteral("INSERT INTO FLOY (FLOYKODE, ANLEGG) VALUES ('F%1', %1);\n")
               .arg(facility);
    sql += QStringLiteral("INSERT INTO BRUKERRETT (ANLEGGSNR, BRUKERID, MODUL_ID, RETTIGHET)"
                          " VALUES (%1, 0, 1, %2);\n")
               .arg(facility)
               .arg(facility == 4 ? 1 : 2);
  }
  sql += QStringLiteral("INSERT INTO PENSJON (PENSJON, BESKR, PRISMET) VALUES (1, 'Room', 1),"
                        " (2, 'Breakfast', 2), (3, NULL, 3);\n");
  for (int type = 1; type <= 5; ++type) {
    sql += QStringLiteral("INSERT INTO UTYPE (UTYPE) VALUES (%1);\n").arg(type);
    for (int facility = 1; facility <= 4; ++facility) {
      for (int unit = pick(0, 4); unit > 0; --unit) {
        sql += QStringLiteral("INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES"
                              " ('%1-%2-%3', %1, 'F%2');\n")
                   .arg(type)
                   .arg(facility)
                   .arg(unit);
      }
    }
  }
  sql += QStringLiteral("INSERT INTO BOOKING (REFNR) VALUES (1);\n");
  for (int line = 1; line <= 80; ++line) {
    const int arrival = pick(-10, 60);
    const QString facility = pick(0, 9) == 0 ? QStringLiteral("9") : QString::number(pick(1, 4));
    sql += QStringLiteral("INSERT INTO LEIE (LINJENR, REFNR, ANKOMST, AVREISE, UTYPE, ANLEGG,"
                          " LEIETYPE, ANTALL, STATUS)"
                          " VALUES (%1, 1, %2, %3, %4, %5, %6, %7, %8);\n")
               .arg(line)
               .arg(day(arrival), day(arrival + pick(-2, 12)))
               .arg(pick(1, 6))
               .arg(facility, pick(0, 5) == 0 ? QStringLiteral("'U'") : QStringLiteral("'O'"))
               .arg(pick(0, 3))
               .arg(QList<QString>{"NULL", "NULL", "'A'", "'B'"}[pick(0, 3)]);
  }
  for (int allot = 1; allot <= 4; ++allot) {
    sql += QStringLiteral("INSERT INTO ALLOT (ALLOT_ID, AKODE, ANLEGGSNR) VALUES (%1, %2, %3);\n")
               .arg(allot)
               .arg(allot == 4 ? QStringLiteral("NULL") : QString::number(pick(2, 3)))
               .arg(pick(1, 4));
  }
  for (int line = 1; line <= 24; ++line) {
    const int from = pick(-10, 60);
    sql += QStringLiteral("INSERT INTO ALLOTLINJE (ALLOTLINJENR, ALLOT_ID, ALLOTTYPE, ANTALL,"
                          " DAGER_FOER, FRA, TIL, UTYPE, REQUEST) VALUES"
                          " (%1, %2, %3, %4, %5, %6, %7, %8, %9);\n")
               .arg(line)
               .arg(pick(1, 4))
               .arg(QList<QString>{"'K'", "'K'", "'P'", "'P'", "'k'", "NULL"}[pick(0, 5)])
               .arg(pick(0, 5))
               .arg(pick(0, 40))
               .arg(day(from), day(from + pick(-2, 20)))
               .arg(pick(1, 5))
               .arg(pick(0, 4) == 0 ? QStringLiteral("'F'") : QStringLiteral("'A'"));
  }
  for (int use = 1; use <= 40; ++use) {
    // Distinct keys: each use has a day of its own.
    sql += QStringLiteral("INSERT INTO LEIE_ALLOT (LINJENR, ALLOTLINJENR, DATO) VALUES"
                          " (%1, %2, %3);\n")
               .arg(pick(1, 85))
               .arg(pick(1, 26))
               .arg(day(use * 2 - 12 + pick(0, 1)));
  }
  const QList<std::pair<int, int>> methods = {{0, 1}, {7, 7}, {5, 2}, {7, 5}, {3, 3}, {0, 0}};
  for (int price = 1; price <= 15; ++price) {
    const auto [startDay, days] = methods[pick(0, 5)];
    sql += QStringLiteral("INSERT INTO PRIS (PRIS_ID, UTYPE, PENSJON, START_DAG, ANT_DAGER, WEB)"
                          " VALUES (%1, %2, %3, %4, %5, %6);\n")
               .arg(price)
               .arg(pick(1, 5))
               .arg(pick(0, 3) == 0 ? QStringLiteral("NULL") : QString::number(pick(1, 3)))
               .arg(startDay)
               .arg(days)
               .arg(pick(0, 4) == 0 ? QStringLiteral("'N'") : QStringLiteral("'J'"));
    int from = pick(-30, 0);
    for (int line = pick(1, 4); line > 0; --line) {
      const int until = from + pick(5, 40);
      sql += QStringLiteral("INSERT INTO PRISLINJE (PRIS_ID, FRA_DATO, TIL_DATO, PRIS_UKE,"
                            " PRIS_WEEK) VALUES (%1, %2, %3, %4.%5, %6);\n")
                 .arg(price)
                 .arg(day(from), line == 1 && pick(0, 1) == 0 ? QStringLiteral("NULL") : day(until))
                 .arg(pick(50, 3000))
                 .arg(pick(0, 1) == 0 ? QStringLiteral("00") : QStringLiteral("25"))
                 .arg(pick(0, 1) == 0 ? 0 : pick(50, 3000));
      from = until + (pick(0, 3) == 0 ? pick(1, 3) : pick(-4, 0));  // a gap, or an overlap
    }
  }
  return sql;
}

TEST_F(TwinProcedureTest, GeneratedBusinessesAgree) {
  for (unsigned seed : {11u, 12u, 13u}) {
    SCOPED_TRACE(seed);
    Create(false);
    Load(GeneratedBusiness(seed));
    AgreeOnMatrices({-1, 1, 2, 3, 4}, {-1, 2, 3}, {{-12, 20}, {15, 65}});
    std::mt19937 random(seed);
    for (int stay = 0; stay < 40; ++stay) {
      const int arrival = std::uniform_int_distribution<int>(-35, 90)(random);
      const int nights = std::uniform_int_distribution<int>(-1, 20)(random);
      Agree(kPrices, {Day(0), Day(arrival), Day(arrival + nights), 1 + stay % 5, -1});
      AgreeComputedPrices(Day(arrival), Day(arrival + nights), 1 + stay % 5);
    }
  }
  EXPECT_GT(rows_, 10000);
}

TEST_F(TwinProcedureTest, BadArgumentsFailOnBothAndAreNamed) {
  Create(false);
  BothFail(kMatrix, {"2000.04.08", "14.04.2000", -1, 1}, "FRA");
  BothFail(kMatrix, {"08.04.2000", "", -1, 1}, "TIL");
  BothFail(kMatrix, {"08.04.2000", "2000-02-30", -1, 1}, "TIL");
  BothFail(kMatrix, {"08.04.2000", "14.04.2000", QVariant(), 1}, "AGENT");
  BothFail(kMatrix, {"08.04.2000", "14.04.2000", -1, 1.5}, "ANLEGG");
  BothFail(kMatrix, {"08.04.2000", "14.04.2000", -1, 4294967297LL}, "ANLEGG");
  BothFail(kMatrix, {QVariant(), "14.04.2000", -1, 1}, "FRA");
  // Text that is no number at all fails PostgreSQL's own conversion before the procedure
  // runs; its message names the text, not the argument.
  BothFail(kMatrix, {"08.04.2000", "14.04.2000", " ", 1}, nullptr);
  BothFail(kMatrix, {"08.04.2000", "14.04.2000", -1, "VG"}, nullptr);

  BothFail(kPrices, {"03.04.2000", "2000.04.08", "2000-04-10", 5, 7}, "ANK");
  BothFail(kPrices, {"03.04.2000", "31.04.2000", "2000-04-10", 5, 7}, "ANK");
  BothFail(kPrices, {QVariant(), "08.04.2000", "2000-04-10", 5, 7}, "REFDATO");
  BothFail(kPrices, {"03.04.2000", "08.04.2000", "10.4.2000", 5, 7}, "AVR");
  BothFail(kPrices, {"03.04.2000", "08.04.2000", "2000-04-10", QVariant(), 7}, "UTYPEN");
  BothFail(kPrices, {"03.04.2000", "08.04.2000", "2000-04-10", 5.5, 7}, "UTYPEN");
  BothFail(kPrices, {"03.04.2000", "08.04.2000", "2000-04-10", 5, QVariant()}, "ANLEGGET");
  // Text holding a whole number is a number on both, and so is a real without a fraction;
  // text with a fraction is not.
  Load(QStringLiteral("INSERT INTO UTYPE (UTYPE) VALUES (5);\n"
                      "INSERT INTO PRIS (PRIS_ID, UTYPE, START_DAG, ANT_DAGER, WEB)"
                      " VALUES (40, 5, 0, 1, 'J');\n"
                      "INSERT INTO PRISLINJE (PRIS_ID, FRA_DATO, PRIS_UKE)"
                      " VALUES (40, '2000-01-01', 100);\n"));
  EXPECT_EQ(Agree(kPrices, {"03.04.2000", "08.04.2000", "2000-04-10", " 5", "+7"}).rows.size(),
            1);
  EXPECT_EQ(Agree(kPrices, {"03.04.2000", "08.04.2000", "2000-04-10", 5.0, -1.0}).rows.size(),
            1);
  BothFail(kPrices, {"03.04.2000", "08.04.2000", "2000-04-10", "5.0", 7}, "UTYPEN");
}

// PostgreSQL alone: arguments typed as dates, and a session whose date order is not ours.
TEST_F(TwinProcedureTest, DateValuesAndTheSessionsDateStyleGiveTheSameRows) {
  Create(true);
  QSqlDatabase postgres = postgresConnection_->database();
  const QString from = Iso(Day(-2));
  const QString to = Iso(Day(5));
  const Answer text = Ask(postgres, kMatrix, {Local(Day(-2)), Local(Day(5)), 2, -1});
  ASSERT_FALSE(text.error) << text.error->toStdString();
  ASSERT_EQ(text.rows.size(), 6 * 8);
  const QString typed = QStringLiteral(
      "SELECT UTLEIETYPE, DATO, LEDIG, ALLOTMENT, TILBUD"
      " FROM HENT_LEDIG_MATRISE(DATE '%1', DATE '%2', 2, -1, 0)").arg(from, to);
  EXPECT_EQ(Ask(postgres, typed, {}).rows, text.rows);
  // Dates still read back as ISO text, which the driver expects; only the order in which
  // PostgreSQL itself would read a day and a month changes.
  for (const char* style : {"SET DateStyle = 'ISO, MDY'", "SET DateStyle = 'ISO, YMD'"}) {
    ASSERT_TRUE(QSqlQuery(postgres).exec(QLatin1String(style)));
    EXPECT_EQ(Ask(postgres, kMatrix, {Local(Day(-2)), Local(Day(5)), 2, -1}).rows, text.rows)
        << style;
  }

  const QString typedPrices = QStringLiteral(
      "SELECT INTPRISKODE, FLTTOTALPRISER FROM BEREGN_WEB_PRISMATRISE(CURRENT_DATE,"
      " CURRENT_DATE + 2, CURRENT_DATE + 9, 1, 1)");
  const Answer prices = Ask(postgres, kPrices, {Day(0), Local(Day(2)), Iso(Day(9)), 1, 1});
  ASSERT_FALSE(prices.rows.isEmpty());
  QStringList expected;
  for (const QString& row : prices.rows) {
    expected << row.section(u'|', 0, 0) + u'|' + row.section(u'|', 2, 2);
  }
  EXPECT_EQ(Ask(postgres, typedPrices, {}).rows, expected);
}

}  // namespace
}  // namespace taurelin
