#include "server/card_number_mask.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

TEST(CardNumberMaskTest, MasksAllButTheLastFourDigitsOfWhatMayBeACardNumber) {
  EXPECT_EQ(MaskCardNumbers(QStringLiteral("I0 : messageID=1&count=1&header=INSTRUKSJON;"
                                           "KREDITKORTNR&data=BOOKING;4111111111111111")),
            "I0 : messageID=1&count=1&header=INSTRUKSJON;KREDITKORTNR&data=BOOKING;"
            "************1111");
  // Blanks or dashes between the digits, 13 to 19 digits.
  EXPECT_EQ(MaskCardNumbers(QStringLiteral("x;4111 1111 1111 1111;5500-0000-0000-0004;"
                                           "3782 822463 10005;")),
            "x;**** **** **** 1111;****-****-****-0004;**** ****** *0005;");
  EXPECT_EQ(MaskCardNumbers(QStringLiteral("4222222222222")), "*********2222");
  EXPECT_EQ(MaskCardNumbers(QStringLiteral("6011000990139424124")), "***************4124");
  // Whatever the card column holds, in every row, even a number that fails its check digit.
  EXPECT_EQ(MaskCardNumbers(QStringLiteral(
                "I0 : messageID=7&count=2&header=INSTRUKSJON;KREDITKORTNR;ENAVN&data=BOOKING;"
                "4111 1111 1111 1112;Hansen;BOOKING;12345678;Berg")),
            "I0 : messageID=7&count=2&header=INSTRUKSJON;KREDITKORTNR;ENAVN&data=BOOKING;"
            "**** **** **** 1112;Hansen;BOOKING;****5678;Berg");
}

TEST(CardNumberMaskTest, LeavesDatesPricesShorterAndLongerRunsAndTheMessageIdAlone) {
  for (const char* text :
       {"LEDIG;1;*;*;2027.01.15;2027.01.18;1;55000000;123456789012",
        "a run of twenty 12345678901234567890 is no card number",
        "1 2 3 4 5 6 7 8 9 0 1 2 3 4 spaced out: digits apart are no run",
        // A run that fails the check digit, and runs inside identifiers (a calendar's UIDs),
        // even one that passes it.
        "booked 4111111111111112 nights",
        "Channel c: event baacb13509201a4441239958759f94c@platform.example is gone",
        "event x4111111111111111@platform.example, event 4111111111111111abc",
        "Listener started"}) {
    EXPECT_EQ(MaskCardNumbers(QString::fromUtf8(text)), QString::fromUtf8(text)) << text;
  }
  EXPECT_EQ(MaskCardNumbers(QStringLiteral("U1 : messageID=17966312345678901&4111111111111111")),
            "U1 : messageID=17966312345678901&************1111");
}

}  // namespace
}  // namespace taurelin
