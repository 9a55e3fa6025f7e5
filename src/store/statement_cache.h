#pragma once

// The statements one connection keeps prepared and uses again, so that a statement the server
// runs on every request is prepared once per connection: PostgreSQL keeps it on the server
// and, after a few runs, plans it once; SQLite saves the parsing, a good part of a short
// statement. It holds two kinds of entry:
// - Qt queries, on every backend. Every statement that runs here names its columns: Qt's
//   SQLite driver reads a kept statement's result with the columns it had when prepared,
//   which a "SELECT *" over a table changed meanwhile would no longer have.
// - statements on the driver's own handle, for the backend that reads there (SQLite: the hot
//   reads and the database's procedures). The backend prepares them and says how each is
//   finalised; the cache holds them by their text, as opaque pointers, so that no backend's
//   types reach this room.
//
// Promises: a query is taken out for one run and given back when its rows are read; one run
// while the same one is out (nested) gets a query of its own (a statement on the handle is
// reset after each run instead, and is never taken twice at once). Nothing kept serves a
// session other than the one it was prepared on: forget() drops every entry of both kinds,
// and must run while the connection is still open, before it closes or opens anew (the
// connection does this); queries given back after that are dropped. Queries of a session that
// the server ended are held until the connection is removed (releaseHeld): dropping them
// earlier would have Qt free their statements on a session that no longer has them.
// One thread, like the connection that owns the cache.

#include <QList>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QSqlDatabase;

namespace taurelin {

class Backend;

class StatementCache {
 public:
  using Bindings = QList<std::pair<QString, QVariant>>;  // placeholder names with ':'

  StatementCache() = default;
  ~StatementCache();
  StatementCache(const StatementCache&) = delete;
  StatementCache& operator=(const StatementCache&) = delete;

  // Runs `sql` with `bindings` on the open `database` of `backend`, in a kept query or a
  // newly prepared one, and gives the query with its result. Null when it cannot prepare or
  // run; `error` then holds the database's failure. A kept query whose plan the database
  // refuses because a table changed since it was prepared runs once more as new, when no
  // transaction is open that its failure has ended.
  std::unique_ptr<QSqlQuery> run(QSqlDatabase& database, const Backend& backend, const QString& sql,
                                 bool forwardOnly, const Bindings& bindings, QSqlError* error);
  // Keeps a query that run gave, its result released, for the next run of its statement.
  void give(const QString& sql, std::unique_ptr<QSqlQuery> query);
  // Whether a query that run gave has not been given back yet: its rows are still being read.
  bool inUse() const { return queriesOut_ > 0; }

  // The statement kept on the driver's handle for the text `sql`; null when none is.
  void* handleStatement(std::string_view sql) const;
  // Keeps `statement`, prepared on the driver's handle for the text `sql`, until forget()
  // finalises it with `finalize`. The same statement must not be taken twice at once.
  void keepHandleStatement(std::string_view sql, void* statement, void (*finalize)(void*));

  // Drops every kept statement of both kinds; call it while the connection is still open.
  void forget();
  // Marks the connection as opened anew: queries kept from before are not used again.
  void opened();
  // Lets go of the queries held for ended sessions; call it once the Qt connection is removed.
  void releaseHeld();

 private:
  using Kept = std::map<QString, std::vector<std::unique_ptr<QSqlQuery>>>;

  std::unique_ptr<QSqlQuery> take(QSqlDatabase& database, const QString& sql, bool forwardOnly,
                                  bool* kept, QSqlError* error);
  std::unique_ptr<QSqlQuery> prepare(QSqlDatabase& database, const QString& sql, bool forwardOnly,
                                     QSqlError* error);
  void drop(std::unique_ptr<QSqlQuery> query);
  void dropAll();

  Kept kept_;
  // The opening the kept queries were prepared on; they serve no other.
  quint64 opening_ = 0;
  quint64 keptOpening_ = 0;
  int queriesOut_ = 0;
  struct HandleStatement {
    void* statement;
    void (*finalize)(void*);
  };
  std::map<std::string, HandleStatement, std::less<>> onHandle_;
  // Queries of ended sessions, waiting for their connection to be removed.
  std::vector<std::unique_ptr<QSqlQuery>> held_;
};

}  // namespace taurelin
