#pragma once

// An AdminBackend is what one kind of database (SQLite, PostgreSQL) does differently from
// the other where only the tools need it: installing the schema, checking a database against
// the contract, checking amounts, copying a business. The server's own needs of a kind of
// database are the store's Backend (store/backend.h); these are kept apart so that the
// server links none of them.
//
// Promises:
// - A script of many statements runs in order and stops at the first failure, whose error
//   names the statement's line where the backend tells.
// - Catalogue queries answer from the database's own catalogue, never from what a user may
//   see of it: another role's tables still make a database occupied.
// - A decimal check holds exactly where the database would keep the value unchanged in a
//   column of that scale, never after a rounding of its own.
// - The snapshot statement, run first in a reading transaction, makes every read of it see
//   one state of the whole database.
// The backend of a Qt connection is chosen from its driver in admin_backend.cpp, the admin
// library's one chooser. Backends hold no state: each is one object shared by every
// connection of its kind.

#include <QString>
#include <QStringList>

class QSqlDatabase;

namespace taurelin {

class AdminBackend {
 public:
  virtual ~AdminBackend() = default;

  // The backend that serves the driver `driver`; null when none does.
  static const AdminBackend* ForDriver(const QString& driver);
  // The backend of a Qt connection, chosen from its driver; null when none serves it.
  static const AdminBackend* Find(const QSqlDatabase& database);
  // The same, or SQLite's when no backend serves it.
  static const AdminBackend& Of(const QSqlDatabase& database);
  // The name of a connection's driver, for messages.
  static QString DriverName(const QSqlDatabase& database);

  // Runs a script of several statements on an open connection, stopping at the first that
  // fails (its error, with its line where the backend tells).
  virtual bool executeScript(QSqlDatabase& database, const QString& script,
                             QString* error) const = 0;
  // Whether the database is one file, at the path the alias names as its database.
  virtual bool databaseIsAFile() const = 0;
  // The folder under db/ that holds this backend's schema and upgrade scripts.
  virtual QString schemaFolder() const = 0;

  // Catalogue queries: the count of tables and views; the (name, declared type, place in the
  // primary key) rows of the table bound at the one placeholder.
  virtual QString tableCountQuery() const = 0;
  virtual QString columnsQuery() const = 0;
  // Whether the number series are listed in a table (else in a view over sequences).
  virtual bool countersInTable() const = 0;
  // An SQL condition that holds when `value` is a number of at most `scale` decimals whose
  // magnitude is below `limit`.
  virtual QString decimalFits(const QString& value, int scale, const QString& limit) const = 0;
  // A statement that gives a reading transaction one snapshot of the whole database, and one
  // that refreshes the planner's statistics of `tables` after a bulk load; empty where none
  // is needed.
  virtual QString snapshotStatement() const = 0;
  virtual QString statisticsStatement(const QStringList& tables) const = 0;
};

}  // namespace taurelin
