#pragma once

// A booking's reference number as a request names it: the text as sent, which answers echo
// and the time-out register keeps, beside the booking that text names. The store takes the
// number; only the wire and the register keep the text.
//
// Promises: text() is the text as given, untouched. isNumber() tells whether it is a numeric
// literal as the statements accept one (digits, an optional sign and fraction, blanks
// around). number() is the booking it names as the database compares numbers: "42", " 42",
// "+42" and "42.0" all name 42; a number with a fraction, or one beyond 64 bits, names none,
// and neither does a text that is no number.

#include <QString>

#include <optional>

namespace taurelin {

class RefNr {
 public:
  RefNr() = default;
  explicit RefNr(QString text);

  const QString& text() const { return text_; }
  bool isNumber() const { return isNumber_; }
  std::optional<qint64> number() const { return number_; }

 private:
  QString text_;
  bool isNumber_ = false;
  std::optional<qint64> number_;
};

}  // namespace taurelin
