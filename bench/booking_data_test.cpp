// The benchmarks' business holds what it promises: its counts, whole bookings, number series
// past every number it uses, and no night on which a rental type holds more units than it
// has, as the server's own occupancy sees it; also when it sells faster than its units hold.

#include "booking_data.h"

#include "store/alias_list.h"
#include "store/connection.h"
#include "store/occupancy.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

namespace taurelin::bench {
namespace {

// Every night from `from` up to `until`, a year at a time, holds at most the units of each
// type, as the server's occupancy counts them.
void ExpectNoNightOverbooked(Connection& connection, const QDate& from, const QDate& until) {
  Occupancy occupancy(connection, nullptr);
  QSqlQuery pairs(connection.database());
  ASSERT_TRUE(pairs.exec(QStringLiteral(
      "SELECT ANLEGG, UTYPE FROM UTYPER_BRUKER WHERE BRUKERID = 0 AND MODUL_ID = 1")));
  std::vector<std::pair<int, int>> layout;
  while (pairs.next()) layout.emplace_back(pairs.value(0).toInt(), pairs.value(1).toInt());
  ASSERT_FALSE(layout.empty());
  for (QDate start = from; start < until; start = start.addDays(365)) {
    const QDate end = std::min(start.addDays(364), until.addDays(-1));
    occupancy.InitBelegg();
    occupancy.LoadBelegg(start, end);
    for (const auto& [facility, type] : layout) {
      EXPECT_LE(occupancy.GetMaxBelegg(facility, type, start, end, OccupancyCounter::NotFree),
                occupancy.GetKapasitet(facility, type))
          << "facility " << facility << ", type " << type << ", from "
          << start.toString(Qt::ISODate).toStdString();
    }
  }
}

class BookingDataTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    directory_ = new QTemporaryDir;
    QString error;
    ASSERT_TRUE(GenerateBookingData(directory_->filePath(QStringLiteral("business.db")), {},
                                    &counts_, &error))
        << error.toStdString();
    DatabaseAlias alias;
    alias.database = directory_->filePath(QStringLiteral("business.db"));
    connection_ = std::make_unique<Connection>(QStringLiteral("booking-data-test"));
    ASSERT_TRUE(connection_->open(alias, &error, false)) << error.toStdString();
  }
  static void TearDownTestSuite() {
    connection_.reset();
    delete directory_;
  }

  static qint64 Number(const QString& sql) {
    QSqlQuery query(connection_->database());
    EXPECT_TRUE(query.exec(sql) && query.next()) << sql.toStdString();
    return query.value(0).toLongLong();
  }

  static inline std::unique_ptr<Connection> connection_;
  static inline QTemporaryDir* directory_ = nullptr;
  static inline BookingDataCounts counts_;
};

TEST_F(BookingDataTest, HoldsTheMidSizeBusiness) {
  EXPECT_EQ(Number("SELECT COUNT(*) FROM ANLEGG"), 10);
  EXPECT_EQ(Number("SELECT COUNT(*) FROM UTYPE"), 12);
  EXPECT_EQ(Number("SELECT COUNT(*) FROM UTLEIEOB"), 2000);
  EXPECT_EQ(Number("SELECT SUM(ANTENH) FROM UTYPE"), 2000);
  EXPECT_EQ(Number("SELECT COUNT(*) FROM LEIE"), 150000);
  EXPECT_EQ(Number("SELECT COUNT(*) FROM ALLOTLINJE"), 500);
  EXPECT_GT(Number("SELECT COUNT(*) FROM LEIE_ALLOT"), 0);
  EXPECT_EQ(Number("SELECT COUNT(*) FROM BRUKERRETT WHERE BRUKERID = 0 AND MODUL_ID = 1 AND "
                   "RETTIGHET = 2"),
            10);
  EXPECT_EQ(counts_.rentalLines, 150000);
  EXPECT_EQ(counts_.firstArrival, QDate::currentDate().addDays(-3 * 365));
  // Most lines are stays of 1 to 14 nights; a few are cancelled.
  const qint64 cancelled = Number("SELECT COUNT(*) FROM LEIE WHERE STATUS = 'A'");
  EXPECT_GT(cancelled, 0);
  EXPECT_LT(cancelled, 150000 / 10);
  EXPECT_GT(Number("SELECT COUNT(*) FROM LEIE WHERE LEIETYPE = 'O' AND "
                   "julianday(AVREISE) - julianday(ANKOMST) BETWEEN 1 AND 14"),
            150000 / 2 * 95 / 100);
}

TEST_F(BookingDataTest, EveryObjectLineBelongsToARentalTypeLineOfItsBooking) {
  EXPECT_EQ(Number("SELECT COUNT(*) FROM LEIE WHERE LEIETYPE = 'U'"), 75000);
  EXPECT_EQ(Number("SELECT COUNT(*) FROM LEIE O JOIN LEIE U ON (U.LINJENR = O.LINJE_EIER AND "
                   "U.REFNR = O.REFNR AND U.LEIETYPE = 'U') WHERE O.LEIETYPE = 'O'"),
            75000);
  EXPECT_EQ(Number("SELECT COUNT(*) FROM BOOKING B WHERE NOT EXISTS "
                   "(SELECT 1 FROM LEIE L WHERE L.REFNR = B.REFNR)"),
            0);
}

TEST_F(BookingDataTest, NumberSeriesStandPastEveryNumberUsed) {
  EXPECT_EQ(Number("SELECT VERDI FROM TELLER WHERE NAVN = 'REFNR'"),
            Number("SELECT MAX(REFNR) FROM BOOKING"));
  EXPECT_EQ(Number("SELECT VERDI FROM TELLER WHERE NAVN = 'LINJENR'"),
            Number("SELECT MAX(LINJENR) FROM LEIE"));
  EXPECT_EQ(Number("SELECT VERDI FROM TELLER WHERE NAVN = 'BESTNR'"),
            Number("SELECT MAX(BESTNR) FROM BESTILL"));
}

TEST_F(BookingDataTest, NoObjectIsSoldTwiceForANight) {
  // In the order of arrival, a stay that overlaps any earlier one overlaps the one before it.
  EXPECT_EQ(Number("SELECT COUNT(*) FROM (SELECT ANKOMST, LAG(AVREISE) OVER "
                   "(PARTITION BY OBJNR ORDER BY ANKOMST) AS EARLIER FROM LEIE "
                   "WHERE LEIETYPE = 'O' AND OBJNR <> '0' AND "
                   "(STATUS IS NULL OR STATUS <> 'A')) WHERE EARLIER > ANKOMST"),
            0);
}

TEST_F(BookingDataTest, NoNightHoldsMoreUnitsThanATypeHas) {
  ExpectNoNightOverbooked(*connection_, counts_.firstArrival,
                          QDate::currentDate().addDays(365));
}

// Thirty times the rate for two months asks for far more nights than the units have: the
// calendar fills, the business sells fewer stays, and still none twice.
TEST(CrowdedBookingDataTest, SellsFewerWhenTheCalendarIsFull) {
  QTemporaryDir directory;
  BookingDataOptions options;
  options.daysAhead = 60;
  options.aheadFactor = 30;
  BookingDataCounts counts;
  QString error;
  const QString file = directory.filePath(QStringLiteral("crowded.db"));
  ASSERT_TRUE(GenerateBookingData(file, options, &counts, &error)) << error.toStdString();
  const qint64 asked = kBaseRentalLines - kYearAheadRentalLines +
                       kYearAheadRentalLines * options.aheadFactor * options.daysAhead / 365;
  EXPECT_LT(counts.rentalLines, asked * 3 / 4);
  EXPECT_GT(counts.rentalLines, kBaseRentalLines);

  Connection connection{QStringLiteral("crowded-booking-data-test")};
  DatabaseAlias alias;
  alias.database = file;
  ASSERT_TRUE(connection.open(alias, &error, false)) << error.toStdString();
  ExpectNoNightOverbooked(connection, QDate::currentDate(),
                          QDate::currentDate().addDays(options.daysAhead + 60));
}

}  // namespace
}  // namespace taurelin::bench
