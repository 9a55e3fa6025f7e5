#pragma once

// Amounts: the prices, discounts and commissions of the booking database are NUMERIC(15,2),
// amounts in hundredths, on every backend alike. PostgreSQL's NUMERIC(p,s) refuses a value
// with more than p - s digits before the point but rounds one with more than s decimals;
// SQLite's NUMERIC keeps any number as it is. So that one business never reads differently
// on the two, a value that NUMERIC(p,s) would not hold exactly as it is, is refused: by the
// SQLite schema's check on each amount column, by the copy into another database, and, for a
// database whose tables were made before they had that check, reported by its check.
//
// A value is held as it is when its exact decimal value, as the backend stores it, has at
// most s decimals and at most p - s digits before the point. For a real that is its shortest
// decimal form: the real that SQLite keeps for 100.12 is held, the 0.30000000000000004 of
// 0.1 + 0.2 is not. NULL is always held (NOT NULL is the column's own concern).

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QSqlDatabase;
class QVariant;

namespace taurelin {

// A column declared NUMERIC(p,s) or DECIMAL(p,s).
struct DecimalColumn {
  QString name;  // as the database spells it
  int precision = 0;
  int scale = 0;

  QString type() const;  // "NUMERIC(15,2)"
};

// What a check of values needs to know of a table: its key (the columns of its primary key,
// in order) and its NUMERIC(p,s) columns, as the catalogue of the connection's backend tells.
struct DecimalTable {
  QStringList key;
  QList<DecimalColumn> decimals;
};

// The key and decimal columns of `table` (named as the database spells it). Empty, with
// `error` set, when the catalogue cannot be read.
std::optional<DecimalTable> ReadDecimalTable(QSqlDatabase& database, const QString& table,
                                             QString* error);

// Why `column` would not hold `value` as it is: "has more than 2 decimals", "has more than
// 13 digits before the point" or "is not a number". Empty when it would.
QString DecimalProblem(const QVariant& value, const DecimalColumn& column);

// The value as a message shows it: a number in its shortest decimal form, text quoted.
QString ValueText(const QVariant& value);

// How a message names a row and a value in it: "PRISLINJE PRIS_ID=1 FRA_DATO=2025-06-01:
// PRIS_UKE 100.125".
QString DescribeValue(const QString& table, const QStringList& key,
                      const QList<QVariant>& keyValues, const QString& column,
                      const QVariant& value);

// The stored values of the booking tables that their NUMERIC(p,s) columns would not hold as
// they are, one line each, such as "PRISLINJE PRIS_ID=1 FRA_DATO=2025-06-01: PRIS_UKE
// 100.125 has more than 2 decimals (NUMERIC(15,2))"; beyond a few of a column, one more line
// tells how many more there are. A table that is missing is left to CheckContract. Empty when
// every value is held. Reads only.
QStringList CheckAmounts(QSqlDatabase& database);

}  // namespace taurelin
