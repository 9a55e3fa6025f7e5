#include "store/dialect.h"

#include <QSqlDatabase>

namespace taurelin {

Dialect Dialect::Of(const QString& connectionName) {
  return Dialect(QSqlDatabase::contains(connectionName)
                     ? QSqlDatabase::database(connectionName, false).driverName()
                     : QString());
}

Dialect::Dialect(const QString& driverName) : postgres_(driverName == u"QPSQL") {}

QString Dialect::orderKey(const QString& column) const {
  // SQLite already puts NULL first (and accepts NULLS FIRST only from 3.30 on).
  return postgres_ ? column + QStringLiteral(" NULLS FIRST") : column;
}

QString Dialect::textOrderKey(const QString& column, const QString& expression) const {
  // SQLite compares text by bytes (BINARY); in a UTF-8 database the "C" collation does the
  // same, where the database's own collation would follow a language's rules.
  if (!postgres_) return column;
  return (expression.isEmpty() ? column : expression) +
         QStringLiteral(" COLLATE \"C\" NULLS FIRST");
}

QString Dialect::reservationLock() const {
  // Two keys of 32 bits: the lock is held until commit or rollback, so a failed write
  // releases it too.
  return postgres_ ? QStringLiteral("SELECT pg_advisory_xact_lock(CAST(:ANLEGG AS INTEGER), "
                                    "CAST(:UTYPE AS INTEGER))")
                   : QString();
}

}  // namespace taurelin
