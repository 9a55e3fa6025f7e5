#include "web/http_access.h"

#include "web/address_key.h"
#include "web/request_values.h"

#include <QDate>
#include <QHttpServerRequest>
#include <QRegularExpression>

#include <algorithm>

namespace taurelin {
namespace {

// The Host header's name or address, lower-case, without its port and an IPv6 address's
// brackets.
QString HostName(const QByteArray& host) {
  QString name = QString::fromLatin1(host.trimmed()).toLower();
  if (name.startsWith(u'[')) {
    const qsizetype end = name.indexOf(u']');
    return end < 0 ? QString() : name.mid(1, end - 1);
  }
  const qsizetype colon = name.indexOf(u':');
  if (colon >= 0) name.truncate(colon);
  return name;
}

// An address in one notation, so that "::1" and "0:0::1" are the same; a name in lower
// case, without the final dot of its fully qualified form.
QString Normal(QString host) {
  host = host.trimmed().toLower();
  if (host.startsWith(u'[') && host.endsWith(u']')) host = host.mid(1, host.size() - 2);
  QHostAddress address;
  if (address.setAddress(host)) return address.toString().toLower();
  if (host.endsWith(u'.')) host.chop(1);
  return host;
}

}  // namespace

QString Caller::name() const {
  return key ? QStringLiteral("key ") + key->name : QStringLiteral("guest");
}

QString Caller::budget() const {
  return key ? QStringLiteral("key ") + key->name : addressKey;
}

ApiError Unauthorized(const QString& why, bool keySent) {
  ApiError error{401, QStringLiteral("unauthorized"), why};
  error.headers.append({QByteArrayLiteral("WWW-Authenticate"),
                        keySent ? QByteArrayLiteral("Bearer realm=\"taurelin\", "
                                                    "error=\"invalid_token\"")
                                : QByteArrayLiteral("Bearer realm=\"taurelin\"")});
  return error;
}

HttpAccess::HttpAccess(HttpAccessSettings settings, ApiKeys::Log log)
    : settings_(std::move(settings)),
      keys_(settings_.keyFile.isEmpty() ? ApiKeys() : ApiKeys(settings_.keyFile, std::move(log))),
      codes_(settings_.secret) {
  for (QString& host : settings_.allowedHosts) host = Normal(host);
}

std::optional<ApiError> HttpAccess::checkHost(const QHttpServerRequest& request) const {
  const QByteArray host = request.value(QByteArrayLiteral("Host"));
  if (host.trimmed().isEmpty()) {
    return BadRequest(QStringLiteral("missing_host"), QStringLiteral("the request names no Host"));
  }
  if (settings_.allowedHosts.contains(Normal(HostName(host)))) return std::nullopt;
  return ApiError{421, QStringLiteral("misdirected_request"),
                  QStringLiteral("this server does not answer for the host the request names")};
}

Caller HttpAccess::locate(const QHttpServerRequest& request, const QHostAddress& peer) const {
  Caller caller;
  QByteArray forwarded;
  for (const auto& [name, value] : request.headers()) {
    if (name.compare("X-Forwarded-For", Qt::CaseInsensitive) != 0) continue;
    if (!forwarded.isEmpty()) forwarded += ',';
    forwarded += value;
  }
  caller.address = ClientAddress(peer, forwarded, settings_.proxies);
  caller.addressKey = AddressKey(caller.address);
  return caller;
}

std::optional<ApiError> HttpAccess::authenticate(const QHttpServerRequest& request,
                                                 Caller& caller) {
  const QByteArray authorization = request.value(QByteArrayLiteral("Authorization")).trimmed();
  if (authorization.isEmpty()) return std::nullopt;
  static const QRegularExpression kBearer(QRegularExpression::anchoredPattern(
                                              QStringLiteral("bearer +([A-Za-z0-9._~+/-]+=*)")),
                                          QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch bearer = kBearer.match(QString::fromLatin1(authorization));
  if (!bearer.hasMatch()) {
    return Unauthorized(QStringLiteral("Authorization takes a key: Bearer KEY"), true);
  }
  caller.key = keys_.find(bearer.captured(1).toLatin1());
  if (!caller.key) return Unauthorized(QStringLiteral("the key is not known"), true);
  return std::nullopt;
}

std::optional<ApiError> HttpAccess::authorize(const Caller& caller,
                                              Endpoint::Access access) const {
  if (!caller.key) return std::nullopt;
  using Access = Endpoint::Access;
  const Scope needed = access == Access::kRead || access == Access::kReadBooking
                           ? Scope::kRead
                           : Scope::kReserve;
  if (caller.key->allows(needed)) return std::nullopt;
  return ApiError{403, QStringLiteral("forbidden"),
                  QStringLiteral("the key %1 has no %2 scope")
                      .arg(caller.key->name, needed == Scope::kRead ? QStringLiteral("read")
                                                                    : QStringLiteral("reserve"))};
}

std::optional<ApiError> HttpAccess::authorizeMetrics(const Caller& caller) const {
  if (!caller.key) return Unauthorized(QStringLiteral("the metrics need a manage key"), false);
  if (caller.manages()) return std::nullopt;
  return ApiError{403, QStringLiteral("forbidden"),
                  QStringLiteral("the key %1 has no manage scope").arg(caller.key->name)};
}

std::optional<ApiError> HttpAccess::spend(const Caller& caller, bool write, double cost) {
  const RateLimits& rates = settings_.rates;
  RatePolicy policy;
  policy.name = write ? QByteArrayLiteral("writes") : QByteArrayLiteral("reads");
  policy.quota = caller.key ? (write ? rates.keyWrites : rates.keyReads)
                            : (write ? rates.guestWrites : rates.guestReads);
  const RateDecision decision = limiter_.take(caller.budget(), policy, cost);
  if (decision.allowed) return std::nullopt;
  ApiError error{429, QStringLiteral("too_many_requests"),
                 QStringLiteral("too many %1 from this client; try again in %2 s")
                     .arg(QString::fromLatin1(policy.name))
                     .arg(decision.retryAfterSeconds)};
  error.headers = {{QByteArrayLiteral("Retry-After"),
                    QByteArray::number(decision.retryAfterSeconds)},
                   {QByteArrayLiteral("RateLimit-Policy"), RateLimitPolicyHeader(policy)},
                   {QByteArrayLiteral("RateLimit"), RateLimitHeader(policy, decision)}};
  return error;
}

bool HttpAccess::mayActOn(const Caller& caller, const QHttpServerRequest& request,
                          qint64 refnr) const {
  if (caller.manages()) return true;
  return codes_.matches(refnr, request.value(QByteArrayLiteral("Booking-Code")).trimmed());
}

double RequestCost(const Endpoint& endpoint, const InstructionValues& values) {
  QLatin1String first, last;
  if (endpoint.keyword == QLatin1String("LEDIG")) {
    first = QLatin1String("ANKOMST");
    last = QLatin1String("AVREISE");
  } else if (endpoint.keyword == QLatin1String("LEDIGMATRISE")) {
    first = QLatin1String("FRA");
    last = QLatin1String("TIL");
  } else {
    return 1;
  }
  const qint64 days = ProtocolDate(values[first]).daysTo(ProtocolDate(values[last])) + 1;
  return 1 + static_cast<double>(std::max<qint64>(0, (days - 31 + 30) / 31));
}

}  // namespace taurelin
