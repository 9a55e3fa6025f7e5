#pragma once

// The raw SQLite connection behind a Qt one, how an SQLite connection waits for a write
// lock that another connection or program holds, and whether its file is still the one its
// path names.

#include <QString>

class QSqlDatabase;
struct sqlite3;

namespace taurelin {

class Connection;

// How long a connection waits for another's write lock before the statement fails as busy.
inline constexpr int kSqliteLockWaitMs = 10000;

// The sqlite3 handle of an open SQLite connection; null for any other.
sqlite3* SqliteHandle(const QSqlDatabase& database);

// Makes `db` wait for a busy lock in steps of about a millisecond, up to kSqliteLockWaitMs.
// SQLite's own busy timeout sleeps up to 100 ms at a time, so a reservation queued behind
// another server's write of a few milliseconds waited far longer than that write took.
void WaitForLocksInShortSteps(sqlite3* db);

// Remembers which file (device and inode) an SQLite connection that has just opened holds.
void RememberSqliteFile(Connection& connection);
// Why the file the connection holds is no longer the one its path names: deleted, or
// another put in its place. A connection that wrote on would write into a file nobody
// opens again, and every write would be acknowledged and lost. Empty while it still is (and
// for a connection that is no SQLite one or whose file was never remembered).
QString SqliteFileReplaced(Connection& connection);

}  // namespace taurelin
