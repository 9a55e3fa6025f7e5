#pragma once

// Who is asking the HTTP face, and what they may do. Anyone on the internet may reach the
// face, so a request proves what it may do or may do only what a guest may:
// - The Host it names must be one of the face's own names (a page on another site cannot
//   reach a server on a staff machine through DNS rebinding).
// - An integrator sends "Authorization: Bearer KEY"; a key that is malformed or unknown is
//   refused (401), never taken for a guest; a key without the scope an endpoint needs is
//   refused (403).
// - A booking is acted on by its code (the Booking-Code header), or by a manage key.
// - Every caller spends from a budget of reads and one of writes: a guest's by its address,
//   an integrator's by its key.
//
// Promises: nothing here touches the booking database, so a refused request costs none of
// its work; no key and no code is ever part of what it returns for the log.

#include "handlers/instruction.h"
#include "web/api_error.h"
#include "web/api_keys.h"
#include "web/booking_code.h"
#include "web/client_address.h"
#include "web/endpoint_table.h"
#include "web/rate_limiter.h"

#include <QHostAddress>
#include <QStringList>

#include <optional>

class QHttpServerRequest;

namespace taurelin {

struct Caller {
  QHostAddress address;       // the client's, past the trusted proxies
  QString addressKey;         // what its address's limits are kept under
  std::optional<ApiKey> key;  // set: an integrator

  bool manages() const { return key && key->allows(Scope::kManage); }
  // How the log names it: "key NAME" or "guest".
  QString name() const;
  // Whose budgets it spends.
  QString budget() const;
};

// The budgets, in units of cost a minute. A person clicking through the booking page never
// meets a guest's; a script looping over the API does.
struct RateLimits {
  int guestReads = 120;
  int guestWrites = 20;
  int keyReads = 1200;
  int keyWrites = 300;
};

struct HttpAccessSettings {
  // The names a request's Host may give (without a port), lower-case names or addresses.
  QStringList allowedHosts;
  TrustedProxies proxies;
  QString keyFile;     // empty: no keys, every caller is a guest
  QByteArray secret;   // of the booking codes
  RateLimits rates;
};

class HttpAccess {
 public:
  // Throws ApiKeyError when the key file cannot be read, BookingCodeError for a secret too
  // short.
  HttpAccess(HttpAccessSettings settings, ApiKeys::Log log);

  // Nothing when the request's Host is one of ours; else 400 (none) or 421 (another's).
  std::optional<ApiError> checkHost(const QHttpServerRequest& request) const;
  // The caller of a request that came from `peer`, as a guest.
  Caller locate(const QHttpServerRequest& request, const QHostAddress& peer) const;
  // Gives `caller` the key the request carries; the 401 for a key that is no key.
  std::optional<ApiError> authenticate(const QHttpServerRequest& request, Caller& caller);
  // Nothing when `caller` may use an endpoint of `access`; else 403 for a key without the
  // scope.
  std::optional<ApiError> authorize(const Caller& caller, Endpoint::Access access) const;
  // /metrics and the channels' report: a manage key's alone (401 for a guest, 403 for
  // another key).
  std::optional<ApiError> authorizeMetrics(const Caller& caller) const;
  // Spends `cost` from the caller's budget of reads or writes; the 429 when it is spent.
  std::optional<ApiError> spend(const Caller& caller, bool write, double cost);

  // Whether the request carries the code of booking `refnr`, or the caller manages.
  bool mayActOn(const Caller& caller, const QHttpServerRequest& request, qint64 refnr) const;
  QString codeFor(qint64 refnr) const { return codes_.codeFor(refnr); }

 private:
  HttpAccessSettings settings_;
  ApiKeys keys_;
  BookingCodes codes_;
  RateLimiter limiter_;
};

// The 401 answer: the header that names the scheme (and, for a key sent that is none, that
// the key is not valid), and why.
ApiError Unauthorized(const QString& why, bool keySent);

// What a request to `endpoint` with these values costs of its budget: 1, and for the
// availability and its matrix 1 more for each 31 days begun past the first 31, so that a
// year of days costs what twelve stays do.
double RequestCost(const Endpoint& endpoint, const InstructionValues& values);

}  // namespace taurelin
