#include "store/postgres/postgres_test_database.h"

#include "admin/schema.h"
#include "store/connection.h"
#include "store/postgres/postgres_driver.h"
#include "store/test_database.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

#include <stdexcept>

namespace taurelin {
namespace {

// The server's database from "host=H port=P dbname=D user=U password=W".
DatabaseAlias ServerAlias() {
  DatabaseAlias alias;
  alias.name = QStringLiteral("server");
  alias.driver = QLatin1String(kPostgresDriver);
  const QString setting = qEnvironmentVariable("TAURELIN_TEST_PG");
  for (const QString& pair : setting.split(u' ', Qt::SkipEmptyParts)) {
    const QString key = pair.section(u'=', 0, 0);
    const QString value = pair.section(u'=', 1);
    if (key == u"host") alias.host = value;
    if (key == u"port") alias.port = value.toInt();
    if (key == u"dbname") alias.database = value;
    if (key == u"user") alias.user = value;
    if (key == u"password") alias.password = value;
  }
  return alias;
}

bool Execute(QSqlDatabase& database, const QString& sql, QString* error) {
  QSqlQuery query(database);
  if (query.exec(sql)) return true;
  *error = sql + QStringLiteral(": ") + query.lastError().text();
  return false;
}

// Ends every session on the database `name` and waits until they are gone, so that each
// has told its client before the caller goes on.
bool EndSessions(QSqlDatabase& database, const QString& name, QString* error) {
  const QString sessions =
      QStringLiteral("FROM pg_stat_activity WHERE datname = '%1' AND pid <> pg_backend_pid()")
          .arg(name);
  if (!Execute(database, QStringLiteral("SELECT pg_terminate_backend(pid) ") + sessions, error)) {
    return false;
  }
  for (int wait = 0; wait < 1000; ++wait) {
    QSqlQuery left(database);
    if (!left.exec(QStringLiteral("SELECT count(*) ") + sessions) || !left.next()) {
      *error = left.lastError().text();
      return false;
    }
    if (left.value(0).toInt() == 0) return true;
    QThread::msleep(10);
  }
  *error = QStringLiteral("the sessions on %1 did not end").arg(name);
  return false;
}

}  // namespace

bool PostgresTestDatabase::Available() {
  return !qEnvironmentVariableIsEmpty("TAURELIN_TEST_PG");
}

PostgresTestDatabase::PostgresTestDatabase(Content content)
    : server_(ServerAlias()),
      name_(QStringLiteral("taurelin_") + QUuid::createUuid().toString(QUuid::Id128)) {
  if (!Available()) throw std::runtime_error(kSkip);
  WithConnection(server_, [this](QSqlDatabase& database, QString* error) {
    return Execute(database, QStringLiteral("CREATE DATABASE ") + name_, error);
  });

  const QString aliasFile = dir_.filePath(QStringLiteral("aliases.ini"));
  QFile out(aliasFile);
  if (!out.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write the alias file");
  out.write(QStringLiteral("[test]\ndriver=QPSQL\nhost=%1\nport=%2\ndatabase=%3\nuser=%4\n"
                           "password=%5\n")
                .arg(server_.host)
                .arg(server_.port)
                .arg(name_, server_.user, server_.password)
                .toUtf8());
  out.close();
  aliases_ = AliasList::Load(aliasFile);

  if (content == kEmpty) return;
  WithConnection(alias(), [content](QSqlDatabase& database, QString* error) {
    return InstallSchema(database, content == kDemo, error);
  });
}

PostgresTestDatabase::~PostgresTestDatabase() {
  // FORCE ends connections that a test left open; a failure here only leaves a database
  // behind in a cluster that is thrown away anyway.
  try {
    WithConnection(server_, [this](QSqlDatabase& database, QString* error) {
      return Execute(database,
                     QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name_), error);
    });
  } catch (const std::exception&) {
  }
}

void PostgresTestDatabase::allowConnections(bool allow) {
  WithConnection(server_, [this, allow](QSqlDatabase& database, QString* error) {
    return Execute(database,
                   QStringLiteral("ALTER DATABASE %1 WITH ALLOW_CONNECTIONS %2")
                       .arg(name_, allow ? QStringLiteral("true") : QStringLiteral("false")),
                   error) &&
           (allow || EndSessions(database, name_, error));
  });
}

void PostgresTestDatabase::run(const QString& sql) {
  WithConnection(alias(), [&sql](QSqlDatabase& database, QString* error) {
    return ExecuteScript(database, sql, error);
  });
}

}  // namespace taurelin
