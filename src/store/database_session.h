#pragma once

// The server's database session: its one connection to the booking database, on which the
// handlers run their own statements and the booking store its own, the rental-type summary
// read once at start, and the booking store.
//
// Connecting reports what failed, in order, and goes on as far as it can: a connection that
// cannot open, or a summary that cannot be read, is shown and passed over; when the booking
// store then still cannot open the connection, that is thrown to the caller. A closed
// or lost connection is opened again when a statement on it runs, so every statement
// recovers once the database is back; a summary that could not be read because the database
// was away is read then too, and is otherwise read once. While connected, an outage is told
// to the operator (a notice, and the log when one is given) once when the database is first
// found unreachable and once when it answers again. The store reports conditions; the server
// words them.

#include "store/alias_list.h"
#include "store/connection.h"
#include "store/connection_watch.h"
#include "store/booking_store.h"
#include "store/store_reports.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <memory>

namespace taurelin {

// One row of the rental-type summary: a facility and a rental type with rental objects.
struct RentalTypeSummaryRow {
  QVariant ANLEGG;  // the facility; null for objects without a wing
  int UTYPE = 0;
  int AntEnh = 0;  // the number of rental objects
  QString BESKR;
  QString ISTAT;
  QString KODE;
};

class DatabaseSession {
 public:
  // The Qt connection name of the session's connection.
  static constexpr const char* kConnectionName = "APIDatabase";

  // `reports` hears what the operator is to be told. A second session in one process (as a
  // second server's, in tests) takes a connection name of its own.
  DatabaseSession(AliasList aliases, StoreReports& reports,
                  const QString& connectionName = QLatin1String(kConnectionName));
  ~DatabaseSession();
  DatabaseSession(const DatabaseSession&) = delete;
  DatabaseSession& operator=(const DatabaseSession&) = delete;

  // Sets up the session and the booking store on the alias; returns whether the connection
  // opened at the first try. Throws DatabaseError when the store cannot open it.
  bool ConnectAPIDatabase(const QString& aliasName);
  // Releases the booking store and the session connection.
  void ReleaseAPIDatabase();

  // The database's name as handlers quote it in their error messages: the alias.
  const QString& APIDatabaseName() const { return databaseName_; }
  // The session's connection, which handlers' and the booking store's statements run on.
  Connection& connection() { return session_; }
  // The rental-type summary; empty when it could not be read (see utleietyperOpen).
  const QList<RentalTypeSummaryRow>& qryUtleietyper() const { return utleietyper_; }
  bool utleietyperOpen() const { return utleietyperOpen_; }
  // Makes the summary ready for a handler: one that could not be read because the database
  // was away is read now. Throws DatabaseError when there is none (the database is still
  // away, or reading it failed for another reason, which lasts until the next start).
  void EnsureUtleietyper();
  // The booking store on the session's connection; before connecting (and after releasing)
  // what needs the database fails as on a lost connection.
  BookingStore& store() { return store_; }

 private:
  void readUtleietyper();

  AliasList aliases_;
  StoreReports& reports_;
  QString databaseName_;
  QList<RentalTypeSummaryRow> utleietyper_;
  bool utleietyperOpen_ = false;
  bool utleietyperMissed_ = false;  // not read because the database was away
  Connection session_;
  std::unique_ptr<ConnectionWatch> watch_;
  BookingStore store_;
};

}  // namespace taurelin
