#include "admin/sqlite/sqlite_backup.h"

#include "admin/contract.h"
#include "admin/sqlite/sqlite_file.h"
#include "store/fail.h"
#include "store/sqlite/sqlite_connection.h"
#include "store/sqlite/sqlite_driver.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>
#include <QUrl>
#include <QVariant>

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace taurelin {
namespace {

enum class Access { kReadOnly, kReadWrite, kCreate };

// An SQLite connection of its own on a file, closed and removed on destruction.
class OwnConnection {
 public:
  OwnConnection(const char* name, const QString& path, Access access, int busyTimeoutMs)
      : name_(QLatin1String(name)) {
    database_ = QSqlDatabase::addDatabase(QLatin1String(kSqliteDriver), name_);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs);
    if (access == Access::kCreate) {
      database_.setDatabaseName(path);
    } else {
      // Never creates the file: a wrong path must fail, not become an empty database.
      options += QStringLiteral(";QSQLITE_OPEN_URI");
      database_.setDatabaseName(
          QStringLiteral("file:") + QString::fromLatin1(QUrl::toPercentEncoding(path, "/")) +
          (access == Access::kReadOnly ? QStringLiteral("?mode=ro") : QStringLiteral("?mode=rw")));
    }
    database_.setConnectOptions(options);
  }
  ~OwnConnection() {
    database_.close();
    database_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name_);
  }
  OwnConnection(const OwnConnection&) = delete;
  OwnConnection& operator=(const OwnConnection&) = delete;

  bool open(QString* error) {
    if (database_.open()) return true;
    *error = database_.lastError().text();
    return false;
  }
  QSqlDatabase& database() { return database_; }

 private:
  QString name_;
  QSqlDatabase database_;
};

// Whether `file` names the database file `database` itself, also through another path.
bool SameFile(const QString& database, const QString& file) {
  const QFileInfo a(database);
  const QFileInfo b(file);
  if (a.exists() && b.exists()) return a.canonicalFilePath() == b.canonicalFilePath();
  return a.absoluteFilePath() == b.absoluteFilePath();
}

// Checks a copy: SQLite's own check of every page and index, then each booking table is
// there and can be read through. Fills `report` with the tables' rows.
bool CheckCopy(QSqlDatabase& copy, SqliteCopyReport* report, QString* error) {
  QSqlQuery integrity(copy);
  if (!integrity.exec(QStringLiteral("PRAGMA integrity_check"))) {
    return Fail(error, QStringLiteral("cannot be checked: %1").arg(integrity.lastError().text()));
  }
  QStringList problems;
  while (integrity.next()) problems << integrity.value(0).toString();
  if (problems != QStringList{QStringLiteral("ok")}) {
    return Fail(error, QStringLiteral("fails SQLite's integrity check: %1")
                           .arg(problems.mid(0, 5).join(QStringLiteral("; "))));
  }
  report->tables.clear();
  for (const QString& table : ContractTables()) {
    QSqlQuery count(copy);
    if (!count.exec(QStringLiteral("SELECT count(*) FROM %1").arg(table)) || !count.next()) {
      return Fail(error, QStringLiteral("is no booking database: table %1 cannot be read (%2)")
                             .arg(table, count.lastError().text()));
    }
    report->tables << CopiedTable{table, count.value(0).toLongLong()};
  }
  return true;
}

QString SystemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

// Puts what was written to `path` (a file or a folder's entries) on the disk.
bool Sync(const QString& path, int flags, QString* error) {
  const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    const QString why = SystemError();
    if (fd >= 0) ::close(fd);
    return Fail(error, QStringLiteral("cannot sync %1: %2").arg(path, why));
  }
  ::close(fd);
  return true;
}

}  // namespace

namespace {

// The backup up to the rename: the checked copy, synced, under a name of its own in
// `file`'s folder (`partial`, created here).
bool WriteCheckedCopy(const QString& database, const QString& file, QTemporaryFile& partial,
                      SqliteCopyReport* report, QString* error) {
  if (!QFileInfo(database).isFile()) {
    return Fail(error, QStringLiteral("the database file %1 does not exist").arg(database));
  }
  if (SameFile(database, file)) {
    return Fail(error, QStringLiteral("%1 is the database itself").arg(file));
  }
  const QFileInfo target(file);
  if (target.isDir()) return Fail(error, QStringLiteral("%1 is a folder").arg(file));
  if (!partial.open()) {
    return Fail(error, QStringLiteral("cannot create a file in %1: %2")
                           .arg(target.absolutePath(), partial.errorString()));
  }
  partial.close();  // VACUUM INTO writes into an empty file
  {
    OwnConnection source("taurelin-backup-source", database, Access::kReadWrite,
                         kSqliteLockWaitMs);
    if (!source.open(error)) return false;
    QSqlQuery vacuum(source.database());
    vacuum.prepare(QStringLiteral("VACUUM INTO ?"));
    vacuum.addBindValue(partial.fileName());
    if (!vacuum.exec()) {
      return Fail(error, QStringLiteral("cannot write the copy: %1")
                             .arg(vacuum.lastError().text()));
    }
  }
  if (!Sync(partial.fileName(), O_RDONLY, error)) return false;
  {
    OwnConnection copy("taurelin-backup-copy", partial.fileName(), Access::kReadOnly, 0);
    QString why;
    if (!copy.open(&why) || !CheckCopy(copy.database(), report, &why)) {
      return Fail(error, QStringLiteral("the copy %1").arg(why));
    }
  }
  report->bytes = QFileInfo(partial.fileName()).size();
  return true;
}

}  // namespace

BackupOutcome BackUpSqlite(const QString& database, const QString& file,
                           SqliteCopyReport* report, QString* error) {
  const QFileInfo target(file);
  // The copy is made under a name of its own in the target's folder, so that the rename
  // that puts it in place replaces the old backup in one step, on the same file system.
  // QTemporaryFile creates it readable by its owner only: a backup holds bookers' details.
  QTemporaryFile partial(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                         QStringLiteral(".partial-XXXXXX"));
  if (!WriteCheckedCopy(database, file, partial, report, error)) {
    return BackupOutcome::kNotWritten;
  }
  if (std::rename(QFile::encodeName(partial.fileName()).constData(),
                  QFile::encodeName(target.absoluteFilePath()).constData()) != 0) {
    Fail(error, QStringLiteral("cannot put the copy in place of %1: %2")
                    .arg(file, SystemError()));
    return BackupOutcome::kNotWritten;
  }
  partial.setAutoRemove(false);
  QString why;
  if (Sync(target.absolutePath(), O_RDONLY | O_DIRECTORY, &why)) return BackupOutcome::kWritten;
  // In place, but a power cut could still take back the rename.
  Fail(error, QStringLiteral("the backup is in place, but %1").arg(why));
  return BackupOutcome::kUnsynced;
}

RestoreOutcome RestoreSqlite(const QString& file, const QString& database,
                             SqliteCopyReport* report, QString* error) {
  if (!QFileInfo(file).isFile()) {
    Fail(error, QStringLiteral("the backup %1 does not exist").arg(file));
    return RestoreOutcome::kFailed;
  }
  if (SameFile(database, file)) {
    Fail(error, QStringLiteral("%1 is the database itself").arg(file));
    return RestoreOutcome::kFailed;
  }
  OwnConnection backup("taurelin-restore-source", file, Access::kReadOnly, 0);
  QString why;
  if (!backup.open(&why) || !CheckCopy(backup.database(), report, &why)) {
    Fail(error, QStringLiteral("the backup %1 %2").arg(file, why));
    return RestoreOutcome::kFailed;
  }
  // A missing database is made as init makes one: for its owner and group alone.
  if (CreateSqliteFile(database, error) == NewSqliteFile::kFailed) return RestoreOutcome::kFailed;
  // No waiting: another connection's lock is a program that has the database open.
  OwnConnection target("taurelin-restore-target", database, Access::kCreate, 0);
  if (!target.open(error)) return RestoreOutcome::kFailed;
  QSqlQuery query(target.database());
  // In exclusive locking mode the connection keeps every lock it takes until it closes, and
  // the first one it takes needs every other connection gone.
  if (!query.exec(QStringLiteral("PRAGMA locking_mode = EXCLUSIVE")) ||
      !query.exec(QStringLiteral("BEGIN EXCLUSIVE"))) {
    const bool busy = query.lastError().nativeErrorCode() == QString::number(SQLITE_BUSY);
    Fail(error, busy ? QStringLiteral("the database is open in another program, such as a "
                                      "server running on it; stop it first")
                     : query.lastError().text());
    return busy ? RestoreOutcome::kInUse : RestoreOutcome::kFailed;
  }
  // Out of the WAL journal while no one else is on the file: the copy is then written as one
  // rolled-back-on-failure transaction, whatever the backup's page size.
  if (!query.exec(QStringLiteral("COMMIT")) ||
      !query.exec(QStringLiteral("PRAGMA journal_mode = DELETE"))) {
    Fail(error, query.lastError().text());
    return RestoreOutcome::kFailed;
  }
  query.finish();
  sqlite3* destination = SqliteHandle(target.database());
  sqlite3_backup* copy =
      sqlite3_backup_init(destination, "main", SqliteHandle(backup.database()), "main");
  const int stepped = copy != nullptr ? sqlite3_backup_step(copy, -1) : SQLITE_ERROR;
  const int finished = copy != nullptr ? sqlite3_backup_finish(copy) : SQLITE_ERROR;
  if (stepped != SQLITE_DONE || finished != SQLITE_OK) {
    Fail(error, QStringLiteral("cannot write the database: %1")
                    .arg(QString::fromUtf8(sqlite3_errmsg(destination))));
    return RestoreOutcome::kFailed;
  }
  SqliteCopyReport written;
  if (!CheckCopy(target.database(), &written, &why)) {
    Fail(error, QStringLiteral("the restored database %1").arg(why));
    return RestoreOutcome::kFailed;
  }
  return RestoreOutcome::kRestored;
}

}  // namespace taurelin
