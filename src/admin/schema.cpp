#include "admin/schema.h"

#include "admin/admin_backend.h"
#include "store/fail.h"

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
  if (const AdminBackend* backend = AdminBackend::Find(database)) {
    return backend->executeScript(database, script, error);
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
  const QString sql = AdminBackend::Of(database).tableCountQuery();
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
  const AdminBackend* backend = AdminBackend::Find(database);
  const QString folder = backend != nullptr ? backend->schemaFolder() : QString();
  const QString schemaPath = QStringLiteral(":/db/%1/schema.sql").arg(folder);
  if (folder.isEmpty() || !QFile::exists(schemaPath)) {
    Fail(error, QStringLiteral("there is no schema for the database driver %1")
                    .arg(AdminBackend::DriverName(database)));
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
  const AdminBackend* backend = AdminBackend::Find(database);
  const QString folder = backend != nullptr ? backend->schemaFolder() : QString();
  QString script;
  if (folder.isEmpty()) {
    return Fail(error, QStringLiteral("there is no schema for the database driver %1")
                           .arg(AdminBackend::DriverName(database)));
  }
  if (!ReadResource(QStringLiteral(":/db/%1/upgrade.sql").arg(folder), &script, error)) {
    return false;
  }
  return ExecuteScriptsAtomically(database, {script}, error);
}

}  // namespace taurelin
