#pragma once

// The raw SQLite connection behind a Qt one, and how an SQLite connection waits for a write
// lock that another connection or program holds.

class QSqlDatabase;
struct sqlite3;

namespace taurelin {

// How long a connection waits for another's write lock before the statement fails as busy.
inline constexpr int kSqliteLockWaitMs = 10000;

// The sqlite3 handle of an open SQLite connection; null for any other.
sqlite3* SqliteHandle(const QSqlDatabase& database);

// Makes `db` wait for a busy lock in steps of about a millisecond, up to kSqliteLockWaitMs.
// SQLite's own busy timeout sleeps up to 100 ms at a time, so a reservation queued behind
// another server's write of a few milliseconds waited far longer than that write took.
void WaitForLocksInShortSteps(sqlite3* db);

}  // namespace taurelin
