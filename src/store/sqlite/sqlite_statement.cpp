#include "store/sqlite/sqlite_statement.h"

#include <sqlite3.h>

#include <cmath>

namespace taurelin {

SqliteStatement::SqliteStatement(sqlite3* db, const char* sql) : db_(db) {
  if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) {
    error_ = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(statement_);
    statement_ = nullptr;
  }
}

SqliteStatement::SqliteStatement(sqlite3* db, sqlite3_stmt* kept)
    : db_(db), statement_(kept), kept_(true) {
  if (kept == nullptr) error_ = QString::fromUtf8(sqlite3_errmsg(db));
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : db_(other.db_), statement_(other.statement_), kept_(other.kept_),
      error_(std::move(other.error_)) {
  other.statement_ = nullptr;
}

SqliteStatement::~SqliteStatement() {
  if (!kept_) {
    sqlite3_finalize(statement_);
  } else if (statement_ != nullptr) {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
}

void SqliteStatement::bind(const char* name, qint64 value) {
  if (statement_ == nullptr) return;
  const int index = sqlite3_bind_parameter_index(statement_, name);
  if (index > 0) sqlite3_bind_int64(statement_, index, value);
}

void SqliteStatement::bind(const char* name, const QString& text) {
  if (statement_ == nullptr) return;
  const int index = sqlite3_bind_parameter_index(statement_, name);
  if (index > 0) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement_, index, utf8.constData(), static_cast<int>(utf8.size()),
                      SQLITE_TRANSIENT);
  }
}

void SqliteStatement::bind(const char* name, QDate date) {
  bind(name, date.toString(Qt::ISODate));
}

bool SqliteStatement::next() {
  if (statement_ == nullptr) return false;
  const int rc = sqlite3_step(statement_);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) error_ = QString::fromUtf8(sqlite3_errmsg(db_));
  return false;
}

int SqliteStatement::column(const char* name) const {
  if (statement_ == nullptr) return -1;
  const int count = sqlite3_column_count(statement_);
  for (int i = 0; i < count; ++i) {
    if (sqlite3_stricmp(sqlite3_column_name(statement_, i), name) == 0) return i;
  }
  return -1;
}

std::optional<qint64> SqliteStatement::integer(int column) const {
  switch (sqlite3_column_type(statement_, column)) {
    case SQLITE_NULL:
      return 0;
    case SQLITE_INTEGER:
      return sqlite3_column_int64(statement_, column);
    case SQLITE_FLOAT: {
      const double value = sqlite3_column_double(statement_, column);
      if (!std::isfinite(value) || std::fabs(value) >= 9.0e18) return std::nullopt;
      return static_cast<qint64>(value);
    }
    default:
      return std::nullopt;
  }
}

QString SqliteStatement::text(int column) const {
  const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  if (data == nullptr) return QString();
  return QString::fromUtf8(data, sqlite3_column_bytes(statement_, column));
}

}  // namespace taurelin
