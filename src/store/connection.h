#pragma once

// Opening a named Qt SQL connection on a database alias.

#include "store/alias_list.h"

#include <QString>

class QSqlDatabase;

namespace taurelin {

// The user and password a connection uses when the alias names none.
inline constexpr const char* kDefaultUser = "SYSDBA";
inline constexpr const char* kDefaultPassword = "quillbank";

// Adds the connection `connectionName` (replacing one of that name) for `alias` and opens it.
// On SQLite it also switches on foreign keys, the WAL journal and a busy timeout, and
// registers the database procedures. Returns false and sets `error` when it cannot open.
// A connection whose driver exists stays registered even when it cannot open, so that a
// statement on it tries again (EnsureOpen); QSqlDatabase::removeDatabase drops it.
// An SQLite file that does not exist is created only when `createMissingFile` is set: a
// server must not serve an empty new database because an alias names a wrong path.
bool OpenConnection(const DatabaseAlias& alias, const QString& connectionName, QString* error,
                    bool createMissingFile = true);

// Opens a registered connection that is closed, set up as OpenConnection sets it up.
bool EnsureOpen(QSqlDatabase& database, QString* error);

}  // namespace taurelin
