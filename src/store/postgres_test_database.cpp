#include "store/postgres_test_database.h"

#include "store/connection.h"
#include "store/schema.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <stdexcept>

namespace taurelin {
namespace {

// The server's database from "host=H port=P dbname=D user=U password=W".
DatabaseAlias ServerAlias() {
  DatabaseAlias alias;
  alias.name = QStringLiteral("server");
  alias.driver = QStringLiteral("QPSQL");
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

// Runs `work` on a connection of its own to `alias`; a failure throws.
template <typename Work>
void WithConnection(const DatabaseAlias& alias, Work work) {
  const QString name = QUuid::createUuid().toString();
  {
    QString error;
    if (!OpenConnection(alias, name, &error)) throw std::runtime_error(error.toStdString());
    QSqlDatabase database = QSqlDatabase::database(name, false);
    const bool done = work(database, &error);
    database.close();
    if (!done) throw std::runtime_error(error.toStdString());
  }
  QSqlDatabase::removeDatabase(name);
}

bool Execute(QSqlDatabase& database, const QString& sql, QString* error) {
  QSqlQuery query(database);
  if (query.exec(sql)) return true;
  *error = sql + QStringLiteral(": ") + query.lastError().text();
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

void PostgresTestDatabase::run(const QString& sql) {
  WithConnection(alias(), [&sql](QSqlDatabase& database, QString* error) {
    return ExecuteScript(database, sql, error);
  });
}

}  // namespace taurelin
