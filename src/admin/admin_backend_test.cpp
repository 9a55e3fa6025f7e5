#include "admin/admin_backend.h"

#include "store/backend.h"
#include "store/postgres/postgres_driver.h"
#include "store/sqlite/sqlite_driver.h"

#include <gtest/gtest.h>

#include <QFile>

namespace taurelin {
namespace {

// The two choosers must serve the same drivers: a database the server can open is one the
// tools can set up, check and copy, with a schema of its own in the library.
TEST(AdminBackendTest, ServesEveryDriverTheServerServes) {
  for (const char* driver : {kSqliteDriver, kPostgresDriver}) {
    const QString name = QLatin1String(driver);
    EXPECT_NE(Backend::ForDriver(name), nullptr) << driver;
    const AdminBackend* admin = AdminBackend::ForDriver(name);
    ASSERT_NE(admin, nullptr) << driver;
    for (const char* script : {"schema.sql", "upgrade.sql"}) {
      EXPECT_TRUE(QFile::exists(
          QStringLiteral(":/db/%1/%2").arg(admin->schemaFolder(), QLatin1String(script))))
          << driver << " " << script;
    }
  }
  // The default driver's database is the file that init claims for its owner.
  ASSERT_NE(AdminBackend::ForDriver(Backend::DefaultDriver()), nullptr);
  EXPECT_TRUE(AdminBackend::ForDriver(Backend::DefaultDriver())->databaseIsAFile());
  EXPECT_EQ(Backend::ForDriver(QStringLiteral("QODBC")), nullptr);
  EXPECT_EQ(AdminBackend::ForDriver(QStringLiteral("QODBC")), nullptr);
}

}  // namespace
}  // namespace taurelin
