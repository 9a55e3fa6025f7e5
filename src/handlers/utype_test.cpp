#include "handlers/utype.h"

#include "handlers/handler_test_fixture.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

const QString kUtypeHeader =
    QStringLiteral("&header=INSTRUKSJON;ANLEGGSNR;UTYPE;KODE;BESKR;KAPASITET");
const QString kUtypeEmpty = "&count=0" + kUtypeHeader + "&data=";

// Facility 7 has three cabins and an annex room; its apartments stand at facility 8, and two
// cabins without a wing belong to no facility. Facility 9 has nothing.
class UtypeTest : public HandlerTest {
 protected:
  UtypeTest() {
    Run("INSERT INTO ANLEGG (ANLEGGSNR, ANLEGGSNAVN) VALUES (7, 'Sju');\n"
        "INSERT INTO ANLEGG (ANLEGGSNR, ANLEGGSNAVN) VALUES (8, 'Åtte');\n"
        "INSERT INTO ANLEGG (ANLEGGSNR, ANLEGGSNAVN) VALUES (9, 'Ni');\n"
        "INSERT INTO FLOY (FLOYKODE, ANLEGG) VALUES ('A', 7);\n"
        "INSERT INTO FLOY (FLOYKODE, ANLEGG) VALUES ('B', 7);\n"
        "INSERT INTO FLOY (FLOYKODE, ANLEGG) VALUES ('C', 8);\n"
        "INSERT INTO UTYPE (UTYPE, KODE, BESKR, ANTENH) VALUES (2, 'C', 'Hytte', 40);\n"
        "INSERT INTO UTYPE (UTYPE, KODE, BESKR, ANTENH) VALUES (3, 'R', 'Annex', 40);\n"
        "INSERT INTO UTYPE (UTYPE, KODE, BESKR, ANTENH) VALUES (4, 'L', 'Leilighet', 40);\n"
        "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES ('101', 2, 'A');\n"
        "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES ('102', 2, 'A');\n"
        "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES ('201', 2, 'B');\n"
        "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES ('202', 3, 'B');\n"
        "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES ('301', 4, 'C');\n"
        "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES ('901', 2, NULL);\n"
        "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES ('902', 4, NULL);\n");
  }

  QString Utype(const QString& facility) {
    return Call(&HandleUtype, {{"ANLEGGSNR", facility}});
  }
};

TEST_P(UtypeTest, ListsTheFacilitysTypesByDescriptionWithItsOwnObjectCount) {
  EXPECT_EQ(Utype(QStringLiteral("7")),
            "&count=2" + kUtypeHeader + "&data=UTYPE;0;3;R;Annex;1;UTYPE;0;2;C;Hytte;3");
  EXPECT_EQ(Utype(QStringLiteral("8")),
            "&count=1" + kUtypeHeader + "&data=UTYPE;0;4;L;Leilighet;1");
  EXPECT_EQ(Utype(QStringLiteral("9")), kUtypeEmpty);
}

TEST_P(UtypeTest, FacilityMustBeStoredUnderExactlyTheNumberAsked) {
  for (const char* facility : {"07", "-1", "99", " 7", "7.0"}) {
    EXPECT_EQ(Utype(QString::fromUtf8(facility)),
              kUtypeEmpty + "&errorcode='-1002'&errormessage=Ugyldig anlegg (" +
                  QString::fromUtf8(facility) + ").")
        << facility;
  }
  for (const char* facility : {"", "VG"}) {
    EXPECT_EQ(Utype(QString::fromUtf8(facility)),
              kUtypeEmpty +
                  "&errorcode='-2032b'&errormessage=Kan ikke åpne spørringen på anlegg ved "
                  "database test")
        << facility;
  }
}

TEST_P(UtypeTest, HostileFacilityValuesChangeNothingAndListNothing) {
  const QString before = Fingerprint();
  for (const QString& hostile : HostileValues()) {
    EXPECT_EQ(Utype(hostile), kUtypeEmpty + "&errorcode='-2032b'&errormessage=Kan ikke åpne "
                                       "spørringen på anlegg ved database test")
        << hostile.toStdString();
  }
  EXPECT_EQ(Fingerprint(), before);
}

TEST_P(UtypeTest, DatabaseFailuresAnswerTheStatementsOwnError) {
  const QString ok = Utype(QStringLiteral("7"));
  const QString listFailed = kUtypeEmpty +
                             "&errorcode='-2021'&errormessage=Kan ikke åpne spørringen "
                             "på utleietype ved database test.";

  HideTable("ANLEGG");
  EXPECT_EQ(Utype(QStringLiteral("7")), kUtypeEmpty + "&errorcode='-2032b'&errormessage=Kan ikke "
                                                 "åpne spørringen på anlegg ved database test");
  RestoreTable("ANLEGG");

  // The type list, and the counting that follows each type.
  for (const char* table : {"UTYPE", "UTLEIEOB", "FLOY"}) {
    HideTable(table);
    EXPECT_EQ(Utype(QStringLiteral("7")), listFailed) << table;
    RestoreTable(table);
  }
  EXPECT_EQ(Utype(QStringLiteral("7")), ok);
}

INSTANTIATE_TEST_SUITE_P(Backends, UtypeTest, BothBackends(), BackendName());

}  // namespace
}  // namespace taurelin
