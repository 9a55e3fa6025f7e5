#include "protocol/reply_envelope.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

QString Value(const char* reply, const char* column) {
  return ReplyEnvelope::GetReplyValue(QString::fromUtf8(reply), QString::fromUtf8(column));
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

// Each kind of reply a handler gives, as the wire shows it and as a client reads it back.
TEST(ReplyEnvelopeTest, WritesEachKindOfReplyAndReadsItBack) {
  const HandlerError error{"-7", QStringLiteral("Feil; igjen")};
  InstructionReply two(QStringLiteral("A;B"));
  two.addRow({"x", "1"});
  two.addRow({"y", ""});
  InstructionReply none(QStringLiteral("A;B"));
  struct Case {
    InstructionReply reply;
    QString text;
  };
  const Case cases[] = {
      {two, "&count=2&header=A;B&data=x;1;y;"},
      {none, "&count=0&header=A;B&data="},
      {InstructionReply(two).fail(error),
       "&count=0&header=A;B&data=x;1;y;;&errorcode='-7'&errormessage=Feil; igjen"},
      {InstructionReply(two).failCountingRows(error),
       "&count=2&header=A;B&data=x;1;y;;&errorcode='-7'&errormessage=Feil; igjen"},
      {InstructionReply(none).omitCount(), "&header=A;B&data="},
      {InstructionReply(two).keepLastSeparator(), "&count=2&header=A;B&data=x;1;y;;"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplyEnvelope::Write(c.reply), c.text);
    const ReplyEnvelope read = ReplyEnvelope::Read(QStringLiteral("messageID=m") + c.text);
    EXPECT_EQ(read.columns(), QStringList({"A", "B"})) << c.text.toStdString();
    if (c.reply.count() == InstructionReply::Count::kRows) {
      EXPECT_EQ(read.rows(), c.reply.rows()) << c.text.toStdString();
    }
    EXPECT_EQ(read.errorCode(), c.reply.error() ? "'-7'" : "") << c.text.toStdString();
  }
  EXPECT_EQ(ReplyEnvelope::GetReplyValue(ReplyEnvelope::Write(two), "A"), "y");
}

}  // namespace
}  // namespace taurelin
