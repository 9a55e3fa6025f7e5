#pragma once

// The reply that every instruction handler builds:
//
//   "&count=N" "&header=COLUMNS" "&data=" ROWS
//
// each row the keyword and one value per further column, every value followed by ";" and the
// last ";" removed. A failure puts "&count=0" in front and "&errorcode='CODE'&errormessage=
// MESSAGE" behind, keeping the rows appended before it as they stand.

#include "handlers/handler_errors.h"

#include <QString>
#include <QStringList>

namespace taurelin {

class ReplyBuilder {
 public:
  // Replaces the reply with "&header=" + columns + "&data=".
  ReplyBuilder(QString& reply, const QString& columns);

  // Appends a row: the keyword, then the values.
  void addRow(const QStringList& values);
  int rows() const { return rows_; }

  // Success: the last ";" removed (when there are rows), "&count=" + rows in front.
  void finish();
  // Failure: "&count=0" in front, the error behind.
  void fail(const HandlerError& error);
  // Failure that still counts the rows appended before it.
  void failCountingRows(const HandlerError& error);

 private:
  void appendError(const HandlerError& error);

  QString& reply_;
  int rows_ = 0;
};

}  // namespace taurelin
