#pragma once

// A transaction on a named connection for the length of a scope. It begins when it is
// constructed and is rolled back when it goes out of scope without commit(): writes that
// belong together either all stay or none does, whichever way the scope is left.
//
// Beginning and committing throw DatabaseError when the database refuses; a failed commit
// is still rolled back by the destructor.

#include <QString>

namespace taurelin {

class Transaction {
 public:
  // Begins a transaction on the Qt SQL connection of that name, opening it when it is closed.
  explicit Transaction(const QString& connectionName);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void commit();

 private:
  QString connectionName_;
  bool active_ = false;
};

}  // namespace taurelin
