#pragma once

// One connection to a booking database: a Qt SQL connection and everything the store keeps of
// it (its backend, whether its session was found lost, an opening held off after a timeout,
// the watch it reports to, whether a write transaction is open, its statement cache, and the
// database file it opened), in one object owned by whoever opens it: the server's database
// session, a tool, a test. It is closed when its owner lets it go; nothing finds it by name.
//
// Promises: the backend is chosen once, when the connection opens, from the alias's driver. A
// statement finds the connection ready (ready()): opened again when it was closed, renewed
// when its session is gone (the server ended it, or a statement found it lost), with the old
// session's kept statements dropped first. A lost connection is not renewed while a write
// transaction is open on it (the transaction went with the session, and the rest of it must
// fail too) or while a statement's rows on it are being read. An opening that ran into the
// connect timeout is not tried again for a while; statements fail at once meanwhile. The
// watch it reports to hears each outage and each recovery.
//
// Which connection does what: the server has one ("APIDatabase", owned by DatabaseSession,
// lent to its booking store). The handlers' own statements, the rental-type summary,
// the data module's named statements, reservations, cancellations, booker writes and the
// occupancy and web-price reads all run on it, one request at a time; a watch tells of its
// outages. One is enough: a request reads each statement to its end or closes it before it
// calls the booking store, PostgreSQL's rows arrive whole before the next statement runs, and
// nothing in a request reads what its own transaction holds uncommitted as if it were
// another's. Tools and tests open connections of their own.
//
// One thread, like Qt's connections.

#include "store/alias_list.h"
#include "store/database_error.h"
#include "store/statement_cache.h"

#include <QDeadlineTimer>
#include <QSqlDatabase>
#include <QString>

#include <optional>
#include <utility>

class QSqlError;

namespace taurelin {

class Backend;
class ConnectionWatch;

// The user and password a connection uses when the alias names none.
inline constexpr const char* kDefaultUser = "SYSDBA";
inline constexpr const char* kDefaultPassword = "quillbank";

// How long opening a PostgreSQL connection waits for the server (libpq's connect_timeout):
// a server that is away must not hold up the requests that try to reach it for long.
inline constexpr int kConnectTimeoutSeconds = 3;
// An opening that waited that long is not tried again for this while; statements on the
// connection fail at once meanwhile. A refused opening costs nothing and is tried each time.
inline constexpr int kRetryAfterTimeoutMs = 10000;

class Connection {
 public:
  // A connection that Qt knows by `name`, unique in the process; closed until open().
  explicit Connection(QString name);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Closes the connection and opens it on `alias`. On SQLite it also switches on foreign
  // keys, the WAL journal and a busy timeout, and registers the database procedures. Returns
  // false and sets `error` when it cannot open. A connection whose driver exists stays
  // registered even when it cannot open, so that a statement on it tries again. An SQLite
  // file that does not exist is created only when `createMissingFile` is set: a server must
  // not serve an empty new database because an alias names a wrong path.
  bool open(const DatabaseAlias& alias, QString* error, bool createMissingFile = true);
  // Drops the kept statements (a kept statement would keep an SQLite handle from closing),
  // then closes and removes the Qt connection. Also done by the destructor.
  void close();

  // Makes the connection ready for a statement (see Promises). Returns false and sets
  // `error` when it cannot be used; the database then counts as unreachable.
  bool ensureOpen(QString* error);
  // The Qt connection, made ready with ensureOpen. Throws DatabaseError (a connection
  // failure) when it was never opened or cannot be used.
  QSqlDatabase& ready();
  // The Qt connection as it is, open or not; invalid before the first open().
  QSqlDatabase& database() { return database_; }
  const QString& name() const { return name_; }
  // The backend chosen when it opened; SQLite's before that.
  const Backend& backend() const;

  // Whether `error`, which a statement on this connection just met, means that the database
  // could not be reached: PostgreSQL lost or ended the session; SQLite could not read or
  // write its file. Such a connection is renewed before its next statement, and the database
  // counts as unreachable.
  bool lostBy(const QSqlError& error);
  // Marks the connection as unable to reach its database, for `why` (see lostBy).
  void markLost(const QString& why);
  // The DatabaseError for a statement's `error`: a connection failure when the database
  // could not be reached (lostBy), a statement failure otherwise.
  DatabaseError failure(const QSqlError& error);

  // The watch that hears of this connection's outages; null for none. The watch must
  // outlive the connection or be taken off first.
  void setWatch(ConnectionWatch* watch) { watch_ = watch; }
  // Whether a write transaction is open (WriteTransaction).
  bool writing() const { return writing_; }
  // The statements kept prepared for the connection.
  StatementCache& statements() { return statements_; }
  // Which opening of the connection this is: each one it makes counts on.
  quint64 opening() const { return opening_; }

  // The identity (device and inode) of the database file it opened, where the database is
  // one file; empty for none. The backend sets it when the connection has opened.
  const QString& fileIdentity() const { return fileIdentity_; }
  void setFileIdentity(QString identity) { fileIdentity_ = std::move(identity); }

 private:
  friend class WriteTransaction;

  bool sessionGone() const;
  bool unreachable(const QString& text, QString* error);
  void answered();

  QString name_;
  QSqlDatabase database_;
  const Backend* backend_ = nullptr;
  // A statement found the session lost; cleared when the connection opens again.
  bool lost_ = false;
  // An opening that ran into the connect timeout: when to try again, and what it said.
  std::optional<std::pair<QDeadlineTimer, QString>> heldOff_;
  ConnectionWatch* watch_ = nullptr;
  bool writing_ = false;
  quint64 opening_ = 0;
  StatementCache statements_;
  QString fileIdentity_;
};

}  // namespace taurelin
