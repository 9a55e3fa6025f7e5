#pragma once

// Runs one request to an endpoint of the table for a caller the face has identified and
// whose budget it has charged: reads the request's values strictly, lets the caller act on a
// booking only by its code (or a manage key), keeps the guest limits, answers a repeated
// write with its Idempotency-Key by the first answer, and runs the endpoint's instruction
// through the dispatcher exactly as a line-protocol row runs. A reservation's answer carries
// its booking code; a booking's answer carries its status. A guest's booker that must be
// confirmed from its mail is answered 202, its booking still a hold.
//
// Promises: a caller without the booking's code is answered exactly as for a number that
// does not exist, before the database is asked anything; a write refused by a rule here
// writes nothing; nothing of a key or a code reaches the log.

#include "protocol/request_context.h"
#include "web/guest_rules.h"
#include "web/http_access.h"
#include "web/idempotency_cache.h"

#include <QHttpServerResponse>

#include <functional>

class QHttpServerRequest;

namespace taurelin {

struct Endpoint;

class EndpointRunner {
 public:
  struct Settings {
    qint64 maxBodyBytes = 64 * 1024;
    GuestLimits guests;
  };
  // What the face learns of a request for its log, beyond the answer.
  struct Trace {
    QString refnr;  // the booking the request wrote, when it wrote one
    bool limited = false;  // refused by a budget: summarised in the log, not written alone
  };

  EndpointRunner(Settings settings, HttpAccess& access,
                 std::function<RequestContext()> context, std::function<void(const QString&)> log);

  QHttpServerResponse run(const Endpoint& endpoint, const QHttpServerRequest& request,
                          const QString& pathValue, const Caller& caller, Trace& trace);

 private:
  // The instruction's answer, with what the face adds to it.
  QHttpServerResponse runInstruction(const Endpoint& endpoint, const InstructionValues& values,
                                     const QString& pathValue, const Caller& caller, RequestContext& context,
                                     Trace& trace, bool* ran);
  // Before the instruction: the rules that depend on the booking and on the guest.
  std::optional<ApiError> checkBefore(const Endpoint& endpoint, const InstructionValues& values,
                                      const Caller& caller, RequestContext& context);
  // The booking's status for its answer: "held" with the moment the hold ends (or
  // "awaiting_confirmation", a hold whose booker waits for its guest's confirmation),
  // "booked" or "cancelled"; false when the booking is gone.
  bool addStatus(QJsonObject& answer, qint64 refnr, RequestContext& context);

  Settings settings_;
  HttpAccess& access_;
  std::function<RequestContext()> context_;
  std::function<void(const QString&)> log_;
  GuestRules guests_;
  IdempotencyCache idempotency_;
};

}  // namespace taurelin
