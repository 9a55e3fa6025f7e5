// BOOKING reaches its handler through the keyword table with the values it needs.

#include "protocol/dispatch_test_fixture.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

class BookerDispatchTest : public DispatchTest {
 protected:
  BookerDispatchTest() {
    Run("INSERT INTO NASJON (NKODE, NAVN) VALUES ('N', 'Norge');\n"
        "INSERT INTO BOOKING (REFNR) VALUES (100);\n");
  }
};

TEST_F(BookerDispatchTest, BookingGetsItsValuesByColumnName) {
  // Every column the handler takes, in another order than it lists them.
  EXPECT_EQ(Answer("messageID=1&count=1&header=INSTRUKSJON;KREDITKORTTYPE;ENAVN;FNAVN;ADRESSE2;"
                   "ADRESSE1;POSTNR;POSTSTED;NASJON;TELEFON;FAKS;EPOST;ANMERKNING;REGISTER;"
                   "BET_TYPE;GYLDIG_TIL;KREDITKORTNR;AGENT;REFNR&data=BOOKING;VISA;Hansen;Kari;"
                   "Leil. 2;Storgata 1;5003;Bergen;Danmark;55000000;55000001;kari@example.no;"
                   "Sen ankomst;J;VISA;2030.12.31;4111111111111111;5;100\n"),
            "messageID=1&count=1&header=INSTRUKSJON;REFNR;TOTALPRIS&data=BOOKING;100;0\n");
  EXPECT_EQ(Scalar("SELECT ENAVN || '|' || FNAVN || '|' || ADR || '|' || POSTNR || '|' || "
                   "POSTSTED || '|' || NKODE || '|' || TLF || '|' || FAX || '|' || MAIL || '|' "
                   "|| ANM FROM BESTILL WHERE BESTNR = 1"),
            "Hansen|Kari|Storgata 1 Leil. 2|5003|Bergen|DK|55000000|55000001|kari@example.no|"
            "Sen ankomst");
  EXPECT_EQ(Scalar("SELECT AKODE || ':' || BESTNR FROM BOOKING WHERE REFNR = 100"), "5:1");

  // A row without a postcode still reaches the handler, whose update then fails.
  EXPECT_EQ(Answer("messageID=2&count=1&header=INSTRUKSJON;REFNR;AGENT;NASJON&data="
                   "BOOKING;100;5;N\n"),
            "messageID=2&count=0&header=INSTRUKSJON;REFNR;TOTALPRIS&data=&errorcode='-2089'"
            "&errormessage=Kan ikke oppdatere informasjon for bestiller 2.\n");
  EXPECT_EQ(Scalar("SELECT AKODE || ':' || BESTNR FROM BOOKING WHERE REFNR = 100"), "5:1");
}

}  // namespace
}  // namespace taurelin
