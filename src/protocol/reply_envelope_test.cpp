#include "protocol/reply_envelope.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

QString Value(const char* reply, const char* column) {
  return GetReplyValue(QString::fromUtf8(reply), QString::fromUtf8(column));
}

TEST(GetReplyValueTest, ReadsTheColumnOfTheLastRow) {
  EXPECT_EQ(Value("&count=1&header=A;B;C&data=1;2;3", "C"), "3");
  EXPECT_EQ(Value("&count=1&header=A;B;C&data=1;2;3", "A"), "1");
  EXPECT_EQ(Value("&count=2&header=A;B&data=1;2;3;4", "B"), "4");
  EXPECT_EQ(Value("&count=2&header=A;B&data=1;2;3;4", "A"), "3");
  // The last column of a repeated name counts.
  EXPECT_EQ(Value("&count=1&header=A;B;A&data=1;2;3", "A"), "3");
}

TEST(GetReplyValueTest, EmptyWithoutRowsOrColumn) {
  EXPECT_EQ(Value("&count=0&header=A;B&data=", "A"), "");
  EXPECT_EQ(Value("&count=1&header=A;B&data=1;2", "Z"), "");
}

TEST(GetReplyValueTest, ValuesBeyondTheLastSeparatorRepeatTheRest) {
  // Once no ";" is left every further value is the remaining text.
  EXPECT_EQ(Value("&count=2&header=A;B&data=1;2;3", "B"), "3");
  EXPECT_EQ(Value("&count=3&header=A;B&data=1;2;3", "A"), "3");
}

TEST(GetReplyValueTest, ErrorRepliesReadAsError) {
  EXPECT_EQ(Value("&count=0&header=A;REFNR&data=&errorcode='-2065'&errormessage=x", "REFNR"),
            "ERROR");
}

TEST(GetReplyValueTest, ReplyWithoutReadableCountFails) {
  EXPECT_THROW(Value("&count=0&data=&errorcode='-1'&errormessage=x", "A"), ReplyFormatError);
  EXPECT_THROW(Value("", "A"), ReplyFormatError);
  EXPECT_THROW(Value("&count=x&header=A&data=1", "A"), ReplyFormatError);
}

}  // namespace
}  // namespace taurelin
