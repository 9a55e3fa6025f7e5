#pragma once

// The reply envelope, the one writer and reader of a reply's text:
//
//   ["&count=N"] "&header=COLUMNS" "&data=" ROWS ["&errorcode='CODE'&errormessage=MESSAGE"]
//
// each row the keyword and one value per further column, every value followed by ";" and,
// on success, the last ";" removed. A failure counts 0 rows (or the rows listed, where the
// instruction says so) and keeps the rows listed before it as they stand.

#include "handlers/instruction_reply.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <stdexcept>

namespace taurelin {

// Thrown when a reply's count is missing or not an integer.
class ReplyFormatError : public std::runtime_error {
 public:
  ReplyFormatError() : std::runtime_error("the reply has no readable count") {}
};

class ReplyEnvelope {
 public:
  // The text of a handler's reply, after `prefix` (the request's messageID section), with
  // room for a line feed more: a year's matrix is copied no more than it must be.
  static QString Write(const InstructionReply& reply, QStringView prefix = {});

  // "ERROR" when the reply carries an error; otherwise the value of `column` in the reply's
  // last data row (empty when there are no rows or no such column; the last column of that
  // name counts). The count is read first: a reply without "&count=" and "&header=", or with
  // a count that is no integer, throws ReplyFormatError even when it carries an error.
  static QString GetReplyValue(const QString& reply, const QString& column);

  // An answer as a client receives it (a "messageID=" section in front is passed over), read
  // leniently for showing it: a missing section reads as empty, an unreadable count as 0,
  // line feeds are dropped, and each of `count` rows takes the next values in order (missing
  // ones empty).
  static ReplyEnvelope Read(const QString& answer);

  int count() const { return count_; }
  const QStringList& columns() const { return columns_; }
  const QList<QStringList>& rows() const { return rows_; }
  // Empty when the answer carries no error.
  const QString& errorCode() const { return errorCode_; }
  const QString& errorMessage() const { return errorMessage_; }

 private:
  int count_ = 0;
  QStringList columns_;
  QList<QStringList> rows_;
  QString errorCode_;
  QString errorMessage_;
};

}  // namespace taurelin
