#include "handlers/ledig.h"

#include "handlers/avbestill.h"
#include "handlers/reserver.h"

#include "handlers/protocol_dates.h"
#include "handlers/stay_test_fixture.h"

namespace taurelin {
namespace {

const QString kLedigHeader = QStringLiteral(
    "&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;AVREISE;PENSJONSTYPE;LEDIG;PRIS&data=");

class LedigTest : public StayTest {
 protected:
  QString Ledig(const QString& facility, const QString& type, const QString& arrival,
                const QString& departure, const QString& board = QStringLiteral(" "),
                const QString& object = QStringLiteral("*")) {
    return Call(&HandleLedig, {{"ANLEGGSNR", facility},
                               {"UTYPE", type},
                               {"UTL_OBJ", object},
                               {"PENSJONSTYPE", board},
                               {"ANKOMST", arrival},
                               {"AVREISE", departure}});
  }
};

TEST_P(LedigTest, OneRowPerTypeAndBoardWithTheWinningPrice) {
  // Saturday to Friday: six nights. Boards come in the order of their descriptions. Board 2:
  // the week price does not fit six nights, the nightly one does; board 1: the Saturday price
  // beats the any-day price.
  EXPECT_EQ(Ledig("1", "*", "2000.04.08", "2000.04.14"),
            "&count=3" + kLedigHeader +
                "LEDIG;0;5; ;2000.04.08;2000.04.14;2;10;7200;"
                "LEDIG;0;5; ;2000.04.08;2000.04.14;1;10;5400;"
                "LEDIG;0;6; ;2000.04.08;2000.04.14;;2;0");
  // Seven nights: the week fits and, standing last among board 2's prices, wins.
  EXPECT_EQ(Ledig("1", "5", "2000.04.08", "2000.04.15"),
            "&count=2" + kLedigHeader +
                "LEDIG;0;5; ;2000.04.08;2000.04.15;2;10;6000;"
                "LEDIG;0;5; ;2000.04.08;2000.04.15;1;10;6300");
}

TEST_P(LedigTest, BoardTypeFiltersAndTheMarkerDoesNot) {
  EXPECT_EQ(Ledig("1", "5", "2000.04.08", "2000.04.14", "2"),
            "&count=1" + kLedigHeader + "LEDIG;0;5; ;2000.04.08;2000.04.14;2;10;7200");
  EXPECT_EQ(Ledig("1", "5", "2000.04.08", "2000.04.14", "*"),
            Ledig("1", "5", "2000.04.08", "2000.04.14", ""));
  // A board type that is no number cannot filter: the request fails.
  EXPECT_THROW(Ledig("1", "5", "2000.04.08", "2000.04.14", "2 OR 1=1"), ConversionError);
}

TEST_P(LedigTest, OccupiedUnitsAndAllFacilities) {
  Run("INSERT INTO BOOKING (REFNR) VALUES (1);\n"
      "INSERT INTO LEIE (LINJENR, REFNR, LEIETYPE, ANKOMST, AVREISE, UTYPE, ANLEGG, ANTALL)"
      "  VALUES (1, 1, 'O', '2000-04-10', '2000-04-12', 5, 1, 4);\n");
  EXPECT_EQ(Ledig("1", "5", "2000.04.08", "2000.04.14", "1"),
            "&count=1" + kLedigHeader + "LEDIG;0;5; ;2000.04.08;2000.04.14;1;6;5400");
  // All facilities: every summary row of the type, with the figures of all facilities.
  const QString row = QStringLiteral("LEDIG;0;5; ;2000.04.08;2000.04.14;1;9;5400");
  EXPECT_EQ(Ledig("-1", "5", "2000.04.08", "2000.04.14", "1"),
            "&count=2" + kLedigHeader + row + u';' + row);
}

TEST_P(LedigTest, WritesOfOtherProgramsCountAtTheNextRequest) {
  // Another program writes with plain SQL on its own connection, between two requests; the
  // server's kept statements, layout and index must all see it at once.
  const auto free = [this](const char* facility) {
    return Ledig(facility, "5", "2000.04.08", "2000.04.14", "1").section(u';', -2, -2);
  };
  EXPECT_EQ(free("1"), "10");
  Run("INSERT INTO BOOKING (REFNR) VALUES (1);\n"
      "INSERT INTO LEIE (LINJENR, REFNR, LEIETYPE, ANKOMST, AVREISE, UTYPE, ANLEGG, ANTALL)"
      "  VALUES (1, 1, 'O', '2000-04-10', '2000-04-12', 5, 1, 4);\n");
  EXPECT_EQ(free("1"), "6");
  Run("UPDATE LEIE SET ANKOMST = '2000-05-10', AVREISE = '2000-05-12' WHERE LINJENR = 1;\n");
  EXPECT_EQ(free("1"), "10");
  // Back into the stay, from the other end and arriving before it.
  Run("UPDATE LEIE SET ANKOMST = '2000-04-01', AVREISE = '2000-04-09' WHERE LINJENR = 1;\n");
  EXPECT_EQ(free("1"), "6");
  Run("UPDATE LEIE SET STATUS = 'A' WHERE LINJENR = 1;\n");
  EXPECT_EQ(free("1"), "10");
  Run("UPDATE LEIE SET STATUS = NULL, ANTALL = 7 WHERE LINJENR = 1;\n");
  EXPECT_EQ(free("1"), "3");
  Run("UPDATE LEIE SET ANLEGG = 2 WHERE LINJENR = 1;\n");
  EXPECT_EQ(free("1"), "10");
  // The facilities that "all" sums are the layout: taking the server's right on facility 2
  // away leaves that facility out at the next request, its units and its line alike.
  EXPECT_EQ(free("-1").toInt(), 13 - 7);
  Run("DELETE FROM BRUKERRETT WHERE ANLEGGSNR = 2;\n");
  EXPECT_EQ(free("-1"), "10");
  Run("DELETE FROM LEIE WHERE LINJENR = 1;\n");
  EXPECT_EQ(free("-1"), "10");
  // A unit taken out of service is offered no more.
  Run("DELETE FROM UTLEIEOB WHERE OBJNR IN (SELECT MIN(u.OBJNR) FROM UTLEIEOB u"
      "  JOIN FLOY f ON f.FLOYKODE = u.FLOYKODE WHERE u.UTYPE = 5 AND f.ANLEGG = 1);\n");
  EXPECT_EQ(free("1"), "9");
  // So does a price.
  Run("UPDATE PRISLINJE SET PRIS_UKE = 950 WHERE PRIS_ID = 52;\n");
  EXPECT_EQ(Ledig("1", "5", "2000.04.08", "2000.04.14", "1").section(u';', -1), "5700");
  // And a facility.
  EXPECT_TRUE(Ledig("9", "5", "2000.04.08", "2000.04.14").contains(u"errorcode"));
  Run("INSERT INTO ANLEGG (ANLEGGSNR, ANLEGGSNAVN, FORETAKSNR) VALUES (9, 'Ny', 10);\n");
  EXPECT_FALSE(Ledig("9", "5", "2000.04.08", "2000.04.14").contains(u"errorcode"));
}

TEST_P(LedigTest, TheServersOwnReservationAndCancellationCountAtTheNextRequest) {
  // The reservation writes on the data module's connection, the cancellation on the
  // session's: the same question asked again sees each at once.
  const auto free = [this] {
    return Ledig("1", "5", "2000.04.08", "2000.04.14", "1").section(u';', -2, -2);
  };
  EXPECT_EQ(free(), "10");
  EXPECT_TRUE(Call(&HandleReserver, {{"ANLEGGSNR", "1"}, {"UTYPE", "5"}, {"UTL_OBJ", "*"},
                                     {"ANKOMST", "2000.04.10"}, {"AVREISE", "2000.04.11"},
                                     {"PENSJONSTYPE", "1"}, {"ANTALL", "3"},
                                     {"ANT_PERSONER", "2"}, {"AGENT", "7"}, {"PRIS", ""},
                                     {"REFNR", "*"}, {"TIMEOUT", "600"}})
                  .startsWith(u"&count=1"));
  EXPECT_EQ(free(), "7");
  Call(&HandleAvbestill, {{"REFNR", "1"}});
  EXPECT_EQ(free(), "10");
}

TEST_P(LedigTest, WithoutAChangeMarkEveryQuestionIsCountedAfresh) {
  // An older PostgreSQL has no pg_current_snapshot(): a function of that name that fails,
  // found first on the database's search path, stands in for its absence.
  if (postgres()) {
    Run("CREATE SCHEMA older;\n"
        "CREATE FUNCTION older.pg_current_snapshot() RETURNS text LANGUAGE sql"
        "  AS 'SELECT (1 / 0)::text';\n"
        "DO $$ BEGIN EXECUTE format('ALTER DATABASE %I SET search_path = older, pg_catalog,"
        " public', current_database()); END $$;\n");
    Reconnect();
  }
  const auto free = [this] {
    return Ledig("1", "5", "2000.04.08", "2000.04.14", "1").section(u';', -2, -2);
  };
  EXPECT_EQ(free(), "10");
  Run("INSERT INTO BOOKING (REFNR) VALUES (1);\n"
      "INSERT INTO LEIE (LINJENR, REFNR, LEIETYPE, ANKOMST, AVREISE, UTYPE, ANLEGG, ANTALL)"
      "  VALUES (1, 1, 'O', '2000-04-10', '2000-04-12', 5, 1, 4);\n");
  EXPECT_EQ(free(), "6");
}

TEST_P(LedigTest, ADatabaseWithoutTheIndexIsAnsweredAlike) {
  const QString answer = Ledig("1", "5", "2000.04.08", "2000.04.14");
  // Upgraded before the counts came: read through the index, and a line written since counts.
  if (postgres()) {
    Run("DROP TRIGGER LEIE_DAG ON LEIE; DROP TRIGGER LEIE_DAG_TOMT ON LEIE;\n");
  } else {
    Run("DROP TRIGGER LEIE_DAG_NY2; DROP TRIGGER LEIE_DAG_ENDRET2; DROP TRIGGER LEIE_DAG_SLETTET2;\n");
  }
  EXPECT_EQ(Ledig("1", "5", "2000.04.08", "2000.04.14"), answer);
  Run("INSERT INTO BOOKING (REFNR) VALUES (2);\n"
      "INSERT INTO LEIE (LINJENR, REFNR, LEIETYPE, ANKOMST, AVREISE, UTYPE, ANLEGG, ANTALL)"
      "  VALUES (2, 2, 'O', '2000-04-10', '2000-04-12', 5, 1, 1);\n");
  EXPECT_EQ(Ledig("1", "5", "2000.04.08", "2000.04.14", "1"),
            "&count=1" + kLedigHeader + "LEDIG;0;5; ;2000.04.08;2000.04.14;1;9;5400");
  Run("DELETE FROM LEIE; DELETE FROM BOOKING;\n");
  if (postgres()) {
    Run("DROP INDEX LEIE_PERIODE;\n");
  } else {
    Run("DROP TRIGGER LEIE_PERIODE_NY; DROP TRIGGER LEIE_PERIODE_ENDRET;\n"
        "DROP TRIGGER LEIE_PERIODE_SLETTET; DROP TABLE LEIE_PERIODE;\n");
  }
  EXPECT_EQ(Ledig("1", "5", "2000.04.08", "2000.04.14"), answer);
  Run("INSERT INTO BOOKING (REFNR) VALUES (1);\n"
      "INSERT INTO LEIE (LINJENR, REFNR, LEIETYPE, ANKOMST, AVREISE, UTYPE, ANLEGG, ANTALL)"
      "  VALUES (1, 1, 'O', '2000-04-10', '2000-04-12', 5, 1, 4);\n");
  EXPECT_EQ(Ledig("1", "5", "2000.04.08", "2000.04.14", "1"),
            "&count=1" + kLedigHeader + "LEDIG;0;5; ;2000.04.08;2000.04.14;1;6;5400");
}

TEST_P(LedigTest, EqualReversedAndVeryLongStays) {
  // No nights: only prices without a number of days fit, priced for one night.
  EXPECT_EQ(Ledig("1", "5", "2000.04.08", "2000.04.08"),
            "&count=1" + kLedigHeader + "LEDIG;0;5; ;2000.04.08;2000.04.08;2;10;1200");
  // Reversed: no nights to price, nothing occupied.
  EXPECT_EQ(Ledig("1", "5", "2000.04.08", "2000.04.01"),
            "&count=1" + kLedigHeader + "LEDIG;0;5; ;2000.04.08;2000.04.01;;10;0");
  const QString longStay = Ledig("-1", "*", "2000.04.08", "2001.05.13");
  EXPECT_TRUE(longStay.startsWith(u"&count=")) << longStay.toStdString();
  EXPECT_FALSE(longStay.contains(u"errorcode"));
}

TEST_P(LedigTest, ValidationAnswersAndFailures) {
  EXPECT_THROW(Ledig("VG", "*", "2000.04.08", "2000.04.14"), ConversionError);
  EXPECT_THROW(Ledig("1", "*", "2000.4.8", "2000.04.14"), ConversionError);
  EXPECT_EQ(Ledig("07", "*", "2000.04.08", "2000.04.14"),
            "&count=0" + kLedigHeader + "&errorcode='-1002'&errormessage=Ugyldig anlegg (07).");
  EXPECT_EQ(Ledig("1", "*", "2000.04.08", "2000.04.14", " ", "12"),
            "&count=0" + kLedigHeader +
                "&errorcode='-2031'&errormessage=Feil ved forespørsel på objekt (har ikke "
                "støtte for søk på objektnivå i denne versjonen av Taurelin API).");
  EXPECT_EQ(Ledig("1", "9", "2000.04.08", "2000.04.14"),
            "&count=0" + kLedigHeader + "&errorcode='-1003'&errormessage=Ugyldig utleietype (9).");
  HideTable("UTYPE");
  EXPECT_EQ(Ledig("1", "5", "2000.04.08", "2000.04.14"),
            "&count=0" + kLedigHeader +
                "&errorcode='-2032'&errormessage=Kan ikke åpne spørringen på utleietype ved "
                "database test");
  RestoreTable("UTYPE");
  const QString before = Fingerprint();
  for (const QString& hostile : HostileValues()) {
    const QString answer = Ledig("1", hostile, "2000.04.08", "2000.04.14");
    EXPECT_TRUE(answer.contains(u"'-1003'")) << answer.toStdString();
  }
  EXPECT_EQ(Fingerprint(), before);
}

TEST_P(LedigTest, TypeWithoutDescriptionEndsTheList) {
  Run("UPDATE UTYPE SET BESKR = '  ' WHERE UTYPE = 5;\n");
  Reconnect();
  EXPECT_EQ(Ledig("1", "*", "2000.04.08", "2000.04.14"), "&count=0" + kLedigHeader);
}

INSTANTIATE_TEST_SUITE_P(Backends, LedigTest, BothBackends(), BackendName());

}  // namespace
}  // namespace taurelin
