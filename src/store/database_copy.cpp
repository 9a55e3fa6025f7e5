#include "store/database_copy.h"

#include "store/contract.h"
#include "store/schema.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <algorithm>
#include <optional>

namespace taurelin {
namespace {

bool Fail(QString* error, const QString& text) {
  if (error != nullptr) *error = text;
  return false;
}

// Each number series with the column of the rows that carry its numbers.
struct Series {
  const char* name;
  const char* table;
  const char* column;
};

constexpr Series kSeries[] = {
    {"REFNR", "BOOKING", "REFNR"},
    {"LINJENR", "LEIE", "LINJENR"},
    {"BESTNR", "BESTILL", "BESTNR"},
};

bool CopyTable(QSqlDatabase& from, QSqlDatabase& to, const QString& table, qint64* rows,
               QString* error) {
  QSqlQuery read(from);
  read.setForwardOnly(true);
  if (!read.exec(QStringLiteral("SELECT * FROM ") + table)) {
    return Fail(error, QStringLiteral("cannot read table %1: %2")
                           .arg(table, read.lastError().text()));
  }
  const QSqlRecord record = read.record();
  QStringList columns;
  for (int i = 0; i < record.count(); ++i) columns << record.fieldName(i);
  QSqlQuery write(to);
  const QString insert = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                             .arg(table, columns.join(QStringLiteral(", ")),
                                  QStringList(columns.size(), QStringLiteral("?"))
                                      .join(QStringLiteral(", ")));
  if (!write.prepare(insert)) {
    return Fail(error, QStringLiteral("cannot write table %1: %2")
                           .arg(table, write.lastError().text()));
  }
  *rows = 0;
  while (read.next()) {
    for (int i = 0; i < columns.size(); ++i) write.bindValue(i, read.value(i));
    if (!write.exec()) {
      return Fail(error, QStringLiteral("cannot write row %1 of table %2: %3")
                             .arg(*rows + 1)
                             .arg(table, write.lastError().text()));
    }
    ++*rows;
  }
  if (read.lastError().isValid()) {
    return Fail(error, QStringLiteral("cannot read table %1: %2")
                           .arg(table, read.lastError().text()));
  }
  return true;
}

std::optional<qint64> Number(QSqlDatabase& database, const QString& sql, QString* error) {
  QSqlQuery query(database);
  if (!query.exec(sql) || !query.next()) {
    Fail(error, QStringLiteral("%1: %2").arg(sql, query.lastError().text()));
    return std::nullopt;
  }
  return query.value(0).toLongLong();
}

// Sets each series of `to` past the numbers `from` handed out and the numbers copied. TELLER
// is a table on SQLite and a view whose update moves the sequences on PostgreSQL; the same
// update serves both.
bool ContinueSeries(QSqlDatabase& from, QSqlDatabase& to, QString* error) {
  QSqlQuery last(from);
  if (!last.exec(QStringLiteral("SELECT NAVN, VERDI FROM TELLER"))) {
    return Fail(error, QStringLiteral("cannot read the number series: %1")
                           .arg(last.lastError().text()));
  }
  QHash<QString, qint64> handedOut;
  while (last.next()) handedOut.insert(last.value(0).toString(), last.value(1).toLongLong());
  for (const Series& series : kSeries) {
    const std::optional<qint64> highest =
        Number(to,
               QStringLiteral("SELECT COALESCE(MAX(%1), 0) FROM %2")
                   .arg(QLatin1String(series.column), QLatin1String(series.table)),
               error);
    if (!highest.has_value()) return false;
    const QString name = QLatin1String(series.name);
    QSqlQuery update(to);
    update.prepare(QStringLiteral("UPDATE TELLER SET VERDI = ? WHERE NAVN = ?"));
    update.addBindValue(std::max(*highest, handedOut.value(name)));
    update.addBindValue(name);
    if (!update.exec()) {
      return Fail(error, QStringLiteral("cannot set the number series %1: %2")
                             .arg(name, update.lastError().text()));
    }
  }
  return true;
}

bool CopyInTransactions(QSqlDatabase& from, QSqlDatabase& to, QList<CopiedTable>* copied,
                        QString* error) {
  const QStringList scripts = SchemaScripts(to, false, error);
  if (scripts.isEmpty()) return false;
  for (const QString& script : scripts) {
    if (!ExecuteScript(to, script, error)) {
      return Fail(error, QStringLiteral("cannot install the schema: %1").arg(*error));
    }
  }
  copied->clear();
  for (const QString& table : ContractTables()) {
    CopiedTable done{table, 0};
    if (!CopyTable(from, to, table, &done.rows, error)) return false;
    copied->append(done);
  }
  return ContinueSeries(from, to, error);
}

}  // namespace

bool CopyDatabase(QSqlDatabase& from, QSqlDatabase& to, QList<CopiedTable>* copied,
                  QString* error) {
  const std::optional<bool> occupied = HasTables(to, error);
  if (!occupied.has_value()) return false;
  if (*occupied) {
    return Fail(error, QStringLiteral("the target database already has tables; nothing was "
                                      "changed"));
  }
  if (!from.transaction()) {
    return Fail(error, QStringLiteral("cannot start reading the source: %1")
                           .arg(from.lastError().text()));
  }
  // PostgreSQL gives each statement its own snapshot unless asked for one per transaction.
  if (from.driverName() == u"QPSQL") {
    QSqlQuery(from).exec(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ"));
  }
  if (!to.transaction()) {
    from.rollback();
    return Fail(error, QStringLiteral("cannot start a transaction on the target: %1")
                           .arg(to.lastError().text()));
  }
  bool done = CopyInTransactions(from, to, copied, error);
  if (done && !to.commit()) {
    done = Fail(error, QStringLiteral("cannot commit: %1").arg(to.lastError().text()));
  }
  if (!done) {
    to.rollback();
    copied->clear();
  }
  from.rollback();  // it only read
  return done;
}

}  // namespace taurelin
