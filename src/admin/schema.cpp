#include "admin/schema.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>

#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace taurelin {
namespace {

bool Fail(QString* error, const QString& text) {
  if (error != nullptr) *error = text;
  return false;
}

bool IsSqlite(const QSqlDatabase& database) { return database.driverName() == u"QSQLITE"; }

// The driver's own handle, or nullptr when the connection is no open SQLite connection.
sqlite3* SqliteHandle(const QSqlDatabase& database) {
  const QVariant handle = database.driver()->handle();
  if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) return nullptr;
  return *static_cast<sqlite3* const*>(handle.constData());
}

int LineOf(const QByteArray& text, const char* position) {
  return 1 + int(std::count(text.constData(), position, '\n'));
}

bool ExecuteSqliteScript(sqlite3* handle, const QString& script, QString* error) {
  const QByteArray utf8 = script.toUtf8();
  const char* rest = utf8.constData();
  while (*rest != '\0') {
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    int result = sqlite3_prepare_v2(handle, rest, -1, &statement, &tail);
    if (result == SQLITE_OK && statement != nullptr) {
      do {
        result = sqlite3_step(statement);
      } while (result == SQLITE_ROW);
      sqlite3_finalize(statement);
      if (result == SQLITE_DONE) result = SQLITE_OK;
    }
    if (result != SQLITE_OK) {
      // Skip the blanks and comments before the statement, so that the line is its own.
      const char* start = rest;
      while (*start == ' ' || *start == '\n' || *start == '\t' || *start == '\r') ++start;
      return Fail(error, QStringLiteral("line %1: %2")
                             .arg(LineOf(utf8, start))
                             .arg(QString::fromUtf8(sqlite3_errmsg(handle))));
    }
    if (tail == nullptr || tail == rest) break;  // only blanks or comments were left
    rest = tail;
  }
  return true;
}

// The driver's own PostgreSQL connection, or nullptr when the connection is no open QPSQL one.
PGconn* PostgresHandle(const QSqlDatabase& database) {
  const QVariant handle = database.driver()->handle();
  // The type is registered under the name of the struct behind libpq's typedef.
  if (!handle.isValid() || (qstrcmp(handle.typeName(), "pg_conn*") != 0 &&
                            qstrcmp(handle.typeName(), "PGconn*") != 0)) {
    return nullptr;
  }
  return *static_cast<PGconn* const*>(handle.constData());
}

// The whole script as one simple query: PostgreSQL runs its statements in order and stops
// at the first that fails. (A Qt query would report only the first statement's outcome.)
bool ExecutePostgresScript(PGconn* handle, const QString& script, QString* error) {
  PGresult* result = PQexec(handle, script.toUtf8().constData());
  const ExecStatusType status = PQresultStatus(result);
  const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK ||
                  status == PGRES_EMPTY_QUERY;
  if (!ok) {
    // The message names the line of the statement that failed where the server tells.
    const char* message =
        result != nullptr ? PQresultErrorMessage(result) : PQerrorMessage(handle);
    Fail(error, QString::fromUtf8(message).trimmed());
  }
  PQclear(result);
  return ok;
}

// The folder of db/ that holds a backend's schema.
QString SchemaFolder(const QString& driver) {
  if (driver == u"QSQLITE") return QStringLiteral("sqlite");
  if (driver == u"QPSQL") return QStringLiteral("postgresql");
  return {};
}

bool ReadResource(const QString& path, QString* text, QString* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return Fail(error, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
  }
  *text = QString::fromUtf8(file.readAll());
  return true;
}

}  // namespace

bool ExecuteScript(QSqlDatabase& database, const QString& script, QString* error) {
  if (!database.isOpen()) return Fail(error, QStringLiteral("the database is not open"));
  if (IsSqlite(database)) {
    sqlite3* handle = SqliteHandle(database);
    if (handle == nullptr) return Fail(error, QStringLiteral("no SQLite handle"));
    return ExecuteSqliteScript(handle, script, error);
  }
  if (database.driverName() == u"QPSQL") {
    PGconn* handle = PostgresHandle(database);
    if (handle == nullptr) return Fail(error, QStringLiteral("no PostgreSQL handle"));
    return ExecutePostgresScript(handle, script, error);
  }
  QSqlQuery query(database);
  if (!query.exec(script)) return Fail(error, query.lastError().text());
  return true;
}

bool ExecuteScriptsAtomically(QSqlDatabase& database, const QStringList& scripts,
                              QString* error) {
  if (!database.transaction()) {
    return Fail(error, QStringLiteral("cannot start a transaction: %1")
                           .arg(database.lastError().text()));
  }
  for (const QString& script : scripts) {
    if (!ExecuteScript(database, script, error)) {
      // A failure that already ended the transaction makes this rollback fail; either way
      // nothing of it stays.
      database.rollback();
      return false;
    }
  }
  if (!database.commit()) {
    const QString text = database.lastError().text();
    database.rollback();
    return Fail(error, QStringLiteral("cannot commit: %1").arg(text));
  }
  return true;
}

std::optional<bool> HasTables(QSqlDatabase& database, QString* error) {
  // A query rather than QSqlDatabase::tables(), which answers an unreadable database with
  // an empty list.
  const QString sql =
      IsSqlite(database)
          ? QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type IN ('table', 'view')")
          // The catalogue, not information_schema, which hides tables the user has no
          // right on: another role's tables still make the database occupied.
          : QStringLiteral(
                "SELECT count(*) FROM pg_catalog.pg_class c"
                " JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace"
                " WHERE c.relkind IN ('r', 'p', 'v', 'm', 'f')"
                " AND n.nspname NOT IN ('pg_catalog', 'information_schema')");
  QSqlQuery query(database);
  if (!query.exec(sql) || !query.next()) {
    Fail(error, QStringLiteral("cannot list the tables: %1").arg(query.lastError().text()));
    return std::nullopt;
  }
  return query.value(0).toLongLong() > 0;
}

QString ExpandDateTokens(const QString& sql, const QDate& day) {
  static const QRegularExpression token(QStringLiteral(R"(\{DAY(?:([+-])(\d{1,5}))?\})"));
  QString out;
  out.reserve(sql.size());
  qsizetype copied = 0;
  for (auto it = token.globalMatch(sql); it.hasNext();) {
    const QRegularExpressionMatch match = it.next();
    qint64 offset = match.captured(2).toLongLong();
    if (match.captured(1) == u"-") offset = -offset;
    out += QStringView(sql).mid(copied, match.capturedStart() - copied);
    out += u'\'' + day.addDays(offset).toString(Qt::ISODate) + u'\'';
    copied = match.capturedEnd();
  }
  out += QStringView(sql).mid(copied);
  return out;
}

QStringList SchemaScripts(const QSqlDatabase& database, bool withDemo, QString* error) {
  const QString folder = SchemaFolder(database.driverName());
  const QString schemaPath = QStringLiteral(":/db/%1/schema.sql").arg(folder);
  if (folder.isEmpty() || !QFile::exists(schemaPath)) {
    Fail(error, QStringLiteral("there is no schema for the database driver %1")
                    .arg(database.driverName()));
    return {};
  }
  QStringList scripts(QString{});
  if (!ReadResource(schemaPath, &scripts.first(), error)) return {};
  scripts << QString();
  if (!ReadResource(QStringLiteral(":/db/%1/upgrade.sql").arg(folder), &scripts.last(), error)) {
    return {};
  }
  if (withDemo) {
    QString demo;
    if (!ReadResource(QStringLiteral(":/db/sqlite/demo.sql"), &demo, error)) return {};
    scripts << ExpandDateTokens(demo, QDate::currentDate());
  }
  return scripts;
}

bool InstallSchema(QSqlDatabase& database, bool withDemo, QString* error) {
  const std::optional<bool> hasTables = HasTables(database, error);
  if (!hasTables.has_value()) return false;
  if (*hasTables) {
    return Fail(error, QStringLiteral("the database already has tables; nothing was changed"));
  }
  const QStringList scripts = SchemaScripts(database, withDemo, error);
  if (scripts.isEmpty()) return false;
  return ExecuteScriptsAtomically(database, scripts, error);
}

bool UpgradeSchema(QSqlDatabase& database, QString* error) {
  const QString folder = SchemaFolder(database.driverName());
  QString script;
  if (folder.isEmpty()) {
    return Fail(error, QStringLiteral("there is no schema for the database driver %1")
                           .arg(database.driverName()));
  }
  if (!ReadResource(QStringLiteral(":/db/%1/upgrade.sql").arg(folder), &script, error)) {
    return false;
  }
  return ExecuteScriptsAtomically(database, {script}, error);
}

}  // namespace taurelin
