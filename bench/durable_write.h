#pragma once

// The yardstick of a reservation: a bare durable write transaction on a connection of its
// own, BEGIN, two small inserts into a scratch table and COMMIT, on the disk or database
// server that the booking database uses. On SQLite the scratch table lies in a file of its
// own (WAL, synchronous FULL, BEGIN IMMEDIATE), removed again with this; on PostgreSQL in the
// alias's database, dropped again with this.

#include "store/alias_list.h"
#include "store/connection.h"

#include <QSqlQuery>
#include <QString>

#include <optional>

namespace taurelin::bench {

class DurableWrite {
 public:
  // SQLite: `alias` names the scratch file, which must not exist yet; PostgreSQL: a
  // database without the scratch table.
  explicit DurableWrite(const DatabaseAlias& alias);
  ~DurableWrite();
  DurableWrite(const DurableWrite&) = delete;
  DurableWrite& operator=(const DurableWrite&) = delete;

  // Opens the connection and makes the scratch table; false, with `error` set, when it cannot.
  bool open(QString* error);
  // One transaction: its time in microseconds, or -1 (with error() set) when it failed.
  double once();
  const QString& error() const { return error_; }
  // The settings that make it durable, as the open connection reports them: SQLite's
  // journal mode and synchronous level, PostgreSQL's fsync and synchronous_commit.
  QString durability();

 private:
  bool exec(const QString& sql);
  QString value(const QString& sql);

  DatabaseAlias alias_;
  Connection connection_;
  bool sqlite_;
  bool opened_ = false;
  std::optional<QSqlQuery> insert_;  // prepared once, as the server keeps its statements
  qint64 next_ = 0;
  QString error_;
};

}  // namespace taurelin::bench
