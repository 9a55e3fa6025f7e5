// Who may ask the HTTP face: the key file, the booking codes and their secret, and the
// client's address behind a proxy.

#include "web/api_keys.h"
#include "web/booking_code.h"
#include "web/client_address.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace taurelin {
namespace {

QByteArray Sha(const QByteArray& key) {
  return QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex();
}

TEST(ApiKeysTest, TheFileNamesScopesAndRefusesWhatIsNoEntry) {
  const QList<ApiKey> keys = ParseApiKeys(
      "# comment\n\nshop:reserve:" + Sha("a") + "  # the web shop\n ops : manage,read :" +
      Sha("b") + "\n");
  ASSERT_EQ(keys.size(), 2);
  EXPECT_TRUE(keys[0].allows(Scope::kRead));
  EXPECT_TRUE(keys[0].allows(Scope::kReserve));
  EXPECT_FALSE(keys[0].allows(Scope::kManage));
  EXPECT_TRUE(keys[1].allows(Scope::kReserve));
  EXPECT_EQ(keys[1].name, "ops");
  for (const QByteArray& bad :
       {QByteArray("shop:reserve"), "shop:write:" + Sha("a"), "shop:read:" + Sha("a").toUpper(),
        "sh op:read:" + Sha("a"), "shop:read:" + Sha("a") + "\nshop:manage:" + Sha("b"),
        "shop::" + Sha("a")}) {
    EXPECT_THROW(ParseApiKeys(bad), ApiKeyError) << bad.constData();
  }
}

TEST(ApiKeysTest, AnAddedKeyIsFoundByItselfAloneAndTheFileKeepsNoKey) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("keys"));
  const QString shop = AddApiKey(file, QStringLiteral("shop"), QStringLiteral("reserve"));
  const QString ops = AddApiKey(file, QStringLiteral("ops"), QStringLiteral("manage"));
  EXPECT_GE(shop.size(), 3 + 32);  // at least 128 random bits after the prefix
  EXPECT_NE(shop, ops);
  EXPECT_THROW(AddApiKey(file, QStringLiteral("shop"), QStringLiteral("read")), ApiKeyError);
  EXPECT_THROW(AddApiKey(file, QStringLiteral("x"), QStringLiteral("everything")), ApiKeyError);
  EXPECT_EQ(QFileInfo(file).permissions() & (QFile::ReadOther | QFile::WriteOther), 0);
  QFile text(file);
  ASSERT_TRUE(text.open(QIODevice::ReadOnly));
  const QByteArray written = text.readAll();
  EXPECT_FALSE(written.contains(shop.toLatin1()));

  ApiKeys keys(file, {});
  EXPECT_EQ(keys.find(shop.toLatin1())->name, "shop");
  EXPECT_EQ(keys.find(ops.toLatin1())->name, "ops");
  EXPECT_FALSE(keys.find(shop.toLatin1().chopped(1)));
  EXPECT_FALSE(keys.find(QByteArray()));
}

TEST(BookingCodesTest, ACodeBelongsToOneNumberAndOneSecret) {
  const BookingCodes codes(QByteArray(32, 'k'));
  const QString code = codes.codeFor(1005);
  EXPECT_EQ(code.size(), 20);
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^[A-Za-z0-9_-]{20}$")).match(code).hasMatch());
  EXPECT_TRUE(codes.matches(1005, code.toLatin1()));
  EXPECT_FALSE(codes.matches(1006, code.toLatin1()));
  EXPECT_FALSE(codes.matches(1005, code.toLatin1().chopped(1)));
  EXPECT_FALSE(codes.matches(1005, QByteArray()));
  EXPECT_NE(BookingCodes(QByteArray(32, 'j')).codeFor(1005), code);
  EXPECT_THROW(BookingCodes(QByteArray(15, 'k')), BookingCodeError);
}

TEST(BookingCodesTest, TheSecretIsMadeOncePrivateAndReadAlike) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("secret"));
  EXPECT_THROW(BookingCodes::LoadSecret(file, false), BookingCodeError);
  const QByteArray made = BookingCodes::LoadSecret(file, true);
  EXPECT_EQ(made.size(), 32);
  EXPECT_EQ(QFileInfo(file).permissions() & ~(QFile::ReadOwner | QFile::WriteOwner |
                                              QFile::ReadUser | QFile::WriteUser),
            0);
  EXPECT_EQ(BookingCodes::LoadSecret(file, true), made);  // never made twice
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);  // nothing left beside it
  QFile shared(dir.filePath(QStringLiteral("shared")));
  ASSERT_TRUE(shared.open(QIODevice::WriteOnly));
  shared.write("00112233445566778899aabbccddeeff\n");
  shared.close();
  EXPECT_EQ(BookingCodes::LoadSecret(shared.fileName(), false).toHex(),
            "00112233445566778899aabbccddeeff");
  ASSERT_TRUE(shared.open(QIODevice::WriteOnly | QIODevice::Truncate));
  shared.write("too short\n");
  shared.close();
  EXPECT_THROW(BookingCodes::LoadSecret(shared.fileName(), false), BookingCodeError);
}

TEST(ClientAddressTest, ForwardedForIsBelievedFromTrustedProxiesOnly) {
  const TrustedProxies proxies({QHostAddress::parseSubnet(QStringLiteral("10.0.0.0/8")),
                                QHostAddress::parseSubnet(QStringLiteral("::1"))});
  const QHostAddress stranger(QStringLiteral("203.0.113.9"));
  const QHostAddress proxy(QStringLiteral("10.0.0.2"));
  // Not from a proxy: the header is the stranger's own writing.
  EXPECT_EQ(ClientAddress(stranger, "198.51.100.1", proxies), stranger);
  // From a proxy: the rightmost address that is no proxy, whatever the client wrote left.
  EXPECT_EQ(ClientAddress(proxy, "198.51.100.1, 203.0.113.9", proxies), stranger);
  EXPECT_EQ(ClientAddress(proxy, "203.0.113.9, 10.0.0.7", proxies), stranger);
  EXPECT_EQ(ClientAddress(QHostAddress(QStringLiteral("::ffff:10.0.0.2")), "203.0.113.9",
                          proxies),
            stranger);
  // Nothing usable: the proxy itself.
  EXPECT_EQ(ClientAddress(proxy, "", proxies), proxy);
  EXPECT_EQ(ClientAddress(proxy, "unknown", proxies), proxy);
  EXPECT_EQ(ClientAddress(proxy, "203.0.113.9", TrustedProxies()), proxy);
}

}  // namespace
}  // namespace taurelin
