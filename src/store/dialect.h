#pragma once

// What a statement says differently on SQLite and on PostgreSQL, in one place, so that the
// handlers and the data module write each statement once and both backends give the same
// rows in the same order.

#include <QString>

namespace taurelin {

class Dialect {
 public:
  // The dialect of a Qt SQL connection's driver; an unknown or missing connection gets
  // SQLite's.
  static Dialect Of(const QString& connectionName);
  explicit Dialect(const QString& driverName);

  bool isPostgres() const { return postgres_; }

  // An ORDER BY key that sorts as SQLite does: NULL first.
  QString orderKey(const QString& column) const;
  // An ORDER BY key on a text column that sorts as SQLite does: NULL first, then by code
  // point, whatever the database's collation. Where `column` names a result column that
  // stands for an expression, give the `expression` too: PostgreSQL applies a collation to
  // an expression only, never to a result column's name.
  QString textOrderKey(const QString& column, const QString& expression = QString()) const;

  // Whether a query may read its rows as they arrive. Not on PostgreSQL, whose driver then
  // holds the connection until the last row: a statement run on the same connection while
  // the rows are read would discard them.
  bool readsRowsAsTheyArrive() const { return !postgres_; }

  // A statement that serializes reservations of one facility and rental type until the
  // transaction ends, with :ANLEGG and :UTYPE to bind; empty where the write transaction
  // already holds the whole database's write lock.
  QString reservationLock() const;

 private:
  bool postgres_ = false;
};

}  // namespace taurelin
