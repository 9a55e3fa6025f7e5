#pragma once

// The data module: the named statements that price lookup, booking creation and the
// occupancy calculation run on the server's connection to the booking database. It lives
// behind the booking store (BookingStore), which alone uses it.
//
// Each statement is handed out fresh, with its lines in place; the caller binds its
// parameters and runs it. All of them run on the module's connection, so a
// booking's writes can share one transaction there.

#include "store/booking_creation.h"
#include "store/connection.h"
#include "store/occupancy.h"
#include "store/statement.h"
#include "store/store_reports.h"
#include "store/unchanged_answers.h"
#include "store/web_price.h"

#include <QHash>
#include <QString>

#include <optional>

namespace taurelin {

// The web price matrix of each rental type of `types`, in that order, for the nights from
// `arrival` up to `until` on `connection`, as
// BEREGN_WEB_PRISMATRISE gives it, ordered by description, board method, start day and
// number of days: computed in memory from the price rows, read once. Throws DatabaseError.
QList<QList<WebPrice>> ReadWebPrices(Connection& connection, const QList<int>& types,
                                     const QDate& arrival, const QDate& until);

class TdmBook {
 public:
  // On `connection`, which must outlive the module.
  TdmBook(Connection& connection, StoreReports* reports = nullptr);
  ~TdmBook();
  TdmBook(const TdmBook&) = delete;
  TdmBook& operator=(const TdmBook&) = delete;

  // Readies the module on its connection, which its owner opened on the alias: opens it
  // again when that failed. Throws DatabaseError when it cannot be opened; its statements
  // then try to open it again when they run.
  void openMain();
  // Throws DatabaseError: the alias `name` is not defined in the alias file.
  [[noreturn]] void openMainWithoutAlias(const QString& name, const QString& aliasFile);
  Connection& connection() { return connection_; }

  // The web price matrix of each rental type of `types`, in that order, for the nights from
  // `arrival` up to `until`, as BEREGN_WEB_PRISMATRISE gives it (prices belong to the rental
  // type alone, whatever the facility), computed here from the price rows read once.
  // Throws DatabaseError when the matrix of one of them fails.
  QList<QList<WebPrice>> WebPricesOfTypes(const QList<int>& types, const QDate& arrival,
                                          const QDate& until);
  // A new booking reference number (column REFNR).
  Statement stpRefnr();

  // The occupancy and capacity operations, on this module's connection.
  Occupancy& occupancy() { return occupancy_; }

  // A question (availability, the matrix) begins: reads the database's change mark, so that
  // the answer to the same question before is given again while nothing has changed.
  // Throws DatabaseError. A reservation asks no question: it counts afresh in its
  // transaction.
  UnchangedAnswers& beginQuestion();
  void endQuestion() { answers_.end(); }
  // A request holds its questions together under one look at the change mark.
  void holdQuestions() { answers_.hold(); }
  void releaseQuestions() { answers_.release(); }
  bool questionsHeld() const { return answers_.held(); }

  // Writes the header and the two lines of a reservation in one transaction (joining one
  // that the caller holds on this module's connection). A failure throws DatabaseError, and
  // nothing of this call stays, unless the caller's transaction commits it.
  void SaveBooking(TBookingData& booking, TUtleieData& line);

 private:
  Statement statement() { return Statement(connection_); }
  // Every facility with its company.
  Statement qryAlleAnlegg();
  // One booking header: bind REFNR.
  Statement qryBook();
  // A new rental line number (column LINJENR).
  Statement stpLeie();
  // The columns of the booking header, as the table holds them for booking creation.
  static const QStringList& BookColumns();
  // The company of a facility, -1 when the facility is unknown. The facility list is read at
  // the first use and kept.
  double GetForetak(double anlegg);

  void writeHeader(TBookingData& booking);
  // Writes the rental-type line and its object line; throws DatabaseError on failure.
  void SaveLeie(const TBookingData& booking, TUtleieData& line);
  int newLineNumber();

  Connection& connection_;
  UnchangedAnswers answers_;
  // The opening on which the database refused the change mark's query.
  std::optional<quint64> markRefusedOn_;
  Occupancy occupancy_;
  std::optional<QHash<double, double>> companies_;  // facility -> company
};

}  // namespace taurelin
