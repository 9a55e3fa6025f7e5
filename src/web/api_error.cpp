#include "web/api_error.h"

#include "handlers/handler_errors.h"

#include <QJsonObject>

#include <cstring>

namespace taurelin {
namespace {

struct StatusRule {
  const char* keyword;  // nullptr: any instruction
  const char* code;
  int status;
};

// The refusals that are not the request's fault, or that name a thing that is not there.
// "-xxxx" is a failed matrix read for LEDIGMATRISE but a stay without a price for RESERVER.
constexpr StatusRule kStatusRules[] = {
    // Nothing there: the booking, its lines, the prices or payment types asked for.
    {nullptr, "-1001", 404},
    {nullptr, "-2063", 404},
    {nullptr, "-2101", 404},
    {nullptr, "-1011", 404},
    {nullptr, "-1012", 404},
    // The units are taken, or no price covers the stay.
    {nullptr, "-2065", 409},
    {"RESERVER", "-xxxx", 409},
    // The database could not answer or could not write.
    {nullptr, "-2011b", 503},
    {nullptr, "-2032b", 503},
    {nullptr, "-2002", 503},
    {nullptr, "-2003", 503},
    {nullptr, "-2011", 503},
    {nullptr, "-2021", 503},
    {nullptr, "-2032", 503},
    {"LEDIGMATRISE", "-xxxx", 503},
    {nullptr, "-2052", 503},
    {nullptr, "-2053", 503},
    {nullptr, "-2059", 503},
    {nullptr, "-2064", 503},
    {nullptr, "-2066", 503},
    {nullptr, "-2082", 503},
    {nullptr, "-2087", 503},
    {nullptr, "-2088", 503},
    {nullptr, "-2089", 503},
    {nullptr, "-2102", 503},
    // A guest's confirmation from its mail.
    {nullptr, "invalid_token", 403},
    {nullptr, "not_awaiting", 409},
    {nullptr, "confirm_failed", 503},
};

}  // namespace

// The field a refusal is about, so that a form can show it beside that field.
struct FieldRule {
  const char* keyword;
  const char* code;
  const char* field;
};
constexpr FieldRule kFieldRules[] = {
    {"BOOKING", "-2081", "nation"},  // a nation code that NASJON does not list
};

ApiError RefusalError(const QString& keyword, const HandlerError& error) {
  QString field;
  for (const FieldRule& rule : kFieldRules) {
    if (keyword == QLatin1String(rule.keyword) && std::strcmp(rule.code, error.code) == 0) {
      field = QLatin1String(rule.field);
    }
  }
  int status = 400;
  for (const StatusRule& rule : kStatusRules) {
    if (std::strcmp(rule.code, error.code) != 0) continue;
    if (rule.keyword != nullptr && keyword != QLatin1String(rule.keyword)) continue;
    status = rule.status;
    break;
  }
  return {status, QString::fromLatin1(error.code), error.message, {}, field};
}

ApiError BadRequest(const QString& code, const QString& message) {
  return {400, code, message};
}

ApiError UnknownBookingError(const QString& keyword, const QString& refnr) {
  if (keyword == u"HENTBOOK") return RefusalError(keyword, errors::BookingNotFound(refnr));
  if (keyword == u"BOOKING") {
    return RefusalError(keyword, errors::booking::UnknownReference(refnr));
  }
  if (keyword == u"RESERVER") {
    return RefusalError(keyword, errors::reservation::UnknownBooking(refnr));
  }
  return {404, QStringLiteral("not_found"),
          QStringLiteral("there is no booking %1 to cancel").arg(refnr)};
}

void AddCommonHeaders(QHttpServerResponse& response) {
  response.setHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store"));
  response.setHeader(QByteArrayLiteral("X-Content-Type-Options"), QByteArrayLiteral("nosniff"));
}

QHttpServerResponse ErrorResponse(const ApiError& error) {
  QJsonObject body{{QStringLiteral("code"), error.code},
                   {QStringLiteral("message"), error.message}};
  if (!error.field.isEmpty()) body.insert(QStringLiteral("field"), error.field);
  QHttpServerResponse response(QJsonObject{{QStringLiteral("error"), body}},
                               static_cast<QHttpServerResponse::StatusCode>(error.status));
  AddCommonHeaders(response);
  for (const auto& [name, value] : error.headers) response.setHeader(name, value);
  return response;
}

}  // namespace taurelin
