#include "channels/feed_token.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace taurelin {
namespace {

TEST(FeedTokensTest, ATokenBelongsToOneFacilityOneTypeAndOneSecret) {
  const FeedTokens tokens(QByteArray(32, 'k'));
  const QString token = tokens.tokenFor(1, 2);
  EXPECT_EQ(token.size(), 20);
  EXPECT_TRUE(tokens.matches(1, 2, token.toLatin1()));
  // "1/12" and "11/2" must not meet.
  EXPECT_NE(tokens.tokenFor(1, 12), tokens.tokenFor(11, 2));
  EXPECT_FALSE(tokens.matches(2, 1, token.toLatin1()));
  EXPECT_FALSE(tokens.matches(1, 3, token.toLatin1()));
  EXPECT_FALSE(tokens.matches(1, 2, token.left(19).toLatin1()));
  EXPECT_FALSE(FeedTokens(QByteArray(32, 'j')).matches(1, 2, token.toLatin1()));
  EXPECT_THROW(FeedTokens(QByteArray(15, 'k')), std::invalid_argument);
}

}  // namespace
}  // namespace taurelin
