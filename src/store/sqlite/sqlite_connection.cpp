#include "store/sqlite/sqlite_connection.h"

#include "base/file_identity.h"
#include "store/connection.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

#include <chrono>
#include <thread>

namespace taurelin {
namespace {

QString MainFilePath(sqlite3* db) {
  const char* path = db != nullptr ? sqlite3_db_filename(db, "main") : nullptr;
  return path != nullptr ? QString::fromUtf8(path) : QString();
}

QString Packed(const FileIdentity& file) {
  return QStringLiteral("%1:%2").arg(file.device).arg(file.inode);
}

// SQLite's busy handler: `tries` counts the waits for the lock so far.
int WaitOneStep(void*, int tries) {
  if (tries >= kSqliteLockWaitMs) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return 1;
}

}  // namespace

sqlite3* SqliteHandle(const QSqlDatabase& database) {
  const QVariant handle =
      database.driver() != nullptr ? database.driver()->handle() : QVariant();
  if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) return nullptr;
  return *static_cast<sqlite3* const*>(handle.constData());
}

void WaitForLocksInShortSteps(sqlite3* db) { sqlite3_busy_handler(db, WaitOneStep, nullptr); }

void RememberSqliteFile(Connection& connection) {
  const QString path = MainFilePath(SqliteHandle(connection.database()));
  const std::optional<FileIdentity> file = path.isEmpty() ? std::nullopt : IdentityOfPath(path);
  connection.setFileIdentity(file ? Packed(*file) : QString());
}

QString SqliteFileReplaced(Connection& connection) {
  const QSqlDatabase& database = connection.database();
  if (database.driver() == nullptr) return QString();
  const QString& opened = connection.fileIdentity();
  if (opened.isEmpty()) return QString();
  const QString path = MainFilePath(SqliteHandle(database));
  const std::optional<FileIdentity> now = IdentityOfPath(path);
  if (!now) return QStringLiteral("the database file %1 was deleted while it was open").arg(path);
  if (Packed(*now) != opened) {
    return QStringLiteral("the database file %1 was replaced while it was open").arg(path);
  }
  return QString();
}

}  // namespace taurelin
