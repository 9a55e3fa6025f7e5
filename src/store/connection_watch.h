#pragma once

// What the operator hears of a database outage: once when the database is first found
// unreachable, and once when it answers again, however many statements on however many
// connections meet the outage in between.
//
// Each connection that leads to the database reports to its watch (Connection::setWatch)
// when it could not reach the database (lost) and when it opened (answered); a connection
// without a watch tells nobody. One thread, like connections.

#include "store/store_reports.h"

#include <QString>

#include <functional>

namespace taurelin {

class ConnectionWatch {
 public:
  using Notice = std::function<void(const StoreReport& report)>;

  // Watches the database that error messages call `databaseName`, starting as reachable or
  // not, and tells `notice` of each change.
  ConnectionWatch(QString databaseName, bool reachable, Notice notice);
  ConnectionWatch(const ConnectionWatch&) = delete;
  ConnectionWatch& operator=(const ConnectionWatch&) = delete;

  bool reachable() const { return reachable_; }

  // A statement or an opening on a connection found the database unreachable.
  void lost(const QString& error);
  // A connection opened: the database answers.
  void answered();

 private:
  QString databaseName_;
  bool reachable_;
  Notice notice_;
};

}  // namespace taurelin
