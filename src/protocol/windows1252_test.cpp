#include "protocol/windows1252.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

TEST(Windows1252Test, EveryByteRoundTrips) {
  QByteArray all;
  for (int b = 0; b < 256; ++b) all.append(static_cast<char>(b));
  const QString text = FromWindows1252(all);
  ASSERT_EQ(text.size(), 256);
  EXPECT_EQ(ToWindows1252(text), all);
}

TEST(Windows1252Test, HighControlRangeIsNotLatin1) {
  EXPECT_EQ(FromWindows1252("\x80"), QString(QChar(0x20AC)));
  EXPECT_EQ(FromWindows1252("\x9F"), QString(QChar(0x0178)));
  EXPECT_EQ(FromWindows1252("\xD8"), QStringLiteral("Ø"));
  EXPECT_EQ(ToWindows1252(QStringLiteral("€ NØKKEL æøå")), QByteArray("\x80 N\xD8KKEL \xE6\xF8\xE5"));
}

TEST(Windows1252Test, UnrepresentableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(ToWindows1252(QStringLiteral("a\u0100b\u4E2D")), QByteArray("a?b?"));
  EXPECT_EQ(ToWindows1252(QString(QChar(0x0080))), QByteArray("?"));
}

}  // namespace
}  // namespace taurelin
