#pragma once

// A Backend is what one kind of database (SQLite, PostgreSQL) does differently from the
// other where the server needs it on its requests, behind one interface; everything else in
// the store and above it is written once. What only the tools need of a kind of database
// (scripts, the schema's folder, the catalogue's tables and columns, checks of amounts,
// snapshots for a copy) is the admin library's AdminBackend (admin/admin_backend.h), which
// the server does not link.
//
// The backend of a connection is chosen once, where the connection opens (Connection::open),
// from its alias's driver (backend.cpp is the store's one chooser: the one file of the store
// outside the backends' folders that names them or reads a driver's name); a Qt connection
// that a tool or a test opened itself is known by its driver.
//
// Its contract:
// - A write transaction, once begun, holds what its writes need from its start; commit or
//   roll back ends it. A failure throws DatabaseError (a lost connection as such).
// - The reservation lock keeps every other reservation of one facility and rental type, on
//   any connection or server, out until the transaction ends (SQLite: the immediate
//   transaction already holds the whole database; PostgreSQL: an advisory lock).
// - The channel lock keeps every other import of one channel's calendar, on any connection or
//   server, out while the session that took it holds it (SQLite: none is needed, each event's
//   write transaction holds the whole database; PostgreSQL: a session advisory lock).
// - Order keys sort as SQLite does on both: NULL first, text by code point.
// - Occupancy reads may go to the driver's own handle in statements kept per connection
//   where that is faster (SQLite): they are kept in the connection's statement cache beside
//   its Qt queries. Elsewhere they run through Qt.
// - The layout check's catalogue query answers from the database's own catalogue, never
//   from what a user may see of it.
// - A connection counts as lost when its database could not be reached: the store renews it
//   before its next statement.
// - Rows may be read as they arrive only where a statement run on the same connection
//   meanwhile does not discard them.
// - The change mark moves with every change committed to the database by any connection of
//   any program, the asking one's included; where a backend cannot tell, it has none.
// Backends hold no state: each is one object, shared by every connection of its kind; what
// they keep of a connection lives in its Connection.

#include "store/row_params.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>

class QDate;
class QSqlDatabase;
class QSqlError;
class QSqlQuery;

namespace taurelin {

class Connection;
class RowView;
struct DatabaseAlias;
struct WebPriceSource;

class Backend {
 public:
  virtual ~Backend() = default;

  // The backend that serves the driver `driver`; null when none does.
  static const Backend* ForDriver(const QString& driver);
  // The backend of a Qt connection, chosen from its driver; null when none serves it.
  static const Backend* Find(const QSqlDatabase& database);
  // The same, or SQLite's when no backend serves it. A Connection knows its own (backend()).
  static const Backend& Of(const QSqlDatabase& database);
  // The driver of an alias that names none: the embedded database.
  static QString DefaultDriver();
  // The backend of the default driver.
  static const Backend& Default();

  // Opening. configure sets `database` up for `alias` before it opens (false and `error`
  // when the alias cannot be served); prepareOpened readies a connection that has just
  // opened, keeping in `connection` what it needs of it (false and `error` when it cannot be
  // used).
  virtual bool configure(QSqlDatabase& database, const DatabaseAlias& alias,
                         bool createMissingFile, QString* error) const = 0;
  virtual bool prepareOpened(Connection& connection, QString* error) const = 0;
  // Whether an open connection's session has ended without a statement noticing yet.
  virtual bool sessionEnded(const QSqlDatabase& database) const = 0;
  // Whether `error`, which a statement just met, means the database could not be reached.
  virtual bool lostBy(const QSqlDatabase& database, const QSqlError& error) const = 0;

  // Write transactions and the reservation lock; each throws DatabaseError on failure.
  virtual void beginWrite(Connection& connection) const = 0;
  virtual void commitWrite(Connection& connection) const = 0;
  virtual void rollbackWrite(Connection& connection) const = 0;
  virtual void lockReservation(Connection& connection, int facility, int rentalType) const = 0;
  // The reads of one question in one transaction where that costs less than one each
  // (ReadSnapshot): whether one was begun (none while a transaction is open). endReads never
  // throws, and ends nothing when the transaction is gone already.
  virtual bool beginReads(Connection& connection) const;
  virtual void endReads(Connection& connection) const;
  // The channel lock of `channel`, taken without waiting: false when another session holds
  // it. Held across transactions until unlockChannel or the end of the session.
  virtual bool tryLockChannel(Connection& connection, const QString& channel) const = 0;
  virtual void unlockChannel(Connection& connection, const QString& channel) const = 0;

  // Order keys: an ORDER BY key that puts NULL first; and one on a text column that also
  // compares by code point, whatever the collation. Where `column` names a result column
  // that stands for an expression, give the `expression` too.
  virtual QString orderKey(const QString& column) const = 0;
  virtual QString textOrderKey(const QString& column,
                               const QString& expression = QString()) const = 0;
  // Whether a query may read its rows as they arrive.
  virtual bool readsRowsAsTheyArrive() const = 0;
  // Runs `sql` with `params` bound and hands each row to `row`: through Statement, unless the
  // backend has a faster road of its own (SQLite: the driver's own handle, in statements kept
  // per connection). Throws DatabaseError.
  virtual void readRows(Connection& connection, const char* sql, const RowParams& params,
                        const std::function<void(RowView&)>& row) const;
  // Reads the web prices of each type of `types` with their lines that touch the nights from
  // `arrival` up to `until` on the driver's own handle, in statements kept per connection.
  // False, reading nothing, where the backend reads them through Qt instead. Throws
  // DatabaseError.
  virtual bool readWebPriceSources(Connection& connection, const QList<int>& types,
                                   const QDate& arrival, const QDate& until,
                                   QList<QList<WebPriceSource>>* sources) const = 0;
  // A query of one row whose column MARK changes whenever a change has been committed to the
  // database since it last ran on the connection, by that connection or any other; null
  // where the backend cannot tell.
  virtual const char* changeMarkQuery() const = 0;
  // Occupancy statements that differ between backends (the rest are in occupancy_queries.h).
  // The layout version: one row (VERDI, SKJEMA), SKJEMA being a version of the schema where
  // a change of a view does not raise VERDI, else 0. And the rental lines of kIkkeLedig that
  // touch the days from `from` to `to`, of `facility` (-1: of all), read through the occupancy
  // index: the statement, with the parameters it needs besides the user's and :fra_dato,
  // :til_dato appended to `params`.
  virtual const char* layoutVersionQuery() const = 0;
  virtual const char* indexedOccupiedLines(const QDate& from, const QDate& to, int facility,
                                           RowParams* params) const = 0;
  // On a counted database (LEIE_DAG): the units occupied per facility, rental type and day
  // from :fra_dato to :til_dato, as rows ANLEGG, UTYPE, DATO (the Julian day number) and
  // ANTALL, of the facility bound as :anlegg, or (`all`) of every facility that "all
  // facilities" sums over (kAlleAnlegg).
  virtual const char* countedDays(bool all) const = 0;
  // On a counted database: the allotment lines of kAllotment that touch the days from `from`
  // to `to`, read through their index, of `facility` (-1: of every facility): the statement,
  // with the parameters it needs besides the user's and :fra_dato, :til_dato appended to
  // `params`.
  virtual const char* indexedAllotments(const QDate& from, const QDate& to, int facility,
                                        RowParams* params) const = 0;
  // On a counted database, where every statement costs a round trip to the database server:
  // what one stay's occupancy reads in one statement, each row marked by KIND (1: an
  // occupying line as occupancy_rows::Occupied reads it, the counted days as lines of one
  // day beside the lines the counts leave out (LEIE_AVVIK, of every facility); 2: an
  // allotment line; 3: a used allotment, read from those kept with their lines' values where
  // `usedKept`), with the parameters it needs besides the user's, :fra_dato, :til_dato and
  // (unless `all`) :anlegg appended to `params`. Null where the reads are made one by one:
  // where they cost no round trip (SQLite), or where one statement would read slower than
  // four.
  virtual const char* countedOccupancy(bool all, bool usedKept, const QDate& from,
                                       const QDate& to, RowParams* params) const;
  // Which result columns of a query that has just run hold dates that the driver gives as
  // text; empty where the driver gives dates as dates.
  virtual QList<bool> textDateColumns(const QSqlQuery& query) const = 0;

  // Whether a kept statement's `error` means its plan is outdated by a change of its table
  // while no transaction is open (it may then be prepared anew).
  virtual bool planOutdated(const QSqlDatabase& database, const QSqlError& error) const = 0;

  // The layout check (upgrade_check.h), which the server runs on every connection it opens:
  // a query of the (kind, name) rows of the database's tables, indexes and triggers; what
  // the upgrade script adds, as that query lists it, given the tables whose writes raise the
  // layout version; and the same for the occupancy counts and for the kept used allotments,
  // each with the triggers that keep them.
  virtual QString catalogueObjectsQuery() const = 0;
  virtual QList<std::pair<QString, QString>> upgradeObjects(
      const QStringList& layoutTables) const = 0;
  virtual QList<std::pair<QString, QString>> countObjects() const = 0;
  virtual QList<std::pair<QString, QString>> usedAllotmentObjects() const = 0;
};

}  // namespace taurelin
