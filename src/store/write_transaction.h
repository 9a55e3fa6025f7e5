#pragma once

// A write transaction on a connection that holds the database's write lock from its
// start (SQLite: BEGIN IMMEDIATE, so a check made inside it cannot be overtaken by another
// writer before the write; PostgreSQL: a lock per facility and rental type that a
// reservation takes with lockReservation). It rolls back when it ends without commit. While
// one is open on a connection, code that would start its own there joins it instead.

namespace taurelin {

class Connection;

class WriteTransaction {
 public:
  // Throws DatabaseError when the transaction cannot begin.
  explicit WriteTransaction(Connection& connection);
  ~WriteTransaction();
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;

  // Throws DatabaseError when the commit fails; the transaction is then rolled back.
  void commit();

  // Holds back every other reservation of this facility and rental type, on any
  // connection, until this transaction ends. Throws DatabaseError when the lock fails.
  void lockReservation(int facility, int rentalType);

 private:
  Connection& connection_;
  bool open_ = false;
};

}  // namespace taurelin
