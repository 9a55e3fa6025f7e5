#pragma once

// The PostgreSQL backend: a server shared by many programs. A reservation takes an advisory
// lock per facility and rental type; rows arrive whole before a statement ends.

#include "store/backend.h"
#include "store/postgres/postgres_driver.h"

namespace taurelin {

class PostgresBackend final : public Backend {
 public:
  static const PostgresBackend& Instance();

  bool configure(QSqlDatabase& database, const DatabaseAlias& alias, bool createMissingFile,
                 QString* error) const override;
  bool prepareOpened(Connection&, QString*) const override { return true; }
  bool sessionEnded(const QSqlDatabase& database) const override;
  bool lostBy(const QSqlDatabase& database, const QSqlError& error) const override;

  void beginWrite(Connection& connection) const override;
  void commitWrite(Connection& connection) const override;
  void rollbackWrite(Connection& connection) const override;
  void lockReservation(Connection& connection, int facility, int rentalType) const override;
  bool tryLockChannel(Connection& connection, const QString& channel) const override;
  void unlockChannel(Connection& connection, const QString& channel) const override;

  QString orderKey(const QString& column) const override;
  QString textOrderKey(const QString& column, const QString& expression) const override;
  // The driver holds the connection until the last row: a statement run on the same
  // connection while the rows are read would discard them.
  bool readsRowsAsTheyArrive() const override { return false; }
  // A transaction that wrote (and so has an id) and ended since changes the snapshot: it
  // left the snapshot's list of running ones, or it raised the highest completed id that
  // bounds the snapshot.
  const char* changeMarkQuery() const override {
    return "SELECT pg_current_snapshot()::text AS MARK";
  }
  bool readWebPriceSources(Connection& connection, const QList<int>& types, const QDate& arrival,
                           const QDate& until,
                           QList<QList<WebPriceSource>>* sources) const override;
  const char* layoutVersionQuery() const override;
  const char* indexedOccupiedLines(const QDate& from, const QDate& to, int facility,
                                   RowParams* params) const override;
  const char* countedDays(bool all) const override;
  const char* indexedAllotments(const QDate& from, const QDate& to, int facility,
                                RowParams* params) const override;
  const char* countedOccupancy(bool all, bool usedKept, const QDate& from, const QDate& to,
                               RowParams* params) const override;
  QList<bool> textDateColumns(const QSqlQuery& query) const override;
  bool planOutdated(const QSqlDatabase& database, const QSqlError& error) const override;

  QString catalogueObjectsQuery() const override;
  QList<std::pair<QString, QString>> upgradeObjects(
      const QStringList& layoutTables) const override;
  QList<std::pair<QString, QString>> countObjects() const override;
  QList<std::pair<QString, QString>> usedAllotmentObjects() const override;
};

}  // namespace taurelin
