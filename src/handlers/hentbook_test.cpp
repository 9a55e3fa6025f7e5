#include "handlers/hentbook.h"

#include "handlers/handler_test_fixture.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

const QString kHentbookHeader = QStringLiteral(
    "&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;AVREISE;PENSJONSTYPE;ANTALL;"
    "ANT_PERSONER;AGENT;PRIS&data=");

QString Failure(const QString& code, const QString& message) {
  return "&count=0" + kHentbookHeader + "&errorcode='" + code + "'&errormessage=" + message;
}

// Booking 100 holds two reservations, each a rental-type line and its object line; the
// second one's price code names no price and its departure is missing. Booking 200 was
// cancelled but kept; booking 300 has only a rental-type line.
class HentbookTest : public HandlerTest {
 protected:
  HentbookTest() {
    Run("INSERT INTO UTYPE (UTYPE, BESKR) VALUES (5, 'Dobbelt');\n"
        "INSERT INTO PENSJON (PENSJON, BESKR, PRISMET) VALUES (1, 'Full', 2);\n"
        "INSERT INTO PRIS (PRIS_ID, UTYPE, PENSJON) VALUES (10, 5, 1);\n"
        "INSERT INTO BOOKING (REFNR, AKODE) VALUES (100, 4);\n"
        "INSERT INTO BOOKING (REFNR, AKODE, AVBESTILT) VALUES (200, NULL, 1);\n"
        "INSERT INTO BOOKING (REFNR) VALUES (300);\n"
        "INSERT INTO LEIE (LINJENR, REFNR, LEIETYPE, LINJE_EIER, UTYPE, OBJNR, ANKOMST,"
        "  AVREISE, ANTALL, ANT_VOKSEN, ANT_BARN, ANT_GRATIS, A_PRIS, PRISKODE, STATUS) VALUES"
        "  (1, 100, 'U', 0, 5, NULL, '2000-04-08', '2000-04-14', 2, 3, 0, 0, 1250, 10, NULL),"
        "  (2, 100, 'O', 1, 5, '0', '2000-04-08', '2000-04-14', 2, 3, 1, 0, 1250, 10, NULL),"
        "  (3, 100, 'U', 0, 5, NULL, '2000-05-01', NULL, 1, 2, 0, 0, 990.5, 99, NULL),"
        "  (4, 100, 'O', 3, 5, '0', '2000-05-01', NULL, 1, 2, 0, 1, 990.5, 99, NULL),"
        "  (5, 200, 'U', 0, 5, NULL, '2000-06-01', '2000-06-02', 1, 1, 0, 0, 500, 10, 'A'),"
        "  (6, 200, 'O', 5, 5, '0', '2000-06-01', '2000-06-02', 1, 1, 0, 0, 500, 10, 'A'),"
        "  (7, 300, 'U', 0, 5, NULL, '2000-07-01', '2000-07-02', 1, 1, 0, 0, 500, 10, NULL);\n");
  }

  QString Fetch(const QString& refnr) { return Call(HandleHentbook, {{"REFNR", refnr}}); }
};

TEST_P(HentbookTest, ListsTheObjectLinesOnly) {
  EXPECT_EQ(Fetch(QStringLiteral("100")),
            "&count=2" + kHentbookHeader +
                "HENTBOOK;0;5;0;2000.04.08;2000.04.14;2;2;4;4;1250;"
                "HENTBOOK;0;5;0;2000.05.01;..;;1;3;4;990.5");
  // Cancellation marks are not looked at; a booking without agent answers an empty one.
  EXPECT_EQ(Fetch(QStringLiteral("200")),
            "&count=1" + kHentbookHeader + "HENTBOOK;0;5;0;2000.06.01;2000.06.02;2;1;1;;500");
}

TEST_P(HentbookTest, Errors) {
  EXPECT_EQ(Fetch(QStringLiteral("300")),
            Failure(QStringLiteral("-2101"),
                    QStringLiteral("Det finnes ingen leielinjer på bookingen.")));
  EXPECT_EQ(Fetch(QStringLiteral("999")),
            Failure(QStringLiteral("-1001"), QStringLiteral("Ugyldig refnr (999). Finnes ikke.")));
  EXPECT_EQ(Fetch(QStringLiteral("abc")),
            Failure(QStringLiteral("-1001"),
                    QStringLiteral("Ugyldig refnr (abc). Ugyldig nummerisk verdi.")));
  EXPECT_EQ(Fetch(QStringLiteral("")),
            Failure(QStringLiteral("-1001"),
                    QStringLiteral("Ugyldig refnr (). Ugyldig nummerisk verdi.")));
}

TEST_P(HentbookTest, HostileValuesChangeNothingAndGetNoRows) {
  const QString before = Fingerprint();
  for (const QString& hostile : HostileValues()) {
    EXPECT_EQ(Fetch(hostile),
              Failure(QStringLiteral("-1001"),
                      "Ugyldig refnr (" + hostile + "). Ugyldig nummerisk verdi."))
        << hostile.toStdString();
  }
  EXPECT_EQ(Fingerprint(), before);
}

TEST_P(HentbookTest, DatabaseFailuresAnswerTheirOwnErrors) {
  const QString normal = Fetch(QStringLiteral("200"));
  ASSERT_TRUE(normal.startsWith(u"&count=1"));

  // The booking statement's failure is answered as a number that is none.
  HideTable("BOOKING");
  EXPECT_EQ(Fetch(QStringLiteral("200")),
            Failure(QStringLiteral("-1001"),
                    QStringLiteral("Ugyldig refnr (200). Ugyldig nummerisk verdi.")));
  RestoreTable("BOOKING");

  const QString linesFailed =
      Failure(QStringLiteral("-2102"), QStringLiteral("Kan ikke åpne bookingen."));
  for (const char* table : {"LEIE", "PENSJON"}) {
    HideTable(table);
    EXPECT_EQ(Fetch(QStringLiteral("200")), linesFailed) << table;
    RestoreTable(table);
  }

  EXPECT_EQ(Fetch(QStringLiteral("200")), normal);
}

INSTANTIATE_TEST_SUITE_P(Backends, HentbookTest, BothBackends(), BackendName());

}  // namespace
}  // namespace taurelin
