#pragma once

// What the operator hears of a database outage: once when the database is first found
// unreachable, and once when it answers again, however many statements on however many
// connections meet the outage in between.
//
// The store reports each connection that could not reach its database (Lost) and each one
// that opened (Answered); a watch stands for one database and the connections that lead to
// it. Reports on connections that no watch names are ignored. One thread, like connections.

#include "store/store_reports.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace taurelin {

class ConnectionWatch {
 public:
  using Notice = std::function<void(const StoreReport& report)>;

  // Watches `connections` to the database that error messages call `databaseName`, starting
  // as reachable or not, and tells `notice` of each change.
  ConnectionWatch(QString databaseName, QStringList connections, bool reachable, Notice notice);
  ~ConnectionWatch();
  ConnectionWatch(const ConnectionWatch&) = delete;
  ConnectionWatch& operator=(const ConnectionWatch&) = delete;

  bool reachable() const { return reachable_; }

  // A statement or an opening on the connection found the database unreachable.
  static void Lost(const QString& connection, const QString& error);
  // The connection opened: the database answers.
  static void Answered(const QString& connection);

 private:
  QString databaseName_;
  QStringList connections_;
  bool reachable_;
  Notice notice_;
};

}  // namespace taurelin
