#pragma once

// Prepared statements kept per connection and used again, so that a statement the server
// runs on every request is prepared once per connection: PostgreSQL keeps it on the server
// and, after a few runs, plans it once; SQLite saves the parsing, a good part of a short
// statement. Every statement that runs here names its columns: Qt's SQLite driver reads a
// kept statement's result with the columns it had when prepared, which a "SELECT *" over a
// table changed meanwhile would no longer have.
//
// A query is taken out for one run and given back when its rows are read; a statement run
// while the same one is out (nested) gets a query of its own. Queries kept for a connection
// are dropped when it is opened anew, and must be forgotten before it is closed. Queries of
// a session that the server ended are held until their connection is removed: dropping them
// earlier would have Qt free their statements on a session that no longer has them.
// Connections belong to one thread, and so do the kept queries.

#include <QList>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <memory>
#include <utility>

class QSqlDatabase;

namespace taurelin {

class PreparedStatements {
 public:
  using Bindings = QList<std::pair<QString, QVariant>>;  // placeholder names with ':'

  // Runs `sql` with `bindings` on the open `database`, in a kept query or a newly prepared
  // one, and gives the query with its result. Null when it cannot prepare or run; `error`
  // then holds the database's failure. A kept query whose plan the database refuses because
  // a table changed since it was prepared runs once more as new, when no transaction is open
  // that its failure has ended.
  static std::unique_ptr<QSqlQuery> Run(QSqlDatabase& database, const QString& sql,
                                        bool forwardOnly, const Bindings& bindings,
                                        QSqlError* error);
  // Keeps a query that Run gave, its result released, for the next run of its statement.
  static void Give(const QString& connectionName, const QString& sql,
                   std::unique_ptr<QSqlQuery> query);
  // Drops the kept queries of a connection, the raw SQLite ones (SqliteKeptStatements)
  // included; call it while the connection is still open.
  static void Forget(const QString& connectionName);

  // Marks `database` as opened anew, so that queries kept from before are not used again.
  static void Opened(QSqlDatabase& database);

  // Whether a query that Run gave on the connection has not been given back yet: its rows
  // are still being read.
  static bool InUse(const QString& connectionName);
};

}  // namespace taurelin
