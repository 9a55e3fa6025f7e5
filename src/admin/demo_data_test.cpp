#include "admin/schema.h"
#include "store/connection.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <memory>

namespace taurelin {
namespace {

// The demo installed once, today, on a connection as the server opens it (foreign keys on).
class DemoDataTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<QTemporaryDir>();
    DatabaseAlias alias;
    alias.name = QStringLiteral("demo");
    alias.database = dir_->filePath(QStringLiteral("demo.db"));
    connection_ = std::make_unique<Connection>(QStringLiteral("demo_data_test"));
    QString error;
    ASSERT_TRUE(connection_->open(alias, &error)) << error.toStdString();
    ASSERT_TRUE(InstallSchema(connection_->database(), true, &error)) << error.toStdString();
  }
  static void TearDownTestSuite() {
    connection_.reset();
    dir_.reset();
  }

  // The single number a statement gives.
  static qint64 Scalar(const QString& sql) {
    QSqlQuery query(connection_->database());
    if (!query.exec(sql) || !query.next()) {
      ADD_FAILURE() << sql.toStdString() << ": " << query.lastError().text().toStdString();
      return -1;
    }
    return query.value(0).toLongLong();
  }

  static inline std::unique_ptr<QTemporaryDir> dir_;
  static inline std::unique_ptr<Connection> connection_;
};

TEST_F(DemoDataTest, EveryObjectStandsInAWingOfAFacility) {
  EXPECT_EQ(Scalar("SELECT count(*) FROM UTLEIEOB"), 60);
  EXPECT_EQ(Scalar("SELECT count(*) FROM ANLEGG"), 3);
  EXPECT_EQ(Scalar("SELECT count(*) FROM UTLEIEOB O"
                   " LEFT JOIN FLOY F ON F.FLOYKODE = O.FLOYKODE"
                   " LEFT JOIN ANLEGG A ON A.ANLEGGSNR = F.ANLEGG"
                   " WHERE A.ANLEGGSNR IS NULL"),
            0);
}

TEST_F(DemoDataTest, TheInterfaceSellsSixTypesAtEveryFacility) {
  const QString sells = "BRUKERID = 0 AND MODUL_ID = 1 AND RETTIGHET > 1";
  EXPECT_EQ(Scalar("SELECT count(DISTINCT UTYPE) FROM UTYPER_BRUKER WHERE " + sells), 6);
  EXPECT_EQ(Scalar("SELECT sum(ANTENH) FROM UTYPER_BRUKER WHERE " + sells),
            Scalar("SELECT count(*) FROM UTLEIEOB"));
  EXPECT_EQ(Scalar("SELECT count(*) FROM ANLEGG_BRUKER WHERE " + sells),
            Scalar("SELECT count(*) FROM ANLEGG"));
  // A type's units are its objects.
  EXPECT_EQ(Scalar("SELECT count(*) FROM UTYPE U WHERE U.ANTENH <>"
                   " (SELECT count(*) FROM UTLEIEOB O WHERE O.UTYPE = U.UTYPE)"),
            0);
}

TEST_F(DemoDataTest, EveryWebPriceRunsFromTodayAndEveryTypeHasOne) {
  const QString covers = " FROM PRISLINJE L WHERE L.PRIS_ID = P.PRIS_ID AND L.FRA_DATO <= %1"
                         " AND (L.TIL_DATO > %1 OR L.TIL_DATO IS NULL)";
  for (int days : {0, 2}) {  // today and the day after tomorrow
    const QString day = u'\'' + QDate::currentDate().addDays(days).toString(Qt::ISODate) + u'\'';
    EXPECT_EQ(Scalar("SELECT count(*) FROM PRIS P WHERE P.WEB = 'J' AND NOT EXISTS (SELECT 1" +
                     covers.arg(day) + ")"),
              0)
        << day.toStdString();
  }
  EXPECT_EQ(Scalar("SELECT count(*) FROM UTYPE U WHERE NOT EXISTS"
                   " (SELECT 1 FROM PRIS P WHERE P.UTYPE = U.UTYPE AND P.WEB = 'J')"),
            0);
  EXPECT_GT(Scalar("SELECT count(*) FROM PRIS WHERE WEB <> 'J'"), 0);
  // Two lines of one price on the same day would leave its price for that day open.
  EXPECT_EQ(Scalar("SELECT count(*) FROM PRISLINJE A JOIN PRISLINJE B"
                   " ON A.PRIS_ID = B.PRIS_ID AND A.FRA_DATO < B.FRA_DATO"
                   " WHERE A.TIL_DATO IS NULL OR A.TIL_DATO > B.FRA_DATO"),
            0);
}

TEST_F(DemoDataTest, BookingsAreWrittenAsBookingCreationWritesThem) {
  EXPECT_EQ(Scalar("SELECT count(*) FROM BOOKING B WHERE NOT EXISTS"
                   " (SELECT 1 FROM LEIE L WHERE L.REFNR = B.REFNR AND L.LEIETYPE = 'U')"),
            0);
  // Every rental-type line owns exactly one object line with the same stay and price.
  EXPECT_EQ(Scalar("SELECT count(*) FROM LEIE U WHERE U.LEIETYPE = 'U' AND U.LINJE_EIER = 0"),
            Scalar("SELECT count(*) FROM LEIE U JOIN LEIE O ON O.LINJE_EIER = U.LINJENR"
                   " WHERE U.LEIETYPE = 'U' AND O.LEIETYPE = 'O' AND O.REFNR = U.REFNR"
                   " AND O.UTYPE = U.UTYPE AND O.ANLEGG = U.ANLEGG AND O.ANKOMST = U.ANKOMST"
                   " AND O.AVREISE = U.AVREISE AND O.ANTALL = U.ANTALL"
                   " AND O.ANT_VOKSEN = U.ANT_VOKSEN AND O.A_PRIS = U.A_PRIS"
                   " AND O.PRISTYPE = U.PRISTYPE AND O.STATKODE = U.STATKODE"
                   " AND O.PRISKODE = U.PRISKODE AND O.OBJNR = '0' AND O.TIL = 'M'"
                   " AND O.ETTER = 'F' AND O.FAKT_STAT = ''"));
  EXPECT_EQ(Scalar("SELECT count(*) FROM LEIE"),
            2 * Scalar("SELECT count(*) FROM LEIE WHERE LEIETYPE = 'U'"));
  // The price code of a line is a price of its type with the line's board, so that the
  // booking fetch finds its board type.
  EXPECT_EQ(Scalar("SELECT count(*) FROM LEIE L LEFT JOIN PRIS P"
                   " ON P.PRIS_ID = L.PRISKODE AND P.UTYPE = L.UTYPE AND P.PENSJON = L.PENSJON"
                   " WHERE P.PRIS_ID IS NULL"),
            0);
  EXPECT_GT(Scalar("SELECT count(*) FROM BOOKING WHERE BESTNR IS NOT NULL AND AVBESTILT = 0"),
            0);
  EXPECT_GT(Scalar("SELECT count(*) FROM BOOKING WHERE BESTNR IS NULL"), 0);
  // A cancelled booking is one that had a booker; all its lines are marked.
  EXPECT_GT(Scalar("SELECT count(*) FROM BOOKING WHERE AVBESTILT = 1"), 0);
  EXPECT_EQ(Scalar("SELECT count(*) FROM BOOKING WHERE AVBESTILT = 1 AND BESTNR IS NULL"), 0);
  EXPECT_EQ(Scalar("SELECT count(*) FROM LEIE L JOIN BOOKING B ON B.REFNR = L.REFNR"
                   " WHERE (B.AVBESTILT = 1) <> (L.STATUS IS NOT NULL AND L.STATUS = 'A')"),
            0);
  EXPECT_EQ(Scalar("SELECT count(*) FROM BOOKING B JOIN ANLEGG A ON A.ANLEGGSNR = B.ANLEGGSNR"
                   " JOIN AGENT G ON G.AKODE = B.AKODE WHERE B.FORETAKSNR = A.FORETAKSNR"),
            Scalar("SELECT count(*) FROM BOOKING"));
}

TEST_F(DemoDataTest, NoNightIsSoldBeyondTheObjectsOfItsType) {
  // The busiest night of a type starts with the arrival of one of its lines.
  EXPECT_EQ(Scalar("SELECT count(*) FROM LEIE A WHERE A.LEIETYPE = 'O' AND"
                   " (SELECT sum(B.ANTALL) FROM LEIE B WHERE B.LEIETYPE = 'O'"
                   "   AND (B.STATUS IS NULL OR B.STATUS <> 'A')"
                   "   AND B.ANLEGG = A.ANLEGG AND B.UTYPE = A.UTYPE"
                   "   AND B.ANKOMST <= A.ANKOMST AND B.AVREISE > A.ANKOMST) >"
                   " (SELECT count(*) FROM UTLEIEOB O JOIN FLOY F ON F.FLOYKODE = O.FLOYKODE"
                   "   WHERE F.ANLEGG = A.ANLEGG AND O.UTYPE = A.UTYPE)"),
            0);
}

TEST_F(DemoDataTest, AllotmentsOfBothKindsHoldTypesTheirFacilityHas) {
  EXPECT_GT(Scalar("SELECT count(*) FROM ALLOTLINJE WHERE ALLOTTYPE = 'K' AND REQUEST = 'A'"),
            0);
  EXPECT_GT(Scalar("SELECT count(*) FROM ALLOTLINJE WHERE ALLOTTYPE = 'P' AND REQUEST = 'A'"),
            0);
  EXPECT_EQ(Scalar("SELECT count(*) FROM ALLOTLINJE AL JOIN ALLOT A ON A.ALLOT_ID = AL.ALLOT_ID"
                   " LEFT JOIN AGENT G ON G.AKODE = A.AKODE"
                   " LEFT JOIN UTYPER_BRUKER U ON U.ANLEGG = A.ANLEGGSNR AND U.UTYPE = AL.UTYPE"
                   "   AND U.BRUKERID = 0 AND U.MODUL_ID = 1"
                   " WHERE G.AKODE IS NULL OR U.UTYPE IS NULL"),
            0);
  // Allotment taken by a line: a night of its stay, within its allotment line, by the
  // allotment's agent at the allotment's facility.
  EXPECT_GT(Scalar("SELECT count(*) FROM LEIE_ALLOT"), 0);
  EXPECT_EQ(Scalar("SELECT count(*) FROM LEIE_ALLOT LA"
                   " JOIN LEIE L ON L.LINJENR = LA.LINJENR AND L.LEIETYPE = 'O'"
                   " JOIN BOOKING B ON B.REFNR = L.REFNR"
                   " JOIN ALLOTLINJE AL ON AL.ALLOTLINJENR = LA.ALLOTLINJENR"
                   " JOIN ALLOT A ON A.ALLOT_ID = AL.ALLOT_ID"
                   " WHERE LA.DATO >= L.ANKOMST AND LA.DATO < L.AVREISE"
                   " AND LA.DATO >= AL.FRA AND LA.DATO <= AL.TIL AND AL.UTYPE = L.UTYPE"
                   " AND A.ANLEGGSNR = L.ANLEGG AND A.AKODE = B.AKODE"),
            Scalar("SELECT count(*) FROM LEIE_ALLOT"));
}

TEST_F(DemoDataTest, NumberSeriesStandPastTheDemoNumbers) {
  EXPECT_GE(Scalar("SELECT VERDI FROM TELLER WHERE NAVN = 'REFNR'"),
            Scalar("SELECT max(REFNR) FROM BOOKING"));
  EXPECT_GE(Scalar("SELECT VERDI FROM TELLER WHERE NAVN = 'LINJENR'"),
            Scalar("SELECT max(LINJENR) FROM LEIE"));
  EXPECT_GE(Scalar("SELECT VERDI FROM TELLER WHERE NAVN = 'BESTNR'"),
            Scalar("SELECT max(BESTNR) FROM BESTILL"));
}

TEST_F(DemoDataTest, ListsTheWebShopReadsAreThere) {
  EXPECT_EQ(Scalar("SELECT count(*) FROM NASJON WHERE NKODE IN ('N', 'S', 'DK')"), 3);
  EXPECT_EQ(Scalar("SELECT count(*) FROM BESTILL B LEFT JOIN NASJON N ON N.NKODE = B.NKODE"
                   " WHERE N.NKODE IS NULL"),
            0);
  EXPECT_GT(Scalar("SELECT count(*) FROM BETFORM WHERE GYLDIG = 'J' OR GYLDIG IS NULL"), 0);
  EXPECT_GT(Scalar("SELECT count(*) FROM BETFORM WHERE GYLDIG <> 'J'"), 0);
  EXPECT_EQ(Scalar("SELECT count(*) FROM PENSJON WHERE BESKR IS NULL OR BESKR = ''"), 0);
}

}  // namespace
}  // namespace taurelin
