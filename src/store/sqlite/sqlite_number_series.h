#pragma once

// The number series of table TELLER on an SQLite connection: each call hands out the next
// number of a series, never one handed out before, also across restarts and across
// connections and programs sharing the file.
//
// The increment is its own committed transaction whenever the connection holds no write
// lock: it then runs on a second connection to the same file, because a write nested in the
// calling statement's read would meet a stale snapshot or a busy writer without waiting.
// Inside the connection's own write transaction it runs there (the only writer anyway), and
// a rollback of that transaction takes the number back with everything that used it.

#include <QString>

struct sqlite3;

namespace taurelin {

class SqliteKeptStatements;

class SqliteNumberSeries {
 public:
  explicit SqliteNumberSeries(sqlite3* db) : db_(db) {}
  ~SqliteNumberSeries();
  SqliteNumberSeries(const SqliteNumberSeries&) = delete;
  SqliteNumberSeries& operator=(const SqliteNumberSeries&) = delete;

  // The next number of the series `name`; throws DatabaseError when the series is missing or
  // the database refuses. `kept`, the statements kept on this connection's handle, saves
  // preparing the increment again inside a write transaction.
  qint64 next(const QString& name, SqliteKeptStatements* kept = nullptr);

 private:
  sqlite3* independentConnection();

  sqlite3* db_;
  sqlite3* independent_ = nullptr;
  bool opened_ = false;
};

}  // namespace taurelin
