#pragma once

// The rows of a raw SQLite statement, read exactly as Statement reads the rows that Qt's
// SQLite driver gives: the same values and the same failures (DatabaseError) for every
// stored value, so that a read moved from Qt SQL to the raw handle answers as before.
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

  // NULL reads as 0; a value that is no number, or lies beyond int, fails; a fraction is
  // cut off.
  int integer(const char* column);
  // NULL reads as 0; a value that is no number fails.
  double number(const char* column);
  // NULL reads as an invalid date; text that is no stored date, or a number, fails.
  QDate date(const char* column);
  // NULL reads as the empty text; a number as its shortest decimal text.
  QString text(const char* column);

 private:
  int index(const char* column);

  const SqliteStatement& statement_;
  std::array<std::pair<const char*, int>, 16> known_{};
  size_t knownCount_ = 0;
};

}  // namespace taurelin
