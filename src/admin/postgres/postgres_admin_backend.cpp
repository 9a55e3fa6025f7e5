#include "admin/postgres/postgres_admin_backend.h"

#include "store/fail.h"
#include "store/postgres/postgres_connection.h"

#include <QSqlDatabase>

#include <libpq-fe.h>

namespace taurelin {

const PostgresAdminBackend& PostgresAdminBackend::Instance() {
  static const PostgresAdminBackend backend;
  return backend;
}

// The whole script as one simple query: PostgreSQL runs its statements in order and stops
// at the first that fails. (A Qt query would report only the first statement's outcome.)
bool PostgresAdminBackend::executeScript(QSqlDatabase& database, const QString& script,
                                         QString* error) const {
  PGconn* handle = PostgresHandle(database);
  if (handle == nullptr) return Fail(error, QStringLiteral("no PostgreSQL handle"));
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

// The catalogue, not information_schema, which hides tables the user has no right on:
// another role's tables still make the database occupied.
QString PostgresAdminBackend::tableCountQuery() const {
  return QStringLiteral(
      "SELECT count(*) FROM pg_catalog.pg_class c"
      " JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace"
      " WHERE c.relkind IN ('r', 'p', 'v', 'm', 'f')"
      " AND n.nspname NOT IN ('pg_catalog', 'information_schema')");
}

QString PostgresAdminBackend::columnsQuery() const {
  return QStringLiteral(
      // indkey counts from 0.
      "SELECT a.attname, pg_catalog.format_type(a.atttypid, a.atttypmod),"
      " COALESCE(array_position(CAST(i.indkey AS int2[]), a.attnum)"
      "          - array_lower(CAST(i.indkey AS int2[]), 1) + 1, 0)"
      " FROM pg_catalog.pg_attribute a"
      " LEFT JOIN pg_catalog.pg_index i ON i.indrelid = a.attrelid AND i.indisprimary"
      " WHERE a.attrelid = to_regclass(?) AND a.attnum > 0 AND NOT a.attisdropped"
      " ORDER BY a.attnum");
}

QString PostgresAdminBackend::decimalFits(const QString& value, int scale,
                                          const QString& limit) const {
  const QString exact = QStringLiteral("CAST(%1 AS NUMERIC)").arg(value);
  return QStringLiteral("round(%1, %2) = %1 AND abs(%1) < %3").arg(exact).arg(scale).arg(limit);
}

// PostgreSQL gives each statement its own snapshot unless asked for one per transaction.
QString PostgresAdminBackend::snapshotStatement() const {
  return QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ");
}

// PostgreSQL plans by statistics that it would otherwise gather only after a while.
QString PostgresAdminBackend::statisticsStatement(const QStringList& tables) const {
  return QStringLiteral("ANALYZE ") + tables.join(QStringLiteral(", "));
}

}  // namespace taurelin
