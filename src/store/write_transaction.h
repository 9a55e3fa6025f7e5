#pragma once

// A write transaction on a named connection that holds the database's write lock from its
// start (SQLite: BEGIN IMMEDIATE, so a check made inside it cannot be overtaken by another
// writer before the write; PostgreSQL: a lock per facility and rental type that a
// reservation takes with lockReservation). It rolls back when it ends without commit. While
// one is open on a connection, code that would start its own there joins it instead.

#include <QString>

namespace taurelin {

class WriteTransaction {
 public:
  // Throws DatabaseError when the transaction cannot begin.
  explicit WriteTransaction(const QString& connectionName);
  ~WriteTransaction();
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;

  // Throws DatabaseError when the commit fails; the transaction is then rolled back.
  void commit();

  // Holds back every other reservation of this facility and rental type, on any
  // connection, until this transaction ends. Throws DatabaseError when the lock fails.
  void lockReservation(int facility, int rentalType);

  // Whether a write transaction is open on the connection.
  static bool IsOpen(const QString& connectionName);

 private:
  QString connectionName_;
  bool open_ = false;
};

}  // namespace taurelin
