#include "admin/amounts.h"

#include "store/sqlite/sqlite_test_database.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QSqlDatabase>
#include <QVariant>

#include <cmath>
#include <limits>
#include <random>

namespace taurelin {
namespace {

const DecimalColumn kAmount{QStringLiteral("PRIS_UKE"), 15, 2};

std::string Problem(const QVariant& value, const DecimalColumn& column = kAmount) {
  return DecimalProblem(value, column).toStdString();
}

TEST(DecimalProblemTest, NumericHoldsAmountsOfItsScaleAndSizeAsTheyAre) {
  for (const QVariant& held :
       {QVariant(100.12), QVariant(100.1), QVariant(0.01), QVariant(-100.99), QVariant(-0.0),
        QVariant(qint64(100)), QVariant(-5), QVariant(0), QVariant(9999999999999.99),
        QVariant(-9999999999999.99), QVariant(qint64(9999999999999)), QVariant(19.99 * 3),
        QVariant(QStringLiteral("100.120")), QVariant(QStringLiteral(" -7 ")),
        QVariant(QStringLiteral("1.5e2")), QVariant(QStringLiteral("12300e-4")),
        QVariant(QMetaType(QMetaType::Double)), QVariant()}) {
    EXPECT_EQ(Problem(held), "") << held.toString().toStdString();
  }
  EXPECT_EQ(Problem(100.125), "has more than 2 decimals");
  EXPECT_EQ(Problem(0.1 + 0.2), "has more than 2 decimals");  // 0.30000000000000004
  EXPECT_EQ(Problem(100 * 1.1), "has more than 2 decimals");  // 110.00000000000001
  EXPECT_EQ(Problem(-0.005), "has more than 2 decimals");
  EXPECT_EQ(Problem(1e-320), "has more than 2 decimals");
  EXPECT_EQ(Problem(QStringLiteral("100.125")), "has more than 2 decimals");
  EXPECT_EQ(Problem(QStringLiteral("1e-3")), "has more than 2 decimals");
  EXPECT_EQ(Problem(1e13), "has more than 13 digits before the point");
  EXPECT_EQ(Problem(-1e15 - 0.125), "has more than 13 digits before the point");
  EXPECT_EQ(Problem(qint64(10000000000000)), "has more than 13 digits before the point");
  EXPECT_EQ(Problem(QStringLiteral("1e13")), "has more than 13 digits before the point");
  EXPECT_EQ(Problem(std::numeric_limits<double>::infinity()), "is not a number");
  EXPECT_EQ(Problem(std::nan("")), "is not a number");
  for (const char* text : {"cheap", "", "0x10", "1e", "1.2.3", "--1", "."}) {
    EXPECT_EQ(Problem(QString::fromLatin1(text)), "is not a number") << text;
  }
  EXPECT_EQ(Problem(QByteArray("\x01")), "is not a number");
  // Another scale and size.
  const DecimalColumn whole{QStringLiteral("N"), 3, 0};
  EXPECT_EQ(Problem(999, whole), "");
  EXPECT_EQ(Problem(1000, whole), "has more than 3 digits before the point");
  EXPECT_EQ(Problem(1.5, whole), "is not a whole number");
  EXPECT_EQ(Problem(QStringLiteral("0.0000000000000000000001"), {QStringLiteral("N"), 30, 22}),
            "");
}

// The real nearest each amount of two decimals is held; the reals beside it are not, at
// every size up to the largest amount.
TEST(DecimalProblemTest, ARealIsHeldExactlyWhenItIsTheNearestOfAnAmount) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 50000; ++i) {
    const int digits = int(random() % 16);
    const qint64 range = qint64(std::pow(10.0, digits));
    const qint64 hundredths = qint64(random() % quint64(2 * range + 1)) - range;
    const double amount =
        QStringLiteral("%1%2.%3")
            .arg(hundredths < 0 ? QStringLiteral("-") : QString())
            .arg(std::abs(hundredths) / 100)
            .arg(std::abs(hundredths) % 100, 2, 10, QLatin1Char('0'))
            .toDouble();
    const bool fits = std::abs(hundredths) < 1'000'000'000'000'000;
    ASSERT_EQ(Problem(amount).empty(), fits) << hundredths;
    for (const double beside : {std::nextafter(amount, 1e300), std::nextafter(amount, -1e300)}) {
      ASSERT_NE(Problem(beside), "") << hundredths;
    }
  }
}

TEST(DescribeValueTest, NamesTheRowByItsKeyAndShowsTheValueAsStored) {
  EXPECT_EQ(DescribeValue(QStringLiteral("PRISLINJE"), {"PRIS_ID", "FRA_DATO"},
                          {QVariant(7), QVariant(QStringLiteral("2025-06-01"))},
                          QStringLiteral("PRIS_UKE"), QVariant(100.125)),
            "PRISLINJE PRIS_ID=7 FRA_DATO=2025-06-01: PRIS_UKE 100.125");
  EXPECT_EQ(ValueText(QStringLiteral("it's")), "'it''s'");
  EXPECT_EQ(ValueText(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(ValueText(QVariant()), "NULL");
}

// A database whose rows were written past the check, as one made before the check could hold
// them.
TEST(CheckAmountsTest, ListsEveryValueThatItsColumnDoesNotHold) {
  SqliteTestDatabase db;
  QSqlDatabase database = db.database();
  EXPECT_EQ(CheckAmounts(database), QStringList());
  db.exec(
      "INSERT INTO UTYPE (UTYPE) VALUES (1);"
      "INSERT INTO PRIS (PRIS_ID, UTYPE) VALUES (1, 1);"
      "INSERT INTO BOOKING (REFNR, RABATT) VALUES (1, 5.5);"
      "INSERT INTO LEIE (LINJENR, REFNR, A_PRIS, RABATT) VALUES (1, 1, 100, NULL);"
      "PRAGMA ignore_check_constraints = ON;"
      "INSERT INTO PRISLINJE (PRIS_ID, FRA_DATO, PRIS_UKE, PRIS_WEEK) VALUES"
      "  (1, '2025-06-01', 100.125, 0), (1, '2025-07-01', 100.12, 0.1 + 0.2);"
      "INSERT INTO LEIE (LINJENR, REFNR, A_PRIS, AG_PROV) VALUES (2, 1, 'cheap', 1e13);"
      "PRAGMA ignore_check_constraints = OFF;");
  EXPECT_EQ(CheckAmounts(database),
            QStringList({"PRISLINJE PRIS_ID=1 FRA_DATO=2025-06-01: PRIS_UKE 100.125 has more "
                         "than 2 decimals (NUMERIC(15,2))",
                         "PRISLINJE PRIS_ID=1 FRA_DATO=2025-07-01: PRIS_WEEK "
                         "0.30000000000000004 has more than 2 decimals (NUMERIC(15,2))",
                         "LEIE LINJENR=2: A_PRIS 'cheap' is not a number (NUMERIC(15,2))",
                         "LEIE LINJENR=2: AG_PROV 10000000000000 has more than 13 digits "
                         "before the point (NUMERIC(15,2))"}));

  // Many of one column: a few, then how many more.
  db.exec(
      "PRAGMA ignore_check_constraints = ON;"
      "WITH RECURSIVE n(x) AS (SELECT 3 UNION ALL SELECT x + 1 FROM n WHERE x < 52)"
      "INSERT INTO LEIE (LINJENR, REFNR, RABATT) SELECT x, 1, x + 0.001 FROM n;"
      "PRAGMA ignore_check_constraints = OFF;");
  const QStringList lines = CheckAmounts(database);
  EXPECT_EQ(lines.filter(QStringLiteral(": RABATT ")).size(), 20);
  EXPECT_TRUE(lines.contains(
      QStringLiteral("LEIE: 30 more values of RABATT that NUMERIC(15,2) does not hold")))
      << lines.join(u'\n').toStdString();
}

}  // namespace
}  // namespace taurelin
