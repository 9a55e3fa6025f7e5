#pragma once

// Opening a named Qt SQL connection on a database alias, and keeping it usable across an
// outage of its database.

#include "store/alias_list.h"
#include "store/database_error.h"

#include <QString>

class QSqlDatabase;
class QSqlError;

namespace taurelin {

// The user and password a connection uses when the alias names none.
inline constexpr const char* kDefaultUser = "SYSDBA";
inline constexpr const char* kDefaultPassword = "quillbank";

// How long opening a PostgreSQL connection waits for the server (libpq's connect_timeout):
// a server that is away must not hold up the requests that try to reach it for long.
inline constexpr int kConnectTimeoutSeconds = 3;
// An opening that waited that long is not tried again for this while; statements on the
// connection fail at once meanwhile. A refused opening costs nothing and is tried each time.
inline constexpr int kRetryAfterTimeoutMs = 10000;

// Adds the connection `connectionName` (replacing one of that name) for `alias` and opens it.
// On SQLite it also switches on foreign keys, the WAL journal and a busy timeout, and
// registers the database procedures. Returns false and sets `error` when it cannot open.
// A connection whose driver exists stays registered even when it cannot open, so that a
// statement on it tries again (EnsureOpen); QSqlDatabase::removeDatabase drops it.
// An SQLite file that does not exist is created only when `createMissingFile` is set: a
// server must not serve an empty new database because an alias names a wrong path.
bool OpenConnection(const DatabaseAlias& alias, const QString& connectionName, QString* error,
                    bool createMissingFile = true);

// Closes and removes the connection `connectionName`, if there is one, after finalising the
// statements kept for it: a kept statement would keep an SQLite handle from closing. Every
// connection that runs statements goes this way.
void CloseConnection(const QString& connectionName);

// Makes a registered connection ready for a statement, set up as OpenConnection sets it up:
// opens it when it is closed, and renews it when its session is gone (the server ended it,
// or a statement found it lost; see ConnectionLost), dropping the old session's kept
// statements. A lost connection is not renewed while a write transaction is open on it (the
// transaction went with the session, and the rest of it must fail too) or while a statement's
// rows on it are being read. Returns false and sets `error` when the connection cannot be
// used; the database then counts as unreachable (ConnectionWatch).
bool EnsureOpen(QSqlDatabase& database, QString* error);

// The registered connection `connectionName`, made ready with EnsureOpen for a statement.
// Throws DatabaseError (a connection failure) when it is not registered or cannot be used.
QSqlDatabase ReadyConnection(const QString& connectionName);

// Whether `error`, which a statement on `database` just met, means that the database could
// not be reached: PostgreSQL lost or ended the session; SQLite could not read or write its
// file. Such a connection is renewed before its next statement, and the database counts as
// unreachable.
bool ConnectionLost(QSqlDatabase& database, const QSqlError& error);

// Marks an open connection as unable to reach its database, for `why`: it is renewed before
// its next statement (not while a write transaction is open on it), and the database counts
// as unreachable until then.
void MarkConnectionLost(QSqlDatabase& database, const QString& why);

// The DatabaseError for a statement's `error` on `database`: a connection failure when the
// database could not be reached (ConnectionLost), a statement failure otherwise.
DatabaseError StatementFailure(QSqlDatabase& database, const QSqlError& error);

}  // namespace taurelin
