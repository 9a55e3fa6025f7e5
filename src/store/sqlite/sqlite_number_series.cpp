#include "store/sqlite/sqlite_number_series.h"

#include "store/database_error.h"
#include "store/sqlite/sqlite_connection.h"
#include "store/sqlite/sqlite_kept_statements.h"
#include "store/sqlite/sqlite_statement.h"

#include <sqlite3.h>

#include <optional>

namespace taurelin {

SqliteNumberSeries::~SqliteNumberSeries() { sqlite3_close(independent_); }

qint64 SqliteNumberSeries::next(const QString& name, SqliteKeptStatements* kept) {
  static constexpr char kUpdate[] =
      "UPDATE TELLER SET VERDI = VERDI + 1 WHERE NAVN = :navn RETURNING VERDI";
  sqlite3* target = db_;
  if (sqlite3_txn_state(db_, "main") != SQLITE_TXN_WRITE) {
    if (sqlite3* independent = independentConnection()) target = independent;
  }
  // A reservation draws three numbers in its write transaction: there the statement is kept
  // prepared on the connection; the second connection, used seldom, prepares it each time.
  SqliteStatement update = target == db_ && kept != nullptr && kept->handle() == db_
                               ? kept->take(kUpdate)
                               : SqliteStatement(target, kUpdate);
  update.bind(":navn", name);
  std::optional<qint64> number;
  while (update.next()) number = update.integer(0);  // to the end: that completes the write
  if (!update.ok()) throw DatabaseError(update.error());
  if (!number) throw DatabaseError(QStringLiteral("TELLER has no number series %1").arg(name));
  return *number;
}

// Opened on first use. Only a file in WAL mode gets one: there the caller's open read does
// not block its commit. An in-memory database has no second connection and needs none.
sqlite3* SqliteNumberSeries::independentConnection() {
  if (opened_) return independent_;
  opened_ = true;
  const char* file = sqlite3_db_filename(db_, "main");
  if (file == nullptr || *file == '\0') return nullptr;
  SqliteStatement mode(db_, "PRAGMA main.journal_mode");
  if (!mode.next() || mode.text(0).compare(u"wal", Qt::CaseInsensitive) != 0) return nullptr;
  if (sqlite3_open_v2(file, &independent_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close(independent_);
    independent_ = nullptr;
    return nullptr;
  }
  WaitForLocksInShortSteps(independent_);
  return independent_;
}

}  // namespace taurelin
