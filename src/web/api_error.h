#pragma once

// What the JSON API answers when it does not answer with data: an HTTP status and a body
// {"error": {"code", "message"}}. An instruction's refusal carries the protocol's code and
// message unchanged; which codes are a missing thing (404), units that are taken (409) or a
// database that is away (503) stands in one table here, and every other refusal is bad input
// (400). Refusals of the HTTP face itself carry a name for a code ("invalid_field").

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QHttpServerResponse>
#include <QString>

namespace taurelin {

struct HandlerError;

struct ApiError {
  int status;
  QString code;     // the protocol's error code, or the face's own name
  QString message;  // for people
  QList<QPair<QByteArray, QByteArray>> headers = {};  // besides the common ones
  QString field = {};  // the request's field that was refused, when one was
};

// The answer to an instruction's refusal `error` of instruction `keyword`.
ApiError RefusalError(const QString& keyword, const HandlerError& error);

ApiError BadRequest(const QString& code, const QString& message);

// What instruction `keyword` answers for a booking `refnr` that is not there (AVBESTILL: the
// face's own 404). A caller without the booking's code gets exactly this, so that nothing
// tells it whether the number exists.
ApiError UnknownBookingError(const QString& keyword, const QString& refnr);

// The response for `error`, with the headers every answer of the API carries.
QHttpServerResponse ErrorResponse(const ApiError& error);

// Headers for every answer: not cached, its type not guessed.
void AddCommonHeaders(QHttpServerResponse& response);

}  // namespace taurelin
