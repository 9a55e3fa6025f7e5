#include "store/sqlite/sqlite_test_database.h"

#include <gtest/gtest.h>

#include <QSqlDriver>

#include <sqlite3.h>

namespace taurelin {
namespace {

int next_id = 0;

}  // namespace

SqliteTestDatabase::SqliteTestDatabase(bool withDemo)
    : file_(withDemo), name_(QStringLiteral("sqlite_test_%1").arg(++next_id)) {
  open(name_);
}

SqliteTestDatabase::~SqliteTestDatabase() = default;

QSqlDatabase SqliteTestDatabase::open(const QString& connectionName) {
  std::unique_ptr<Connection>& connection = connections_[connectionName];
  if (!connection) connection = std::make_unique<Connection>(connectionName);
  QString error;
  EXPECT_TRUE(connection->open(file_.alias(), &error)) << error.toStdString();
  return connection->database();
}

void SqliteTestDatabase::exec(const char* sql) {
  char* message = nullptr;
  const int rc = sqlite3_exec(Handle(database()), sql, nullptr, nullptr, &message);
  EXPECT_EQ(rc, SQLITE_OK) << (message != nullptr ? message : "") << "\n" << sql;
  sqlite3_free(message);
}

sqlite3* SqliteTestDatabase::Handle(const QSqlDatabase& database) {
  const QVariant handle = database.driver()->handle();
  return *static_cast<sqlite3* const*>(handle.constData());
}

}  // namespace taurelin
