#pragma once

// Installing the booking database: running SQL scripts on a connection, and putting the
// schema (and, when asked, the demo data) on an empty database in one transaction.
//
// The scripts travel as Qt resources of this library: ":/db/sqlite/schema.sql" for SQLite,
// ":/db/postgresql/schema.sql" for PostgreSQL, and ":/db/sqlite/demo.sql", written in
// standard SQL so that every backend can load it. Beside each schema, "upgrade.sql" holds
// what a database made by an earlier version lacks (the occupancy index and the layout
// version); init runs it after the schema, upgrade on an existing database, and every
// statement in it may run again.
// The demo data's dates are tokens ({DAY}, {DAY+N}, {DAY-N}) that become dates relative to
// the day of installation, so that a demo installed on any day offers stays from that day.

#include <QString>
#include <QStringList>

#include <optional>

class QDate;
class QSqlDatabase;

namespace taurelin {

// Runs a script of several statements on an open connection and stops at the first one
// that fails (its error, with the line it starts on where the backend tells, in `error`).
// A Qt query runs or reports one statement only, so the script goes through the driver's
// own handle: on SQLite statement by statement, on PostgreSQL as one text, whose statements
// the server runs in order.
bool ExecuteScript(QSqlDatabase& database, const QString& script, QString* error);

// Runs the scripts one after the other in one transaction: either all of them take effect
// or none does.
bool ExecuteScriptsAtomically(QSqlDatabase& database, const QStringList& scripts,
                              QString* error);

// Whether the database holds any table or view. Empty, with `error` set, when the database
// cannot tell (an unreadable file, a lost connection): that is never taken as "empty".
std::optional<bool> HasTables(QSqlDatabase& database, QString* error);

// Replaces the tokens {DAY}, {DAY+N} and {DAY-N} by quoted ISO date literals
// ('yyyy-mm-dd') of `day` plus or minus N days.
QString ExpandDateTokens(const QString& sql, const QDate& day);

// The scripts that install the schema of the connection's backend, followed by the demo
// data (its dates relative to today) when `withDemo` is set, for a caller that runs them in
// a transaction of its own. Empty, with `error` set, when the backend has no schema.
QStringList SchemaScripts(const QSqlDatabase& database, bool withDemo, QString* error);

// Installs the schema of the connection's backend on an empty database, followed by the
// demo data (its dates relative to today) when `withDemo` is set, all in one transaction.
// Refuses, changing nothing, a database that already has tables. Returns false and sets
// `error` on refusal or failure; a failure leaves nothing of the installation behind.
bool InstallSchema(QSqlDatabase& database, bool withDemo, QString* error);

// Gives an existing booking database what the upgrade script of its backend adds, in one
// transaction: either all of it or nothing. A database that has it already is left as it is
// (the script runs again and changes nothing). Returns false and sets `error` on failure.
bool UpgradeSchema(QSqlDatabase& database, QString* error);

}  // namespace taurelin
