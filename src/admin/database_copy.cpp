#include "admin/database_copy.h"

#include "admin/admin_backend.h"
#include "admin/amounts.h"
#include "admin/contract.h"
#include "admin/schema.h"
#include "store/fail.h"
#include "store/upgrade_check.h"

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

// Rows go over in INSERTs of many rows each: one round trip to a database server per batch
// instead of per row. The batch stays under SQLite's and PostgreSQL's limits on bound values.
constexpr int kValuesPerInsert = 30000;
constexpr int kMaxRowsPerInsert = 500;

QString InsertStatement(const QString& table, const QStringList& columns, int rows) {
  const QString row =
      u'(' + QStringList(columns.size(), QStringLiteral("?")).join(QStringLiteral(", ")) + u')';
  return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
      .arg(table, columns.join(QStringLiteral(", ")),
           QStringList(rows, row).join(QStringLiteral(", ")));
}

constexpr qint64 kRowsPerProgress = 50000;

// A column of the source whose values go into a NUMERIC(p,s) column of the target.
struct DecimalGuard {
  int column;  // in the source's row
  DecimalColumn target;
};

// What the copy of a table checks before it writes a row: each value that goes into a
// NUMERIC(p,s) column of the target must be one that the column holds as it is, since
// PostgreSQL would round it and SQLite's check refuse it; and the key that names a row.
struct RowChecks {
  QList<DecimalGuard> guards;
  QStringList key;
  QList<int> keyColumns;  // in the source's row
};

std::optional<RowChecks> ReadRowChecks(QSqlDatabase& to, const QString& table,
                                       const QStringList& columns, QString* error) {
  QString why;
  const std::optional<DecimalTable> target = ReadDecimalTable(to, table, &why);
  if (!target) {
    Fail(error, QStringLiteral("cannot read the columns of table %1 on the target: %2")
                    .arg(table, why));
    return std::nullopt;
  }
  auto sourceColumn = [&](const QString& name) {
    for (int i = 0; i < columns.size(); ++i) {
      if (columns[i].compare(name, Qt::CaseInsensitive) == 0) return i;
    }
    return -1;
  };
  RowChecks checks;
  for (const DecimalColumn& decimal : target->decimals) {
    const int column = sourceColumn(decimal.name);
    if (column >= 0) checks.guards.append({column, decimal});
  }
  for (const QString& name : target->key) {
    const int column = sourceColumn(name);
    if (column < 0) continue;
    checks.key << name.toUpper();
    checks.keyColumns << column;
  }
  return checks;
}

bool CopyTable(QSqlDatabase& from, QSqlDatabase& to, const QString& table, qint64* rows,
               const CopyProgress& progress, QString* error) {
  QSqlQuery read(from);
  read.setForwardOnly(true);
  if (!read.exec(QStringLiteral("SELECT * FROM ") + table)) {
    return Fail(error, QStringLiteral("cannot read table %1: %2")
                           .arg(table, read.lastError().text()));
  }
  const QSqlRecord record = read.record();
  QStringList columns;
  for (int i = 0; i < record.count(); ++i) columns << record.fieldName(i);
  const int batchRows =
      std::clamp(kValuesPerInsert / std::max<int>(1, columns.size()), 1, kMaxRowsPerInsert);
  QSqlQuery fullBatch(to);
  if (!fullBatch.prepare(InsertStatement(table, columns, batchRows))) {
    return Fail(error, QStringLiteral("cannot write table %1: %2")
                           .arg(table, fullBatch.lastError().text()));
  }
  QVariantList values;
  values.reserve(batchRows * columns.size());
  const std::optional<RowChecks> checks = ReadRowChecks(to, table, columns, error);
  if (!checks) return false;
  // Whether the row just read, at `first` in `values`, may be written as it is.
  auto writable = [&](qsizetype first) {
    for (const DecimalGuard& guard : checks->guards) {
      const QVariant& value = values[first + guard.column];
      const QString problem = DecimalProblem(value, guard.target);
      if (problem.isEmpty()) continue;
      QList<QVariant> key;
      for (const int column : checks->keyColumns) key << values[first + column];
      return Fail(error, QStringLiteral("%1 %2, which the target's %3 does not hold as it is")
                             .arg(DescribeValue(table, checks->key, key,
                                                columns[guard.column].toUpper(), value),
                                  problem, guard.target.type()));
    }
    return true;
  };
  *rows = 0;
  // Writes the rows gathered in `values`: all of a batch, or the last few.
  auto write = [&]() {
    const int count = static_cast<int>(values.size() / columns.size());
    QSqlQuery lastBatch(to);
    QSqlQuery& insert = count == batchRows ? fullBatch : lastBatch;
    if (&insert == &lastBatch && !lastBatch.prepare(InsertStatement(table, columns, count))) {
      return Fail(error, QStringLiteral("cannot write table %1: %2")
                             .arg(table, lastBatch.lastError().text()));
    }
    for (int i = 0; i < values.size(); ++i) insert.bindValue(i, values[i]);
    if (!insert.exec()) {
      return Fail(error, QStringLiteral("cannot write rows %1 to %2 of table %3: %4")
                             .arg(*rows + 1)
                             .arg(*rows + count)
                             .arg(table, insert.lastError().text()));
    }
    if (progress && (*rows + count) / kRowsPerProgress > *rows / kRowsPerProgress) {
      progress({table, *rows + count}, false);
    }
    *rows += count;
    values.clear();
    return true;
  };
  while (read.next()) {
    const qsizetype first = values.size();
    for (int i = 0; i < columns.size(); ++i) values.append(read.value(i));
    if (!writable(first)) return false;
    if (values.size() == batchRows * columns.size() && !write()) return false;
  }
  if (read.lastError().isValid()) {
    return Fail(error, QStringLiteral("cannot read table %1: %2")
                           .arg(table, read.lastError().text()));
  }
  if (!values.isEmpty() && !write()) return false;
  if (progress) progress({table, *rows}, true);
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
                        const CopyProgress& progress, QString* error) {
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
    if (!CopyTable(from, to, table, &done.rows, progress, error)) return false;
    copied->append(done);
  }
  // The tables of our own go along where the source has them (an earlier version made
  // none): without the channel bookings the next import would book every event again.
  QStringList present;
  for (const QString& table : from.tables()) present << table.toUpper();
  for (const QString& table : OwnTables()) {
    if (!present.contains(table)) continue;
    CopiedTable done{table, 0};
    if (!CopyTable(from, to, table, &done.rows, progress, error)) return false;
    copied->append(done);
  }
  return ContinueSeries(from, to, error);
}

}  // namespace

bool CopyDatabase(QSqlDatabase& from, QSqlDatabase& to, QList<CopiedTable>* copied,
                  QString* error, const CopyProgress& progress) {
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
  const QString snapshot = AdminBackend::Of(from).snapshotStatement();
  if (!snapshot.isEmpty()) QSqlQuery(from).exec(snapshot);
  if (!to.transaction()) {
    from.rollback();
    return Fail(error, QStringLiteral("cannot start a transaction on the target: %1")
                           .arg(to.lastError().text()));
  }
  bool done = CopyInTransactions(from, to, copied, progress, error);
  if (done && !to.commit()) {
    done = Fail(error, QStringLiteral("cannot commit: %1").arg(to.lastError().text()));
  }
  if (!done) {
    to.rollback();
    copied->clear();
  }
  from.rollback();  // it only read
  // PostgreSQL plans by statistics that it would otherwise gather only after a while; a
  // failure leaves that to autovacuum and does not undo the copy.
  const QString statistics = AdminBackend::Of(to).statisticsStatement(ContractTables());
  if (done && !statistics.isEmpty()) QSqlQuery(to).exec(statistics);
  return done;
}

}  // namespace taurelin
