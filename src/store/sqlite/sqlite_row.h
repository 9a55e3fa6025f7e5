#pragma once

// The rows of a raw SQLite statement, read exactly as Statement reads the rows that Qt's
// SQLite driver gives: the same values and the same failures (DatabaseError) for every
// stored value, so that a read moved from Qt SQL to the raw handle answers as before.
//
// The store reads rows two ways: Statement (Qt SQL, every backend) and this reader (the raw
// SQLite handle, for the hot reads and the procedures that run inside SQLite); ReadRows
// (row_reads.h) puts both behind one call, and its converters take either. The procedures
// turn its DatabaseError into the error text SQLite reports, at their edge.
//
// One reader serves every row of its statement; each column name is looked up once, at its
// first use, and known by its address after that (the names are the callers' constants).

#include "store/sqlite/sqlite_statement.h"

#include <QDate>
#include <QString>

#include <array>
#include <utility>

namespace taurelin {

class SqliteRow {
 public:
  explicit SqliteRow(const SqliteStatement& statement) : statement_(statement) {}

  bool isNull(const char* column);
  // NULL reads as 0; a value that is no number, or lies beyond int, fails; a fraction is
  // cut off.
  int integer(const char* column);
  // The same for a 64-bit number.
  qint64 integer64(const char* column);
  // NULL reads as 0; a value that is no number fails.
  double number(const char* column);
  // An amount in hundredths, rounded; NULL reads as 0. A value that is no number, or has more
  // than 15 digits before the point, fails.
  qint64 hundredths(const char* column);
  // NULL reads as an invalid date; text that is no stored date, or a number, fails.
  QDate date(const char* column);
  // NULL reads as the empty text; a number as its shortest decimal text.
  QString text(const char* column);

 private:
  int index(const char* column);
  // The column's value as a number; NULL reads as 0, anything else that is none fails as
  // `what`.
  double numeric(int i, const char* column, const char* what);

  const SqliteStatement& statement_;
  std::array<std::pair<const char*, int>, 16> known_{};
  size_t knownCount_ = 0;
};

}  // namespace taurelin
