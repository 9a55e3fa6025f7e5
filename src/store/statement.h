#pragma once

// A statement as the handlers and the data module write it: SQL lines added one by one,
// request values bound by name, then opened and read forward, or executed.
//
// Values never alter the statement: texts, dates and numbers are bound as parameters. A value
// that goes where a number belongs is checked to be a numeric literal first; when it is not,
// the statement fails when it is opened or executed, exactly as a statement with a bad number
// in its text would. Every failure throws DatabaseError with the database's message.
//
// Column values read as text take the forms the protocol shows: a date "dd.mm.yyyy", a number
// its shortest decimal form with "." ("1250", "1250.5"), NULL the empty text; this holds on
// every backend.
//
// It is one of the store's two row readers: this one for Qt SQL on every backend, SqliteRow
// (sqlite/sqlite_row.h) for the raw SQLite handle; both read each value alike, and ReadRows
// (row_reads.h) reads the hot statements through whichever the connection's backend uses.

#include "store/database_error.h"
#include "store/statement_cache.h"

#include <QDate>
#include <QDateTime>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

namespace taurelin {

class Connection;

// A number in its shortest decimal text with "." and no exponent ("1250", "1250.5").
QString DecimalText(double value);

// Whether `text` is a numeric literal (optional sign, digits, optional fraction; blanks
// around it allowed), and its value as the database should get it.
std::optional<QVariant> NumericLiteral(const QString& text);

class Statement {
 public:
  // A statement on `connection`, which must outlive it; a closed connection is opened again
  // when the statement runs.
  explicit Statement(Connection& connection);
  ~Statement();
  Statement(Statement&&) = default;
  Statement& operator=(Statement&&) = default;

  Statement& add(const QString& line);
  Statement& add(std::initializer_list<const char*> lines);
  QString sql() const { return lines_.join(u'\n'); }

  void bindText(const QString& name, const QString& value);
  void bindDate(const QString& name, const QDate& value);
  void bindInteger(const QString& name, qint64 value);
  void bindReal(const QString& name, double value);
  void bindDateTime(const QString& name, const QDateTime& value);  // invalid: NULL
  void bindBytes(const QString& name, const QByteArray& value);    // a BLOB or BYTEA
  void bindNull(const QString& name);
  // Binds a request value that the statement uses as a number; a value that is not a numeric
  // literal makes the statement fail.
  void bindNumber(const QString& name, const QString& literal);
  // The same check, but the value is bound as its text without the blanks around it: for a
  // code written with digits, such as a postcode, whose leading zeros must stay.
  void bindNumberText(const QString& name, const QString& literal);
  // Binds a request text that the statement compares with a number column, so that every
  // backend compares as SQLite does: a numeric literal as its number, any other text as a
  // value that equals no number (PostgreSQL would refuse to convert it and fail).
  void bindTextAsNumber(const QString& name, const QString& text);

  // Runs the statement; a query's rows are then read with next().
  void run();
  // Moves to the next row; false after the last.
  bool next();
  // Releases the result; also done by the destructor.
  void close();

  // Column values of the current row, by column name (case-insensitive).
  bool isNull(const QString& column) const;
  QString text(const QString& column) const;
  int integer(const QString& column) const;  // NULL reads as 0
  // The same for identifiers such as reference numbers, which the store keeps as qint64.
  qint64 integer64(const QString& column) const;
  double number(const QString& column) const;  // NULL reads as 0
  QDate date(const QString& column) const;  // NULL reads as an invalid date
  QDateTime dateTime(const QString& column) const;  // NULL reads as an invalid time
  QByteArray bytes(const QString& column) const;    // NULL reads as empty
  // The same by a column's place in the result, as columnIndex gives it, for a reader that
  // looks each name up once and reads many rows.
  int columnIndex(const QString& column) const;
  bool isNull(int index) const;
  QString text(int index) const;
  int integer(int index) const;
  qint64 integer64(int index) const;
  QDate date(int index) const;
  // The name of a result column.
  QString columnName(int index) const;
  // The number of rows a write changed.
  int rowsAffected() const;

 private:
  void bind(const QString& name, const QVariant& value);  // as ":NAME"
  QVariant value(const QString& column) const;
  // The readers by place; `column` names the column in a failure's message (null: its name
  // in the result).
  QString textAt(int index) const;
  int integerAt(int index, const QString* column) const;
  qint64 integer64At(int index, const QString* column) const;
  QDate dateAt(int index, const QString* column) const;
  QString label(int index, const QString* column) const;
  bool isDateColumn(int index) const;
  const QSqlQuery& query() const;

  Connection* connection_;
  QStringList lines_;
  StatementCache::Bindings bindings_;
  QString badNumber_;  // the first value given as a number that is none
  std::unique_ptr<QSqlQuery> query_;  // prepared for preparedSql_, kept for reuse on close
  QString preparedSql_;
  QSqlRecord record_;  // the result's columns, read once
  QList<bool> dateColumns_;  // which result columns hold dates
};

}  // namespace taurelin
