#include "store/sqlite/sqlite_connection.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

#include <chrono>
#include <thread>

namespace taurelin {
namespace {

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

}  // namespace taurelin
