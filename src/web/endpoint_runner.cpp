#include "web/endpoint_runner.h"

#include "expiry/timeout_register.h"
#include "handlers/booking_state.h"
#include "handlers/conventions.h"
#include "handlers/protocol_dates.h"
#include "protocol/dispatcher.h"
#include "protocol/instruction_table.h"
#include "store/database_error.h"
#include "web/endpoint_table.h"
#include "web/reply_json.h"
#include "web/request_values.h"

#include <QDateTime>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

namespace taurelin {
namespace {

using Access = Endpoint::Access;

const QLatin1String kReserve("RESERVER");
const QLatin1String kBooker("BOOKING");
const QLatin1String kCancel("AVBESTILL");
const QLatin1String kFetch("HENTBOOK");
const QLatin1String kAvailability("LEDIG");
const QLatin1String kConfirm("BEKREFT");

qint64 Now() { return QDateTime::currentMSecsSinceEpoch(); }

bool IsWrite(const Endpoint& endpoint) {
  return endpoint.access == Access::kPlaceHold || endpoint.access == Access::kChangeBooking;
}

// The booking a request names: its path's number, or the one a reservation adds to.
std::optional<qint64> NamedBooking(const InstructionValues& values) {
  bool ok = false;
  const qint64 refnr = values[QLatin1String("REFNR")].toLongLong(&ok);
  return ok ? std::optional<qint64>(refnr) : std::nullopt;
}

QString StateName(BookingState state) {
  switch (state) {
    case BookingState::kHeld:
      return QStringLiteral("held");
    case BookingState::kBooked:
      return QStringLiteral("booked");
    case BookingState::kCancelled:
      return QStringLiteral("cancelled");
    case BookingState::kUnknown:
      break;
  }
  return QString();
}

ApiError Conflict(const QString& code, const QString& message) { return {409, code, message}; }

// The Idempotency-Key of a write, without the quotes of its structured form; nothing when
// none is sent. Throws the 400 for one that is not 1 to 255 visible characters.
std::optional<QByteArray> IdempotencyKey(const QHttpServerRequest& request) {
  QByteArray key = request.value(QByteArrayLiteral("Idempotency-Key")).trimmed();
  if (key.isEmpty()) return std::nullopt;
  if (key.size() >= 2 && key.startsWith('"') && key.endsWith('"')) key = key.mid(1, key.size() - 2);
  const bool visible = std::all_of(key.begin(), key.end(), [](char c) {
    return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7f;
  });
  if (key.isEmpty() || key.size() > 255 || !visible) return QByteArray();
  return key;
}

QHttpServerResponse Replay(const StoredAnswer& answer) {
  QHttpServerResponse response(answer.contentType, answer.body,
                               static_cast<QHttpServerResponse::StatusCode>(answer.status));
  AddCommonHeaders(response);
  for (const auto& [name, value] : answer.headers) response.setHeader(name, value);
  response.setHeader(QByteArrayLiteral("Idempotent-Replayed"), QByteArrayLiteral("true"));
  return response;
}

StoredAnswer Keep(const QHttpServerResponse& response) {
  return {static_cast<int>(response.statusCode()), response.mimeType(), response.data(), {}};
}

}  // namespace

EndpointRunner::EndpointRunner(Settings settings, HttpAccess& access,
                               std::function<RequestContext()> context,
                               std::function<void(const QString&)> log)
    : settings_(settings),
      access_(access),
      context_(std::move(context)),
      log_(std::move(log)),
      guests_(settings.guests) {}

QHttpServerResponse EndpointRunner::run(const Endpoint& endpoint,
                                        const QHttpServerRequest& request,
                                        const QString& pathValue, const Caller& caller,
                                        Trace& trace) {
  if (std::optional<ApiError> refused = access_.authorize(caller, endpoint.access)) {
    return ErrorResponse(*refused);
  }
  if (request.body().size() > settings_.maxBodyBytes) {
    return ErrorResponse({413, QStringLiteral("payload_too_large"),
                          QStringLiteral("the body may hold at most %1 bytes")
                              .arg(settings_.maxBodyBytes)});
  }
  const RequestValues read = ReadRequestValues(endpoint, request, pathValue);
  // A request that cannot be read still costs its caller one, so that a flood of them is
  // held back as any other.
  const double cost = read.error ? 1 : RequestCost(endpoint, read.values);
  if (std::optional<ApiError> spent = access_.spend(caller, IsWrite(endpoint), cost)) {
    trace.limited = true;
    return ErrorResponse(*spent);
  }
  if (read.error) return ErrorResponse(*read.error);

  const InstructionValues& values = read.values;
  const std::optional<qint64> named = NamedBooking(values);
  if (named && !access_.mayActOn(caller, request, *named)) {
    return ErrorResponse(UnknownBookingError(endpoint.keyword, values[QLatin1String("REFNR")]));
  }

  // Only a hold and a booker are written again by a client that lost the answer; a second
  // cancellation is harmless and told as such.
  std::optional<QByteArray> key;
  QByteArray digest;
  QString who;  // whose keys these are: a key's, or a guest address's
  if (endpoint.keyword == kReserve || endpoint.keyword == kBooker) {
    who = caller.key ? caller.name() : caller.name() + u' ' + caller.address.toString();
    key = IdempotencyKey(request);
    if (key && key->isEmpty()) {
      return ErrorResponse(BadRequest(QStringLiteral("invalid_idempotency_key"),
                                      QStringLiteral("Idempotency-Key takes 1 to 255 visible "
                                                     "characters")));
    }
    if (key) {
      digest = RequestDigest(request.method() == QHttpServerRequest::Method::Post ? "POST" : "PUT",
                             request.url().path(), request.body());
      const IdempotencyCache::Lookup kept = idempotency_.find(who, *key, digest, Now());
      if (kept.found == IdempotencyCache::Found::kSameRequest) return Replay(kept.answer);
      if (kept.found == IdempotencyCache::Found::kOtherRequest) {
        return ErrorResponse({422, QStringLiteral("idempotency_key_reused"),
                              QStringLiteral("this Idempotency-Key was sent with another "
                                             "request")});
      }
    }
  }

  RequestContext context = context_();
  if (endpoint.keyword == kBooker) {
    context.handlers.language = values[QLatin1String("SPRAAK")].trimmed().toLower();
    // A guest's booker may have to be confirmed from its mail; a key's books at once.
    if (!caller.key) context.handlers.confirmSeconds = settings_.guests.confirmSeconds;
  }
  bool ran = false;
  std::optional<QHttpServerResponse> response;
  try {
    if (std::optional<ApiError> refused = checkBefore(endpoint, values, caller, context)) {
      return ErrorResponse(*refused);
    }
    response.emplace(runInstruction(endpoint, values, pathValue, caller, context, trace, &ran));
  } catch (const DatabaseError& failure) {
    log_(QStringLiteral("HTTP database error : ") + QString::fromUtf8(failure.what()));
    return ErrorResponse({503, QStringLiteral("unavailable"),
                          QStringLiteral("the booking database could not answer")});
  }
  if (key && ran && static_cast<int>(response->statusCode()) < 500) {
    idempotency_.store(who, *key, digest, Keep(*response), Now());
  }
  return std::move(*response);
}

std::optional<ApiError> EndpointRunner::checkBefore(const Endpoint& endpoint,
                                                    const InstructionValues& values,
                                                    const Caller& caller,
                                                    RequestContext& context) {
  const QString refnr = values[QLatin1String("REFNR")];
  if (endpoint.keyword == kReserve && !caller.key) {
    // Units added to a booking that has its booker would never run out (the sweep leaves
    // booked bookings alone): a guest adds only to its own hold.
    if (const std::optional<qint64> addTo = NamedBooking(values)) {
      const BookingState state = ReadBookingState(context.handlers, *addTo);
      if (state == BookingState::kBooked || state == BookingState::kCancelled) {
        return Conflict(state == BookingState::kBooked ? QStringLiteral("already_booked")
                                                       : QStringLiteral("cancelled"),
                        QStringLiteral("a guest adds units only to a booking that is still "
                                       "held; booking %1 is not")
                            .arg(refnr));
      }
    }
    return guests_.checkHold(
        caller.addressKey, values[QLatin1String("ANTALL")].toInt(),
        values[QLatin1String("TIMEOUT")].toInt(), Now(),
        [&context](qint64 held) { return ReadBookingState(context.handlers, held); });
  }
  if (endpoint.keyword == kBooker) {
    const BookingState state = ReadBookingState(context.handlers, refnr.toLongLong());
    if (state == BookingState::kCancelled) {
      return Conflict(QStringLiteral("cancelled"),
                      QStringLiteral("booking %1 is cancelled").arg(refnr));
    }
    // Only a manage key may replace a booker: a hold's booker is given once.
    if (state == BookingState::kBooked && !caller.manages()) {
      return Conflict(QStringLiteral("already_booked"),
                      QStringLiteral("booking %1 has its booker already").arg(refnr));
    }
    if (state == BookingState::kHeld && !caller.key) {
      // The booking is finished from a mail: without an address it never could be.
      if (settings_.guests.confirmSeconds > 0 &&
          values[QLatin1String("EPOST")].trimmed().isEmpty()) {
        return ApiError{400, QStringLiteral("email_required"),
                        QStringLiteral("an e-mail address is needed: the booking is "
                                       "confirmed from the mail sent to it"),
                        {}, QStringLiteral("email")};
      }
      return guests_.checkBooker(caller.addressKey, Now());
    }
  }
  if (endpoint.keyword == kCancel &&
      ReadBookingState(context.handlers, refnr.toLongLong()) == BookingState::kCancelled) {
    return Conflict(QStringLiteral("already_cancelled"),
                    QStringLiteral("booking %1 is cancelled already").arg(refnr));
  }
  return std::nullopt;
}

QHttpServerResponse EndpointRunner::runInstruction(const Endpoint& endpoint,
                                                   const InstructionValues& values,
                                                   const QString& pathValue,
                                                   const Caller& caller,
                                                   RequestContext& context, Trace& trace,
                                                   bool* ran) {
  const Instruction* instruction = FindWebInstruction(endpoint.keyword);
  if (instruction == nullptr) throw std::logic_error("an endpoint names no instruction");
  const QString refnr = values[QLatin1String("REFNR")];
  std::optional<InstructionReply> reply;
  try {
    reply.emplace(RunInstruction(*instruction, values, context));
  } catch (const ConversionError& failure) {
    return ErrorResponse(BadRequest(QStringLiteral("invalid_value"),
                                    QString::fromUtf8(failure.what())));
  }
  *ran = true;
  if (reply->error()) return ErrorResponse(RefusalError(endpoint.keyword, *reply->error()));
  if (endpoint.shape == Endpoint::Shape::kCancellation && reply->rowCount() == 0) {
    return ErrorResponse(UnknownBookingError(endpoint.keyword, refnr));
  }
  if (endpoint.shape == Endpoint::Shape::kFirstRow && reply->rowCount() == 0) {
    throw std::runtime_error("the instruction answered no row");
  }
  QJsonObject answer = ReplyJson(endpoint, *reply, pathValue);
  const qint64 now = Now();
  if (endpoint.keyword == kReserve) {
    const qint64 held = answer.value(QStringLiteral("refnr")).toInteger();
    trace.refnr = QString::number(held);
    answer.insert(QStringLiteral("bookingCode"), access_.codeFor(held));
    if (!caller.key) {
      guests_.held(caller.addressKey, held, values[QLatin1String("TIMEOUT")].toInt(), now);
    }
  } else if (endpoint.keyword == kBooker) {
    trace.refnr = refnr;
    if (!caller.key) guests_.booked(caller.addressKey, now);
    if (reply->effect().kind == ReplyEffect::Kind::kAwaitingConfirmation) {
      // Still a hold, counted as the guest's until it is confirmed or runs out.
      answer.insert(QStringLiteral("status"), QStringLiteral("awaiting_confirmation"));
      QHttpServerResponse response(answer, QHttpServerResponse::StatusCode::Accepted);
      AddCommonHeaders(response);
      return response;
    }
    guests_.ended(refnr.toLongLong());
  } else if (endpoint.keyword == kCancel || endpoint.keyword == kConfirm) {
    trace.refnr = refnr;
    guests_.ended(refnr.toLongLong());
  } else if (endpoint.keyword == kFetch && !addStatus(answer, refnr.toLongLong(), context)) {
    // Gone between its lines and its status (cancelled, or run out): as if never there.
    return ErrorResponse(UnknownBookingError(endpoint.keyword, refnr));
  } else if (endpoint.keyword == kAvailability) {
    MarkUnpricedOffers(answer);
  }
  QHttpServerResponse response(answer,
                               static_cast<QHttpServerResponse::StatusCode>(endpoint.successStatus));
  AddCommonHeaders(response);
  return response;
}

bool EndpointRunner::addStatus(QJsonObject& answer, qint64 refnr, RequestContext& context) {
  const BookingState state = ReadBookingState(context.handlers, refnr);
  if (state == BookingState::kUnknown) return false;
  const bool awaiting = state == BookingState::kHeld && settings_.guests.confirmSeconds > 0 &&
                        Store(context.handlers).AwaitsConfirmation(refnr);
  answer.insert(QStringLiteral("status"),
                awaiting ? QStringLiteral("awaiting_confirmation") : StateName(state));
  if (state != BookingState::kHeld) return true;
  QJsonValue ends = QJsonValue::Null;
  try {
    if (context.timeOuts != nullptr) {
      if (const std::optional<QDateTime> expiry =
              context.timeOuts->expiryOf(QString::number(refnr))) {
        ends = expiry->toOffsetFromUtc(expiry->offsetFromUtc()).toString(Qt::ISODate);
      }
    }
  } catch (const TimeOutRegisterError&) {
    // The register cannot be read: the hold's end is not known here.
  }
  answer.insert(QStringLiteral("holdEnds"), ends);
  return true;
}

}  // namespace taurelin
