#include "handlers/kort.h"

#include "handlers/handler_test_fixture.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

const QString kKortEmpty =
    QStringLiteral("&count=0&header=INSTRUKSJON;ANLEGGSNR;KORT;TEKST;GYLDIG&data=");

class KortTest : public HandlerTest {
 protected:
  KortTest() {
    Run("INSERT INTO ANLEGG (ANLEGGSNR, ANLEGGSNAVN, FORETAKSNR) VALUES (7, 'Sju', 1);\n"
        "INSERT INTO ANLEGG (ANLEGGSNR, ANLEGGSNAVN, FORETAKSNR) VALUES (8, 'Åtte', 1);\n");
  }

  QString Kort(const QString& facility) {
    return Call(&HandleKort, {{"ANLEGGSNR", facility}});
  }
};

TEST_P(KortTest, ListsValidPaymentTypesByCodeForAnyExistingFacility) {
  Run("INSERT INTO BETFORM (BKODE, BESKR, GYLDIG) VALUES ('VISA', 'Visa', 'J');\n"
      "INSERT INTO BETFORM (BKODE, BESKR, GYLDIG) VALUES ('AMEX', 'American Express', NULL);\n"
      "INSERT INTO BETFORM (BKODE, BESKR, GYLDIG) VALUES ('GIRO', NULL, 'J');\n"
      "INSERT INTO BETFORM (BKODE, BESKR, GYLDIG) VALUES ('DINERS', 'Diners', 'j');\n"
      "INSERT INTO BETFORM (BKODE, BESKR, GYLDIG) VALUES ('SJEKK', 'Sjekk', 'N');\n");
  const QString expected = QStringLiteral(
      "&count=3&header=INSTRUKSJON;ANLEGGSNR;KORT;TEKST;GYLDIG&data="
      "KORT;0;AMEX;American Express;J;KORT;0;GIRO;;J;KORT;0;VISA;Visa;J");
  EXPECT_EQ(Kort(QStringLiteral("7")), expected);
  EXPECT_EQ(Kort(QStringLiteral("8")), expected);
}

// Codes sort by their characters' numbers on both backends, also where the database would
// sort by a language's rules (lower case beside upper, Ø beside O).
TEST_P(KortTest, CodesSortByCodePointWhateverTheCollation) {
  if (postgres()) {
    Run("ALTER TABLE BETFORM ALTER COLUMN BKODE TYPE VARCHAR(10) COLLATE \"und-x-icu\";\n");
  }
  Run("INSERT INTO BETFORM (BKODE, BESKR, GYLDIG) VALUES ('VISA', 'Visa', 'J'),"
      "  ('eftpos', 'Eftpos', 'J'), ('AMEX', 'Amex', 'J'), ('Øre', 'Øre', 'J');\n");
  EXPECT_EQ(Kort(QStringLiteral("7")),
            "&count=4&header=INSTRUKSJON;ANLEGGSNR;KORT;TEKST;GYLDIG&data=KORT;0;AMEX;Amex;J;"
            "KORT;0;VISA;Visa;J;KORT;0;eftpos;Eftpos;J;KORT;0;Øre;Øre;J");
}

TEST_P(KortTest, RefusesUnknownAndUnreadableFacilities) {
  Run("INSERT INTO BETFORM (BKODE, BESKR, GYLDIG) VALUES ('VISA', 'Visa', 'J');\n");
  EXPECT_EQ(Kort(QStringLiteral("99")),
            kKortEmpty + "&errorcode='-1002'&errormessage=Ugyldig anlegg (99).");
  // A facility that is no number cannot be looked up at all.
  for (const char* facility : {"VG", ""}) {
    EXPECT_EQ(Kort(QString::fromUtf8(facility)),
              kKortEmpty + "&errorcode='-2011b'&errormessage=Finner ikke foretak for anlegg " +
                  QString::fromUtf8(facility) + " ved database test.")
        << facility;
  }
}

TEST_P(KortTest, WithoutValidPaymentTypesAnswersTheirError) {
  Run("INSERT INTO BETFORM (BKODE, BESKR, GYLDIG) VALUES ('SJEKK', 'Sjekk', 'N');\n");
  EXPECT_EQ(Kort(QStringLiteral("7")),
            kKortEmpty + "&errorcode='-1012'&errormessage=Ingen betalingstyper i systemet.");
}

TEST_P(KortTest, HostileFacilityValuesChangeNothingAndFindNoFacility) {
  Run("INSERT INTO BETFORM (BKODE, BESKR, GYLDIG) VALUES ('VISA', 'Visa', 'J');\n");
  const QString before = Fingerprint();
  for (const QString& hostile : HostileValues()) {
    EXPECT_EQ(Kort(hostile), kKortEmpty + "&errorcode='-2011b'&errormessage=Finner ikke foretak "
                                      "for anlegg " + hostile + " ved database test.")
        << hostile.toStdString();
  }
  EXPECT_EQ(Fingerprint(), before);
}

TEST_P(KortTest, DatabaseFailuresAnswerTheStatementsOwnError) {
  Run("INSERT INTO BETFORM (BKODE, BESKR, GYLDIG) VALUES ('VISA', 'Visa', 'J');\n");
  const QString ok = Kort(QStringLiteral("7"));
  ASSERT_EQ(ok, "&count=1&header=INSTRUKSJON;ANLEGGSNR;KORT;TEKST;GYLDIG&data=KORT;0;VISA;Visa;J");

  HideTable("ANLEGG");
  EXPECT_EQ(Kort(QStringLiteral("7")),
            kKortEmpty + "&errorcode='-2011b'&errormessage=Finner ikke foretak for anlegg 7 ved "
                     "database test.");
  RestoreTable("ANLEGG");

  HideTable("BETFORM");
  EXPECT_EQ(Kort(QStringLiteral("7")),
            kKortEmpty + "&errorcode='-2011'&errormessage=Kan ikke åpne spørringen på "
                     "betalingstyper ved database test.");
  RestoreTable("BETFORM");
  EXPECT_EQ(Kort(QStringLiteral("7")), ok);
}

INSTANTIATE_TEST_SUITE_P(Backends, KortTest, BothBackends(), BackendName());

}  // namespace
}  // namespace taurelin
