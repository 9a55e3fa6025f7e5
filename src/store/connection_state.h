#pragma once

// What the store keeps of one named connection, in one object: whether its session was found
// lost, which opening it is, when an opening that timed out may be tried again, the outage
// watch it belongs to, whether a write transaction is open on it, the Qt queries kept for it
// and how many of them are out, and which SQLite file it opened.
//
// Which connection does what: the server's session connection ("APIDatabase",
// DatabaseSession) runs the handlers' own statements, the rental-type summary, and a booking's
// cancellations and booker writes; the data module's connection ("Booking", TdmBook) runs
// reservations, the occupancy and web-price reads, and its named statements. Both lead to
// one database, and one watch tells of their outages. Tools and tests open connections of
// their own.
//
// A state is made at the first use of its connection and is reset when the connection is
// closed (CloseConnection) or opened anew (OpenConnection), which chooses its backend. One thread, like the connections.

#include <QDeadlineTimer>
#include <QSqlQuery>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace taurelin {

class Backend;
class ConnectionWatch;

struct ConnectionState {
  // The state of the connection `name`, made when there is none yet.
  static ConnectionState& Of(const QString& name);
  // The state of the connection `name`, or null when it has none.
  static ConnectionState* Find(const QString& name);
  // Forgets what the connection `name` learnt of its session, for a connection closed or
  // opened anew; its watch, its open transaction and its queries still out stay, as the
  // objects that hold them outlive the session.
  static void Reset(const QString& name);

  // The backend chosen when the connection was opened (OpenConnection); null for a
  // connection opened elsewhere, whose backend is then told by its driver.
  const Backend* backend = nullptr;
  // A statement found the session lost; cleared when the connection opens again.
  bool lost = false;
  // A number no other opening in this process has, so that a closed and reopened
  // connection never takes queries prepared on another session.
  quint64 opening = 0;
  // An opening that ran into the connect timeout: when to try again, and what it said.
  std::optional<std::pair<QDeadlineTimer, QString>> heldOff;
  // The watch that hears of this connection's outages; null when none does.
  ConnectionWatch* watch = nullptr;
  // Whether a write transaction is open.
  bool writing = false;
  // Kept queries by their text, and the opening they were prepared on.
  std::map<QString, std::vector<std::unique_ptr<QSqlQuery>>> keptQueries;
  quint64 keptOpening = 0;
  // How many queries were given out and not given back yet.
  int queriesOut = 0;
  // The identity (device and inode) of the SQLite file it opened; empty for none.
  QString file;
};

}  // namespace taurelin
