#pragma once

// The SQLite backend: an embedded database in one file. Writes take the whole database's
// lock at their start (an immediate transaction), so that lock is also the reservation
// lock; hot reads go to the driver's handle.

#include "store/backend.h"
#include "store/sqlite/sqlite_driver.h"

namespace taurelin {

class SqliteBackend final : public Backend {
 public:
  static const SqliteBackend& Instance();

  bool configure(QSqlDatabase& database, const DatabaseAlias& alias, bool createMissingFile,
                 QString* error) const override;
  bool prepareOpened(Connection& connection, QString* error) const override;
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
  bool readsRowsAsTheyArrive() const override { return true; }
  // The file's data version moves with every other connection's commit, the connection's
  // own count of changed rows with its own writes.
  const char* changeMarkQuery() const override {
    return "SELECT (SELECT data_version FROM pragma_data_version) || ':' || total_changes() "
           "AS MARK";
  }
  bool readWebPriceSources(Connection& connection, const QList<int>& types, const QDate& arrival,
                           const QDate& until,
                           QList<QList<WebPriceSource>>* sources) const override;
  const char* layoutVersionQuery() const override;
  const char* indexedOccupiedLines(const QDate& from, const QDate& to, int facility,
                                   RowParams* params) const override;
  const char* countedDays(bool all) const override;
  void readRows(Connection& connection, const char* sql, const RowParams& params,
                const std::function<void(RowView&)>& row) const override;
  bool beginReads(Connection& connection) const override;
  void endReads(Connection& connection) const override;
  const char* indexedAllotments(const QDate& from, const QDate& to, int facility,
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
