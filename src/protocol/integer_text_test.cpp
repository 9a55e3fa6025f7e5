#include "base/integer_text.h"

#include <gtest/gtest.h>

#include <limits>

namespace taurelin {
namespace {

// The shared texts of small numbers read exactly as the numbers' own texts, and a copy that is
// changed gets a text of its own, leaving the constant as it was.
TEST(IntegerTextTest, WritesEveryNumberAsQStringNumberDoes) {
  for (qint64 value = -20; value <= 1100; ++value) {
    ASSERT_EQ(IntegerText(value), QString::number(value)) << value;
  }
  for (qint64 value : {qint64{99999}, qint64{-1000}, std::numeric_limits<qint64>::max(),
                       std::numeric_limits<qint64>::min()}) {
    EXPECT_EQ(IntegerText(value), QString::number(value));
  }
  QString copy = IntegerText(42);
  copy += u'!';
  EXPECT_EQ(copy, u"42!");
  EXPECT_EQ(IntegerText(42), u"42");
}

}  // namespace
}  // namespace taurelin
