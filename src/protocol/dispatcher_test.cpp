#include "protocol/dispatch_test_fixture.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

// Each keyword of the booking database reaches its handler with the columns it needs.
class DispatcherTest : public DispatchTest {
 protected:
  DispatcherTest() {
    Run("INSERT INTO ANLEGG (ANLEGGSNR, ANLEGGSNAVN) VALUES (7, 'Sju');\n"
        "INSERT INTO FLOY (FLOYKODE, ANLEGG) VALUES ('A', 7);\n"
        "INSERT INTO UTYPE (UTYPE, KODE, BESKR) VALUES (2, 'C', 'Hytte');\n"
        "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES ('101', 2, 'A');\n"
        "INSERT INTO BETFORM (BKODE, BESKR, GYLDIG) VALUES ('VISA', 'Visa', 'J');\n"
        "INSERT INTO PRIS (PRIS_ID, UTYPE, PENSJON, START_DAG, ANT_DAGER, WEB)"
        "  VALUES (1, 2, NULL, 7, 7, 'J');\n"
        "INSERT INTO PRISLINJE (PRIS_ID, FRA_DATO, TIL_DATO, PRIS_UKE) VALUES"
        "  (1, '2000-01-01', NULL, 7000);\n");
  }
};

TEST_F(DispatcherTest, KeywordsReachTheirHandlersWithTheirColumns) {
  EXPECT_EQ(Answer("messageID=1&count=1&header=INSTRUKSJON;ANLEGGSNR&data=KORT;7\n"),
            "messageID=1&count=1&header=INSTRUKSJON;ANLEGGSNR;KORT;TEKST;GYLDIG"
            "&data=KORT;0;VISA;Visa;J\n");
  EXPECT_EQ(Answer("messageID=2&count=1&header=INSTRUKSJON;ANLEGGSNR&data=UTYPE;7\n"),
            "messageID=2&count=1&header=INSTRUKSJON;ANLEGGSNR;UTYPE;KODE;BESKR;KAPASITET"
            "&data=UTYPE;0;2;C;Hytte;1\n");
  EXPECT_EQ(Answer("messageID=3&count=1&header=INSTRUKSJON;UTL_OBJ;UTYPE;ANLEGGSNR"
                   "&data=PRIS; ;2;0\n"),
            "messageID=3&count=1&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;FRA;TIL;"
            "PENSJONSTYPE;PRISTYPE;PRIS_U;PRIS_H&data=PRIS;0;2; ;2000.01.01;..;;U;7000;0\n");
  // The object and the type are passed too: each is refused in its own way.
  EXPECT_NE(Answer("messageID=4&count=1&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ"
                   "&data=PRIS;0;*;12\n")
                .indexOf(u"&errorcode='-2001'"),
            -1);
  EXPECT_NE(Answer("messageID=5&count=1&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ"
                   "&data=PRIS;0;abc;*\n")
                .indexOf(u"&errorcode='-1999'"),
            -1);
}

TEST_F(DispatcherTest, LastRowAnswersAndKeywordsAreCaseSensitive) {
  EXPECT_EQ(Answer("messageID=6&count=2&header=INSTRUKSJON;ANLEGGSNR&data=KORT;7;UTYPE;7\n"),
            "messageID=6&count=1&header=INSTRUKSJON;ANLEGGSNR;UTYPE;KODE;BESKR;KAPASITET"
            "&data=UTYPE;0;2;C;Hytte;1\n");
  EXPECT_EQ(Answer("messageID=7&count=1&header=INSTRUKSJON;ANLEGGSNR&data=kort;7\n"),
            "messageID=7\n");
}

// Another program may store a line break in a text; the answer stays one line all the same.
TEST_F(DispatcherTest, TextsWithLineBreaksKeepTheAnswerOneLine) {
  Run("UPDATE UTYPE SET BESKR = 'Hytte' || char(10) || 'ved sjøen' WHERE UTYPE = 2");
  Reconnect();
  EXPECT_EQ(Answer("messageID=8&count=1&header=INSTRUKSJON;ANLEGGSNR&data=UTYPE;7\n"),
            "messageID=8&count=1&header=INSTRUKSJON;ANLEGGSNR;UTYPE;KODE;BESKR;KAPASITET"
            "&data=UTYPE;0;2;C;Hytte ved sjøen;1\n");
}

}  // namespace
}  // namespace taurelin
