// The keyword table reaches the booking database's instructions with the values they need.

#include "protocol/dispatch_test_fixture.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

class BookingDispatchTest : public DispatchTest {
 protected:
  BookingDispatchTest() {
    Run("INSERT INTO ANLEGG (ANLEGGSNR) VALUES (7);\n"
        "INSERT INTO BOOKING (REFNR) VALUES (100);\n");
  }
};

TEST_F(BookingDispatchTest, LedigmatriseGetsItsValuesByColumnName) {
  // Columns in another order than the handler lists them.
  EXPECT_EQ(Answer("messageID=1&count=1&header=INSTRUKSJON;TIL;FRA;AGENT;UTL_OBJ;UTYPE;"
                   "ANLEGGSNR&data=LEDIGMATRISE;2000.04.10;2000.04.09;*;0;*;99\n"),
            "messageID=1&count=0&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;DATO;LEDIG;"
            "ALLOTMENT;TILBUD&data=&errorcode='-1002'&errormessage=Ugyldig anlegg (99).\n");
  EXPECT_EQ(Answer("messageID=1&count=1&header=INSTRUKSJON;TIL;FRA;AGENT;UTL_OBJ;UTYPE;"
                   "ANLEGGSNR&data=LEDIGMATRISE;2000.04.10;2000.04.09;x;*;*;7\n"),
            "messageID=1&count=0&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;DATO;LEDIG;"
            "ALLOTMENT;TILBUD&data=&errorcode='-xxxx'&errormessage=Kan ikke åpne spørringen "
            "på HENT_LEDIG_MATRISE ved database test\n");
  // A facility that is no integer fails the whole request.
  EXPECT_EQ(Answer("messageID=1&count=1&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;AGENT;FRA;"
                   "TIL&data=LEDIGMATRISE;VG;*;*;*;2000.04.09;2000.04.10\n"),
            "messageID=1&1&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;AGENT;FRA;TIL&\n");
}

TEST_F(BookingDispatchTest, HentbookAndAvbestillGetTheReferenceNumber) {
  EXPECT_EQ(Answer("messageID=2&count=1&header=INSTRUKSJON;REFNR&data=HENTBOOK;100\n"),
            "messageID=2&count=0&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;AVREISE;"
            "PENSJONSTYPE;ANTALL;ANT_PERSONER;AGENT;PRIS&data=&errorcode='-2101'&errormessage="
            "Det finnes ingen leielinjer på bookingen.\n");
  EXPECT_EQ(Answer("messageID=3&count=1&header=INSTRUKSJON;REFNR&data=AVBESTILL;100\n"),
            "messageID=3&count=1&header=INSTRUKSJON;REFNR&data=AVBESTILL;100\n");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM BOOKING"), "0");
  EXPECT_EQ(Answer("messageID=4&count=1&header=INSTRUKSJON;REFNR&data=HENTBOOK;100\n"),
            "messageID=4&count=0&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;AVREISE;"
            "PENSJONSTYPE;ANTALL;ANT_PERSONER;AGENT;PRIS&data=&errorcode='-1001'&errormessage="
            "Ugyldig refnr (100). Finnes ikke.\n");
}

}  // namespace
}  // namespace taurelin
