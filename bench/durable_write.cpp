#include "durable_write.h"

#include "store/connection.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace taurelin::bench {
namespace {

constexpr QLatin1String kInsert("INSERT INTO BENCH_DURABLE_WRITE (N, NOTE) VALUES (?, ?)");

}  // namespace

DurableWrite::DurableWrite(const DatabaseAlias& alias)
    : alias_(alias), connection_(QUuid::createUuid().toString()),
      sqlite_(alias.driver == u"QSQLITE") {}

DurableWrite::~DurableWrite() {
  insert_.reset();
  if (opened_ && !sqlite_) exec(QStringLiteral("DROP TABLE BENCH_DURABLE_WRITE"));
  connection_.close();
  if (!opened_ || !sqlite_) return;
  for (const char* suffix : {"", "-wal", "-shm"}) {
    QFile::remove(alias_.database + QLatin1String(suffix));
  }
}

bool DurableWrite::open(QString* error) {
  if (sqlite_ && QFile::exists(alias_.database)) {
    *error = QStringLiteral("%1 exists already").arg(alias_.database);
    return false;
  }
  if (!connection_.open(alias_, error)) return false;
  opened_ = true;
  // A key kept in an index and a text, as in the server's tables.
  bool made = (!sqlite_ || exec(QStringLiteral("PRAGMA synchronous = FULL"))) &&
              exec(QStringLiteral("CREATE TABLE BENCH_DURABLE_WRITE "
                                  "(N BIGINT PRIMARY KEY, NOTE VARCHAR(40))"));
  if (made) {
    insert_.emplace(connection_.database());
    made = insert_->prepare(kInsert);
    if (!made) error_ = insert_->lastError().text();
  }
  if (!made) *error = error_;
  return made;
}

double DurableWrite::once() {
  QElapsedTimer timer;
  timer.start();
  if (!exec(sqlite_ ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"))) return -1;
  for (int row = 0; row < 2; ++row) {
    insert_->bindValue(0, ++next_);
    insert_->bindValue(1, QStringLiteral("booking line %1").arg(next_));
    if (!insert_->exec()) {
      error_ = insert_->lastError().text();
      exec(QStringLiteral("ROLLBACK"));
      return -1;
    }
  }
  if (!exec(QStringLiteral("COMMIT"))) return -1;
  return static_cast<double>(timer.nsecsElapsed()) / 1000.0;
}

QString DurableWrite::durability() {
  if (sqlite_) {
    // 2 is FULL.
    return QStringLiteral("journal %1, synchronous %2")
        .arg(value(QStringLiteral("PRAGMA journal_mode")),
             value(QStringLiteral("PRAGMA synchronous")) == u"2" ? QStringLiteral("FULL")
                                                                 : QStringLiteral("not FULL"));
  }
  return QStringLiteral("fsync %1, synchronous_commit %2")
      .arg(value(QStringLiteral("SHOW fsync")), value(QStringLiteral("SHOW synchronous_commit")));
}

QString DurableWrite::value(const QString& sql) {
  QSqlQuery query(connection_.database());
  return query.exec(sql) && query.next() ? query.value(0).toString() : QStringLiteral("?");
}

bool DurableWrite::exec(const QString& sql) {
  QSqlQuery query(connection_.database());
  if (query.exec(sql)) return true;
  error_ = query.lastError().text();
  return false;
}

}  // namespace taurelin::bench
