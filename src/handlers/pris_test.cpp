#include "handlers/pris.h"

#include "handlers/handler_test_fixture.h"

#include <gtest/gtest.h>

#include <QDate>

namespace taurelin {
namespace {

const QString kPrisHeader = QStringLiteral(
    "&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;FRA;TIL;PENSJONSTYPE;PRISTYPE;PRIS_U;PRIS_H");
const QString kPrisEmpty = "&count=0" + kPrisHeader + "&data=";

QString Failed(const char* code, const QString& message) {
  return kPrisEmpty + "&errorcode='" + QLatin1String(code) + "'&errormessage=" + message;
}

// Prices of type 1 (with boards 1 and 2) and type 2, with lines around today; type 5 has no
// price at all. Prices 27-29 are not for the web.
class PrisTest : public HandlerTest {
 protected:
  PrisTest() {
    Run("INSERT INTO PENSJON (PENSJON, BESKR) VALUES (1, 'Frokost');\n"
        "INSERT INTO PENSJON (PENSJON, BESKR) VALUES (2, 'Halvpensjon');\n"
        "INSERT INTO PENSJON (PENSJON, BESKR) VALUES (3, 'Helpensjon');\n"
        "INSERT INTO UTYPE (UTYPE, KODE, BESKR) VALUES (1, 'H', 'Hytte');\n"
        "INSERT INTO UTYPE (UTYPE, KODE, BESKR) VALUES (2, 'R', 'Rom');\n"
        "INSERT INTO UTYPE (UTYPE, KODE, BESKR) VALUES (5, 'T', 'Telt');\n"
        "INSERT INTO PRIS (PRIS_ID, UTYPE, PENSJON, START_DAG, ANT_DAGER, WEB) VALUES\n"
        "  (30, 2, 1, 0, 1, 'J'), (20, 1, 2, 7, 7, 'J'), (25, 1, 2, 0, 1, 'J'),\n"
        "  (21, 1, 2, 0, 1, 'J'), (22, 1, 2, 5, 2, 'J'), (23, 1, 2, 7, 5, 'J'),\n"
        "  (24, 1, 2, 10, 1, 'J'), (19, 1, 1, 1, 3, 'J'),\n"
        "  (27, 1, 3, 0, 1, 'N'), (28, 1, 3, 0, 1, NULL), (29, 1, 3, 0, 1, 'j');\n");
    Run(QStringLiteral(
                "INSERT INTO PRISLINJE (PRIS_ID, FRA_DATO, TIL_DATO, PRIS_UKE, PRIS_WEEK) VALUES\n"
                "  (20, '%1', '%5', 7000, 0),\n"     // ends tomorrow: shown
                "  (20, '%2', '%3', 6500, 0),\n"     // ends today: hidden
                "  (20, '%4', '%2', 6000, 0),\n"     // long past
                "  (21, '%6', NULL, 900, 1100.5),\n" // open-ended with prices
                "  (22, '%3', NULL, 0, 0),\n"        // open-ended without: hidden
                "  (22, '%7', '%8', 1500.5, 0),\n"
                "  (23, '%5', NULL, 0, 300),\n"      // open-ended, weekend price only
                "  (24, '%3', '%9', 800, 0),\n"
                "  (25, '%3', '%10', 950, 0),\n"
                "  (19, '%3', '%11', 2000, 0),\n"
                "  (30, '%3', '%8', 500, 600),\n"
                "  (27, '%3', '%8', 100, 0), (28, '%3', '%8', 100, 0), (29, '%3', '%8', 100, 0);\n")
                .arg(Stored(-30), Stored(-60), Stored(0), Stored(-90), Stored(1), Stored(-10),
                     Stored(10), Stored(40), Stored(100))
                .arg(Stored(5), Stored(7)));
  }

  static QDate Day(int fromToday) { return QDate::currentDate().addDays(fromToday); }
  static QString Stored(int fromToday) { return Day(fromToday).toString(u"yyyy-MM-dd"); }
  static QString Shown(int fromToday) { return Day(fromToday).toString(u"yyyy.MM.dd"); }

  QString Pris(const QString& facility, const QString& type, const QString& object = " ") {
    return Call(&HandlePris, {{"ANLEGGSNR", facility}, {"UTYPE", type}, {"UTL_OBJ", object}});
  }

  QString Type2Row() const {
    return "PRIS;0;2; ;" + Shown(0) + ";" + Shown(40) + ";1;D;500;600";
  }
};

TEST_P(PrisTest, ListsValidWebPricesByTypeBoardMethodTextAndNumber) {
  const QString expected =
      "&count=8" + kPrisHeader + "&data=" +
      "PRIS;0;1; ;" + Shown(0) + ";" + Shown(7) + ";1;1/3;2000;0;" +
      "PRIS;0;1; ;" + Shown(-10) + ";..;2;D;900;1100.5;" +
      "PRIS;0;1; ;" + Shown(0) + ";" + Shown(5) + ";2;D;950;0;" +
      "PRIS;0;1; ;" + Shown(0) + ";" + Shown(100) + ";2;10/1;800;0;" +
      "PRIS;0;1; ;" + Shown(10) + ";" + Shown(40) + ";2;H;1500.5;0;" +
      "PRIS;0;1; ;" + Shown(1) + ";..;2;M;0;300;" +
      "PRIS;0;1; ;" + Shown(-30) + ";" + Shown(1) + ";2;U;7000;0;" + Type2Row();
  for (const char* all : {"*", " ", ""}) {
    EXPECT_EQ(Pris(QStringLiteral("0"), QString::fromUtf8(all), QStringLiteral(" ")), expected)
        << all;
  }
  EXPECT_EQ(Pris(QStringLiteral("0"), QStringLiteral("2"), QStringLiteral("*")),
            "&count=1" + kPrisHeader + "&data=" + Type2Row());
  EXPECT_EQ(Pris(QStringLiteral("0"), QStringLiteral("2"), QString()),
            "&count=1" + kPrisHeader + "&data=" + Type2Row());
}

TEST_P(PrisTest, RentalTypeMustBeAnIntegerThatExistsAndHasPrices) {
  EXPECT_EQ(Pris(QStringLiteral("0"), QStringLiteral("abc")),
            Failed("-1999", QStringLiteral("UTYPE må oppgis som heltall i Taurelin 5.2.x. ")));
  EXPECT_EQ(Pris(QStringLiteral("0"), QStringLiteral("99")),
            Failed("-1003", QStringLiteral("Ugyldig utleietype (99).")));
  EXPECT_EQ(Pris(QStringLiteral("0"), QStringLiteral("5")),
            Failed("-1011",
                   QStringLiteral("Ingen gyldige priser for utleietypen for tidsrommet.")));
}

TEST_P(PrisTest, FacilityAndObjectAreRefusedInThatOrderWithoutTheDatabase) {
  context_.database = nullptr;  // any statement would fail
  EXPECT_EQ(Pris(QStringLiteral("1"), QStringLiteral("*")),
            Failed("-1002", QStringLiteral("Ugyldig anlegg (1).")));
  EXPECT_EQ(Pris(QStringLiteral("5"), QStringLiteral("*"), QStringLiteral("12")),
            Failed("-1002", QStringLiteral("Ugyldig anlegg (5).")));
  const QString refused = Failed(
      "-2001", QStringLiteral("Feil ved forespørsel på objekt (har ikke støtte for søk på "
                              "objektnivå i denne versjonen av Taurelin API)."));
  for (const char* object : {"12", "0", "**", "  "}) {
    EXPECT_EQ(Pris(QStringLiteral("0"), QStringLiteral("abc"), QString::fromUtf8(object)),
              refused)
        << object;
  }
  EXPECT_EQ(Pris(QStringLiteral("0"), QStringLiteral("abc")),
            Failed("-1999", QStringLiteral("UTYPE må oppgis som heltall i Taurelin 5.2.x. ")));
}

TEST_P(PrisTest, HostileValuesChangeNothingAndListNothing) {
  const QString before = Fingerprint();
  for (const QString& hostile : HostileValues()) {
    const std::string shown = hostile.toStdString();
    EXPECT_EQ(Pris(hostile, QStringLiteral("*")),
              Failed("-1002", "Ugyldig anlegg (" + hostile + ")."))
        << shown;
    EXPECT_EQ(Pris(QStringLiteral("0"), hostile),
              Failed("-1999", QStringLiteral("UTYPE må oppgis som heltall i Taurelin 5.2.x. ")))
        << shown;
    EXPECT_TRUE(Pris(QStringLiteral("0"), QStringLiteral("*"), hostile)
                    .startsWith(kPrisEmpty + "&errorcode='-2001'"))
        << shown;
  }
  EXPECT_EQ(Fingerprint(), before);
}

TEST_P(PrisTest, DatabaseFailuresAnswerTheStatementsOwnError) {
  const QString ok = Pris(QStringLiteral("0"), QStringLiteral("2"));
  ASSERT_EQ(ok, "&count=1" + kPrisHeader + "&data=" + Type2Row());

  HideTable("UTYPE");
  EXPECT_EQ(Pris(QStringLiteral("0"), QStringLiteral("2")),
            Failed("-2002",
                   QStringLiteral("Kan ikke åpne spørringen på utleietype ved database test.")));
  // Without a type there is no type check to fail.
  EXPECT_TRUE(Pris(QStringLiteral("0"), QStringLiteral("*")).startsWith(u"&count=8"));
  RestoreTable("UTYPE");

  for (const char* table : {"PRIS", "PRISLINJE"}) {
    HideTable(table);
    EXPECT_EQ(Pris(QStringLiteral("0"), QStringLiteral("2")),
              Failed("-2003",
                     QStringLiteral("Kan ikke åpne spørringen på priser ved database test.")))
        << table;
    RestoreTable(table);
  }
  EXPECT_EQ(Pris(QStringLiteral("0"), QStringLiteral("2")), ok);
}

INSTANTIATE_TEST_SUITE_P(Backends, PrisTest, BothBackends(), BackendName());

}  // namespace
}  // namespace taurelin
