#include "store/sqlite/sqlite_row.h"

#include "store/database_error.h"
#include "store/statement.h"
#include "store/stored_date.h"

#include <sqlite3.h>

#include <climits>
#include <cmath>

namespace taurelin {

int SqliteRow::index(const char* column) {
  for (size_t i = 0; i < knownCount_; ++i) {
    if (known_[i].first == column) return known_[i].second;
  }
  const int found = statement_.column(column);
  if (found < 0) {
    throw DatabaseError(QStringLiteral("no column %1 in the result").arg(QLatin1String(column)));
  }
  if (knownCount_ < known_.size()) known_[knownCount_++] = {column, found};
  return found;
}

bool SqliteRow::isNull(const char* column) {
  return sqlite3_column_type(statement_.handle(), index(column)) == SQLITE_NULL;
}

double SqliteRow::numeric(int i, const char* column, const char* what) {
  sqlite3_stmt* statement = statement_.handle();
  switch (sqlite3_column_type(statement, i)) {
    case SQLITE_NULL:
      return 0;
    case SQLITE_INTEGER:
      return static_cast<double>(sqlite3_column_int64(statement, i));
    case SQLITE_FLOAT:
      return sqlite3_column_double(statement, i);
    default: {
      bool ok = false;
      const double number = statement_.text(i).toDouble(&ok);
      if (!ok) {
        throw DatabaseError(QStringLiteral("%1 is %2: %3")
                                .arg(QLatin1String(column), QLatin1String(what),
                                     statement_.text(i)));
      }
      return number;
    }
  }
}

int SqliteRow::integer(const char* column) {
  const int i = index(column);
  const double number = numeric(i, column, "not an integer");
  if (!std::isfinite(number) || number < INT_MIN || number > INT_MAX) {
    throw DatabaseError(QStringLiteral("%1 is not an integer: %2")
                            .arg(QLatin1String(column), statement_.text(i)));
  }
  return static_cast<int>(std::trunc(number));
}

qint64 SqliteRow::integer64(const char* column) {
  const int i = index(column);
  // Read as stored: through a double, a number beyond 2^53 would lose its last digits.
  if (sqlite3_column_type(statement_.handle(), i) == SQLITE_INTEGER) {
    return sqlite3_column_int64(statement_.handle(), i);
  }
  const double number = numeric(i, column, "not an integer");
  if (!std::isfinite(number) || std::fabs(number) >= 9.0e18) {
    throw DatabaseError(QStringLiteral("%1 is not an integer: %2")
                            .arg(QLatin1String(column), statement_.text(i)));
  }
  return static_cast<qint64>(std::trunc(number));
}

double SqliteRow::number(const char* column) {
  return numeric(index(column), column, "not a number");
}

qint64 SqliteRow::hundredths(const char* column) {
  constexpr qint64 kLimit = 1'000'000'000'000'000;  // 10^15 before the point
  const int i = index(column);
  if (sqlite3_column_type(statement_.handle(), i) == SQLITE_INTEGER) {
    const qint64 value = sqlite3_column_int64(statement_.handle(), i);
    if (value < kLimit && value > -kLimit) return value * 100;
  } else {
    const double value = numeric(i, column, "not an amount");
    if (std::isfinite(value) && std::fabs(value) < double(kLimit)) {
      return std::llround(value * 100.0);
    }
  }
  throw DatabaseError(QStringLiteral("%1 is not an amount: %2")
                          .arg(QLatin1String(column), statement_.text(i)));
}

QDate SqliteRow::date(const char* column) {
  const int i = index(column);
  const int type = sqlite3_column_type(statement_.handle(), i);
  if (type == SQLITE_NULL) return {};
  if (type == SQLITE_TEXT) {
    // The stored form of nearly every date, read from its bytes: a date on every row of the
    // occupancy statements is worth no text of its own.
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_.handle(), i));
    const std::optional<QDate> digits =
        IsoDateDigits(bytes, sqlite3_column_bytes(statement_.handle(), i));
    if (digits && digits->isValid()) return *digits;
  }
  if (type == SQLITE_TEXT || type == SQLITE_BLOB) {
    const std::optional<StoredDate> stored = ParseStoredDate(statement_.text(i));
    if (stored) return stored->date;
  }
  throw DatabaseError(
      QStringLiteral("%1 is not a date: %2").arg(QLatin1String(column), statement_.text(i)));
}

QString SqliteRow::text(const char* column) {
  const int i = index(column);
  sqlite3_stmt* statement = statement_.handle();
  switch (sqlite3_column_type(statement, i)) {
    case SQLITE_NULL:
      return QStringLiteral("");
    case SQLITE_INTEGER:
      return QString::number(sqlite3_column_int64(statement, i));
    case SQLITE_FLOAT:
      return DecimalText(sqlite3_column_double(statement, i));
    default:
      return statement_.text(i);
  }
}

}  // namespace taurelin
