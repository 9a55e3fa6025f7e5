#pragma once

// The reads of one question from one state of the database, where the backend makes that
// cheaper than a state for each read (SQLite: one read transaction, which takes the log's
// read lock once for all of them instead of once a statement). Opens none while a
// transaction is open on the connection; ends what it opened when it goes out of scope, so
// the next question sees every write made meanwhile, by this server or another program.
// Nothing may write on the connection while it is open.

namespace taurelin {

class Connection;

class ReadSnapshot {
 public:
  explicit ReadSnapshot(Connection& connection);
  ~ReadSnapshot();
  ReadSnapshot(const ReadSnapshot&) = delete;
  ReadSnapshot& operator=(const ReadSnapshot&) = delete;

 private:
  Connection& connection_;
  bool open_ = false;
};

}  // namespace taurelin
