#pragma once

// The file of an SQLite booking database holds bookers' names and addresses: a new one is
// made for its owner and group alone, and one that others may read is pointed out.

#include <QString>

namespace taurelin {

enum class NewSqliteFile { kCreated, kExists, kFailed };

// Creates `path` as an empty file of mode 0640 (less what the umask takes away), unless
// something is there already, which stays untouched (kExists). SQLite takes the empty file
// for a new database and gives its -wal and -shm files the same mode, so the database is
// never open to others, not even before its first page is written. On kFailed `error`
// says why.
NewSqliteFile CreateSqliteFile(const QString& path, QString* error);

// A warning, naming the file and the mend, when users other than the owner and the group
// may read the SQLite database file `path`; empty otherwise.
QString SqliteFileExposure(const QString& path);

}  // namespace taurelin
