#pragma once

// Reads an HTTP request into the values of its endpoint's instruction, strictly: a field or
// parameter that the endpoint does not name, a value of the wrong JSON type, out of its
// range, or a date that is no ISO date is refused, never passed on. What is passed on is in
// the line protocol's own notation (dates yyyy.mm.dd, "*" for an open value), so the
// instruction runs exactly as a line-protocol row with these values would.

#include "handlers/instruction.h"
#include "web/api_error.h"
#include "web/endpoint_table.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QUrlQuery>

#include <optional>

class QHttpServerRequest;

namespace taurelin {

struct RequestValues {
  InstructionValues values;
  std::optional<ApiError> error;  // set: the request is refused with it
};

// What of an HTTP request its values are read from.
struct HttpInput {
  QUrlQuery query;
  QByteArray contentType;  // the Content-Type header
  QByteArray body;
};

// `pathValue` is the value the path carries ({refnr}), empty when it carries none.
RequestValues ReadRequestValues(const Endpoint& endpoint, const HttpInput& input,
                                const QString& pathValue);
RequestValues ReadRequestValues(const Endpoint& endpoint, const QHttpServerRequest& request,
                                const QString& pathValue);

// The line protocol's yyyy.mm.dd of an ISO yyyy-mm-dd date; nothing for a text that is not
// a real date in exactly that form.
std::optional<QString> IsoToProtocolDate(const QString& iso);

// A date the values hold as yyyy.mm.dd, read by hand: QDate's format parser costs more than
// every other check of a request together. Invalid when it is no such date.
QDate ProtocolDate(const QString& text);

}  // namespace taurelin
