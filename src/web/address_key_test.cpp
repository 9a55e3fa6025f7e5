#include "web/address_key.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

QString Key(const char* address) { return AddressKey(QHostAddress(QString::fromLatin1(address))); }

TEST(AddressKeyTest, IPv4StandsAloneAndIPv6ByItsSixtyFourPrefix) {
  EXPECT_EQ(Key("192.0.2.7"), "192.0.2.7");
  EXPECT_EQ(Key("::ffff:192.0.2.7"), "192.0.2.7");
  EXPECT_NE(Key("192.0.2.8"), Key("192.0.2.7"));
  EXPECT_EQ(Key("2001:db8:1:2:aaaa::1"), "2001:db8:1:2::/64");
  EXPECT_EQ(Key("2001:db8:1:2:bbbb:cccc:dddd:9"), "2001:db8:1:2::/64");
  EXPECT_NE(Key("2001:db8:1:3::1"), Key("2001:db8:1:2::1"));
  EXPECT_EQ(AddressKey(QHostAddress()), QString());
}

}  // namespace
}  // namespace taurelin
