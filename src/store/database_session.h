#pragma once

// The server's database session: the session connection on which handlers run their own
// statements, the rental-type summary read once at start, and the data module with its own
// connection.
//
// Connecting tells the operator what failed, in order, and goes on as far as it can: a
// session connection that cannot open, or a summary that cannot be read, is shown and
// passed over; a data module connection that cannot open is thrown to the caller. A closed
// connection is opened again when a statement on it runs, so the handlers' own statements
// recover once the database is back; the summary is not read again until the next start.

#include "store/alias_list.h"
#include "store/data_module.h"
#include "store/operator_messages.h"

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
  // The Qt connection name of the session connection.
  static constexpr const char* kConnectionName = "APIDatabase";

  DatabaseSession(AliasList aliases, OperatorMessages& messages);
  ~DatabaseSession();
  DatabaseSession(const DatabaseSession&) = delete;
  DatabaseSession& operator=(const DatabaseSession&) = delete;

  // Sets up the session and the data module on the alias; returns whether the session
  // connection is open. Throws DatabaseError when the data module's connection cannot open.
  bool ConnectAPIDatabase(const QString& aliasName);
  // Releases the data module and the session connection.
  void ReleaseAPIDatabase();

  // The database's name as handlers quote it in their error messages: the alias.
  const QString& APIDatabaseName() const { return databaseName_; }
  // The Qt connection that handlers' statements run on.
  QString connectionName() const { return QLatin1String(kConnectionName); }
  // The rental-type summary; empty when it could not be read (see utleietyperOpen).
  const QList<RentalTypeSummaryRow>& qryUtleietyper() const { return utleietyper_; }
  bool utleietyperOpen() const { return utleietyperOpen_; }
  // The data module, or null before connecting.
  TdmBook* dmBook() const { return dmBook_.get(); }

 private:
  void readUtleietyper();

  AliasList aliases_;
  OperatorMessages& messages_;
  QString databaseName_;
  QList<RentalTypeSummaryRow> utleietyper_;
  bool utleietyperOpen_ = false;
  std::unique_ptr<TdmBook> dmBook_;
};

}  // namespace taurelin
