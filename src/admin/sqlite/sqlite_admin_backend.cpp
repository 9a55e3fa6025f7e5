#include "admin/sqlite/sqlite_admin_backend.h"

#include "store/fail.h"
#include "store/sqlite/sqlite_connection.h"

#include <QByteArray>
#include <QSqlDatabase>

#include <sqlite3.h>

#include <algorithm>

namespace taurelin {
namespace {

int LineOf(const QByteArray& text, const char* position) {
  return 1 + int(std::count(text.constData(), position, '\n'));
}

}  // namespace

const SqliteAdminBackend& SqliteAdminBackend::Instance() {
  static const SqliteAdminBackend backend;
  return backend;
}

bool SqliteAdminBackend::executeScript(QSqlDatabase& database, const QString& script,
                                       QString* error) const {
  sqlite3* handle = SqliteHandle(database);
  if (handle == nullptr) return Fail(error, QStringLiteral("no SQLite handle"));
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

QString SqliteAdminBackend::tableCountQuery() const {
  return QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type IN ('table', 'view')");
}

QString SqliteAdminBackend::columnsQuery() const {
  return QStringLiteral("SELECT name, type, pk FROM pragma_table_info(?)");
}

QString SqliteAdminBackend::decimalFits(const QString& value, int scale,
                                        const QString& limit) const {
  return QStringLiteral("round(%1, %2) = %1 AND %1 > -%3 AND %1 < %3")
      .arg(value)
      .arg(scale)
      .arg(limit);
}

}  // namespace taurelin
