#pragma once

// What the tools need of PostgreSQL: a server shared by many programs, to which a script
// goes as one text.
//
// Promises: a script runs as one simple query, so the server stops at its first failing
// statement and says where; the catalogue queries read pg_catalog, which hides nothing
// from a user without rights; a copy reads under one repeatable-read snapshot and
// refreshes the planner's statistics after its bulk load.

#include "admin/admin_backend.h"
#include "store/postgres/postgres_driver.h"

namespace taurelin {

class PostgresAdminBackend final : public AdminBackend {
 public:
  static const PostgresAdminBackend& Instance();

  bool executeScript(QSqlDatabase& database, const QString& script,
                     QString* error) const override;
  bool databaseIsAFile() const override { return false; }
  QString schemaFolder() const override { return QStringLiteral("postgresql"); }

  QString tableCountQuery() const override;
  QString columnsQuery() const override;
  bool countersInTable() const override { return false; }
  QString decimalFits(const QString& value, int scale, const QString& limit) const override;
  QString snapshotStatement() const override;
  QString statisticsStatement(const QStringList& tables) const override;
};

}  // namespace taurelin
