#pragma once

// What the JSON API answers when it does not answer with data: an HTTP status and a body
// {"error": {"code", "message"}} with, for an instruction's refusal, its protocol code. Which
// protocol codes are a missing thing (404), a conflict (409) or a database that is away (503)
// stands in one table here; every other refusal is a request the booking system cannot take
// (422).

#include <QByteArray>
#include <QHttpServerResponse>
#include <QString>

namespace taurelin {

struct HandlerError;

struct ApiError {
  int status;
  QString code;     // stable, for programs: "invalid_field", "not_found", ...
  QString message;  // for people
  QString protocolCode = QString();  // the instruction's error code, when it refused
};

// The answer to an instruction's refusal `error` of instruction `keyword`.
ApiError RefusalError(const QString& keyword, const HandlerError& error);

ApiError BadRequest(const QString& code, const QString& message);

// The response for `error`, with the headers every answer of the API carries.
QHttpServerResponse ErrorResponse(const ApiError& error);

// Headers for every answer: not cached, its type not guessed.
void AddCommonHeaders(QHttpServerResponse& response);

}  // namespace taurelin
