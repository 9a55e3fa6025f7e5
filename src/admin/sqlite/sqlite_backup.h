#pragma once

// A copy of an SQLite booking database taken while servers keep writing to it, and putting
// such a copy back.
//
// Promises:
// - BackUpSqlite writes one consistent state of the database (VACUUM INTO, a single read
//   transaction, so writers carry on meanwhile) to a new file beside `file`, syncs it, checks
//   it with PRAGMA integrity_check and for every booking table, and only then renames it
//   over `file`. Whatever fails before that, `file` is as it was (absent, or the last
//   backup) and no partial copy is left behind; after it, only a folder that cannot be
//   synced is left to fail.
// - RestoreSqlite checks `file` the same way before it touches the database. It then takes
//   the database's file lock exclusively and keeps it until it is done: while any other
//   connection has the database open (a server keeps one open as long as it runs), it
//   refuses with kInUse and changes nothing. The copy is written as one transaction of the
//   database, so a crash midway leaves the database as it was.
// - Neither takes the database of `file` for a database: a `file` that is the database
//   itself is refused.

#include "admin/database_copy.h"

#include <QList>
#include <QString>

namespace taurelin {

// What a checked copy holds: each booking table with its rows, and the file's size.
struct SqliteCopyReport {
  QList<CopiedTable> tables;
  qint64 bytes = 0;
};

enum class BackupOutcome {
  kWritten,
  kNotWritten,  // `file` is as it was
  kUnsynced,    // the copy is in place, but its folder's entry could not be synced
};

// Backs up the SQLite database `database` (a file path) to `file`; on anything but
// kWritten, `error` says why.
BackupOutcome BackUpSqlite(const QString& database, const QString& file,
                           SqliteCopyReport* report, QString* error);

enum class RestoreOutcome { kRestored, kInUse, kFailed };

// Replaces the contents of the SQLite database `database` with the backup `file`; a missing
// database file is created, mode 0640 (CreateSqliteFile). On kInUse and kFailed, `error`
// says why and nothing changed.
RestoreOutcome RestoreSqlite(const QString& file, const QString& database,
                             SqliteCopyReport* report, QString* error);

}  // namespace taurelin
