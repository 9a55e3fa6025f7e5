#pragma once

// The JSON API's endpoints, each described once: its method and path, the instruction it
// runs, where each of the instruction's columns comes from (a JSON field, a query parameter,
// the path, or a fixed value) and how each column of the reply is named and typed in JSON.
// The HTTP face serves requests by this table, and the API index lists it, so what the
// server answers and what it says it answers cannot drift apart.

#include <QHttpServerRequest>
#include <QLatin1String>

#include <span>

namespace taurelin {

// The JSON type of a value and how it is written on the line protocol.
enum class ValueKind {
  kInteger,  // a whole number
  kDecimal,  // an amount: a number with at most two decimals
  kDate,     // ISO yyyy-mm-dd in JSON; yyyy.mm.dd to the instruction
  kText,     // a text without control characters
  kDigits,   // a text of digits only, leading zeros kept (a postcode)
  kFlag,     // a boolean; "J" in a reply is true
  kEmail,    // a text that is empty or an e-mail address as a browser's e-mail field takes it
};

// One column of the instruction, filled from the request.
struct InputField {
  enum class From { kQuery, kBody, kPath, kFixed };
  QLatin1String column;
  From from;
  QLatin1String name;  // the JSON field or query parameter; for kFixed, the fixed value
  ValueKind kind = ValueKind::kText;
  bool required = false;
  // Sent when the field is absent; "*" leaves an optional value open.
  QLatin1String absent = QLatin1String("*");
  qint64 low = 0, high = 0;  // the range of an integer, when high > low
  int maxLength = 0;         // of a text, when > 0
};

// One column of the reply's rows, as it stands in JSON.
struct OutputField {
  QLatin1String column;
  QLatin1String name;
  ValueKind kind;
};

struct Endpoint {
  // What the answer is: every row in a list, the first row alone, or the path's number.
  enum class Shape { kList, kFirstRow, kCancellation };
  // Who may call it:
  // - kRead: anyone; a key needs the read scope.
  // - kPlaceHold: a guest within the guest limits; a key needs reserve.
  // - kReadBooking: a caller with the booking's code, or a manage key; a key needs read.
  // - kChangeBooking: a caller with the booking's code, or a manage key; a key needs reserve.
  enum class Access { kRead, kPlaceHold, kReadBooking, kChangeBooking };
  // What the request's two dates must say together:
  // - kStay: ANKOMST and AVREISE are a stay of at least one night;
  // - kSpan: FRA to TIL spans at most kLongestSpanDays.
  enum class Dates { kAny, kStay, kSpan };
  static constexpr qint64 kLongestSpanDays = 366;

  QHttpServerRequest::Method method;
  QLatin1String path;      // as the API description writes it: /api/v1/bookings/{refnr}
  QLatin1String keyword;   // the instruction it runs
  QLatin1String listName;  // kList: the answer's member that holds the rows
  std::span<const InputField> inputs;
  std::span<const OutputField> outputs;
  Shape shape = Shape::kList;
  int successStatus = 200;
  Access access = Access::kRead;
  Dates dates = Dates::kAny;
};

// Every endpoint that runs an instruction.
std::span<const Endpoint> Endpoints();

// The name of a method as HTTP writes it.
QLatin1String MethodName(QHttpServerRequest::Method method);

}  // namespace taurelin
