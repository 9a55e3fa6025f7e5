#pragma once

// What the tools need of SQLite: an embedded database in one file, whose scripts run
// statement by statement on the driver's handle.
//
// Promises: a script's failure names the line where its failing statement starts; the
// number series are kept in a table; a copy needs no snapshot statement (a reading
// transaction already sees one state of the file) and no statistics.

#include "admin/admin_backend.h"
#include "store/sqlite/sqlite_driver.h"

namespace taurelin {

class SqliteAdminBackend final : public AdminBackend {
 public:
  static const SqliteAdminBackend& Instance();

  bool executeScript(QSqlDatabase& database, const QString& script,
                     QString* error) const override;
  bool databaseIsAFile() const override { return true; }
  QString schemaFolder() const override { return QStringLiteral("sqlite"); }

  QString tableCountQuery() const override;
  QString columnsQuery() const override;
  bool countersInTable() const override { return true; }
  QString decimalFits(const QString& value, int scale, const QString& limit) const override;
  QString snapshotStatement() const override { return QString(); }
  QString statisticsStatement(const QStringList&) const override { return QString(); }
};

}  // namespace taurelin
