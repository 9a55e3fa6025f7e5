#include "store/alias_list.h"
#include "store/connection.h"
#include "store/postgres/postgres_driver.h"
#include "store/sqlite/sqlite_driver.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <unistd.h>

namespace taurelin {
namespace {

class AliasListTest : public ::testing::Test {
 protected:
  QString Write(const char* text) {
    const QString path = dir_.filePath(QStringLiteral("aliases.ini"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return path;
  }
  QTemporaryDir dir_;
};

TEST_F(AliasListTest, ListsAliasesInFileOrderWithTheirSettings) {
  const AliasList list = AliasList::Load(Write(
      "[zeta]\ndriver=QSQLITE\ndatabase=/tmp/z.db\n"
      "[alpha]\ndriver=QPSQL\nhost=127.0.0.1\nport=5433\ndatabase=booking\nuser=u\n"
      "password=p\n"
      "[Nord%20Fjell]\ndatabase=/tmp/n.db\n"));
  EXPECT_EQ(list.names(), QStringList({"zeta", "alpha", "Nord Fjell"}));
  const auto alpha = list.find(QStringLiteral("alpha"));
  ASSERT_TRUE(alpha.has_value());
  EXPECT_EQ(alpha->driver, QLatin1String(kPostgresDriver));
  EXPECT_EQ(alpha->port, 5433);
  EXPECT_EQ(alpha->user, "u");
  const auto nord = list.find(QStringLiteral("Nord Fjell"));
  ASSERT_TRUE(nord.has_value());
  EXPECT_EQ(nord->driver, QLatin1String(kSqliteDriver));
  EXPECT_EQ(nord->port, -1);
  EXPECT_FALSE(list.find(QStringLiteral("ZETA")).has_value());
}

TEST_F(AliasListTest, WarnsWhenOthersMayReadAPassword) {
  const QString path = Write("[booking]\ndriver=QPSQL\nuser=u\npassword=secret\n");
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
  EXPECT_TRUE(AliasList::Load(path).passwordExposure().contains(u"chmod 600"));
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
  EXPECT_TRUE(AliasList::Load(path).passwordExposure().isEmpty());
  // Readable by the server's own group, as the package installs it (root:taurelin, 0640).
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
  ASSERT_EQ(::chown(QFile::encodeName(path).constData(), static_cast<uid_t>(-1), ::getegid()), 0);
  EXPECT_TRUE(AliasList::Load(path).passwordExposure().isEmpty());
  const QString plain = Write("[demo]\ndatabase=/tmp/d.db\n");
  QFile::setPermissions(plain, QFile::ReadOwner | QFile::ReadOther);
  EXPECT_TRUE(AliasList::Load(plain).passwordExposure().isEmpty());
}

TEST_F(AliasListTest, WarnsWhenAnotherGroupMayReadAPassword) {
  const QString path = Write("[booking]\ndriver=QPSQL\nuser=u\npassword=secret\n");
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
  const gid_t other = ::getegid() == 0 ? 65534 : 0;
  if (::chown(QFile::encodeName(path).constData(), static_cast<uid_t>(-1), other) != 0) {
    GTEST_SKIP() << "cannot give the file another group (needs root)";
  }
  EXPECT_TRUE(AliasList::Load(path).passwordExposure().contains(u"chmod 600"));
}

TEST_F(AliasListTest, MissingFileIsAnEmptyList) {
  EXPECT_TRUE(AliasList::Load(dir_.filePath(QStringLiteral("none.ini"))).names().isEmpty());
}

TEST_F(AliasListTest, OpensAnSqliteAliasWithForeignKeysAndWal) {
  DatabaseAlias alias;
  alias.name = QStringLiteral("t");
  alias.database = dir_.filePath(QStringLiteral("t.db"));
  Connection connection{QStringLiteral("alias_test")};
  QString error;
  ASSERT_TRUE(connection.open(alias, &error)) << error.toStdString();
  {
    QSqlQuery query(connection.database());
    ASSERT_TRUE(query.exec(QStringLiteral("PRAGMA foreign_keys")) && query.next());
    EXPECT_EQ(query.value(0).toInt(), 1);
    ASSERT_TRUE(query.exec(QStringLiteral("PRAGMA journal_mode")) && query.next());
    EXPECT_EQ(query.value(0).toString(), "wal");
  }
}

TEST_F(AliasListTest, UnknownDriverFailsWithAClearError) {
  DatabaseAlias alias;
  alias.name = QStringLiteral("x");
  alias.driver = QStringLiteral("QNOSUCH");
  Connection connection{QStringLiteral("alias_bad")};
  QString error;
  EXPECT_FALSE(connection.open(alias, &error));
  EXPECT_TRUE(error.contains(u"QNOSUCH"));
}

}  // namespace
}  // namespace taurelin
