#pragma once

// Reading a value back out of a reply envelope
// ("&count=N&header=C1;C2&data=v;v;...[&errorcode=...&errormessage=...]").

#include <QString>

#include <stdexcept>

namespace taurelin {

// Thrown when a reply's count is missing or not an integer.
class ReplyFormatError : public std::runtime_error {
 public:
  ReplyFormatError() : std::runtime_error("the reply has no readable count") {}
};

// "ERROR" when the reply carries an error; otherwise the value of `column` in the reply's
// last data row (empty when there are no rows or no such column; the last column of that
// name counts). The count is read first: a reply without "&count=" and "&header=", or with a
// count that is no integer, throws ReplyFormatError even when it carries an error.
QString GetReplyValue(const QString& reply, const QString& column);

}  // namespace taurelin
