#include "web/guest_rules.h"

#include <algorithm>

namespace taurelin {
namespace {

ApiError TooMany(const QString& code, const QString& message, qint64 waitMs) {
  const qint64 seconds = std::max<qint64>(1, (waitMs + 999) / 1000);
  ApiError error{429, code, message};
  error.headers.append({QByteArrayLiteral("Retry-After"), QByteArray::number(seconds)});
  return error;
}

}  // namespace

std::optional<ApiError> GuestRules::checkHold(const QString& client, int units,
                                              int timeoutSeconds, qint64 nowMs,
                                              const StateOf& stateOf) {
  if (units > limits_.maxUnits) {
    return BadRequest(QStringLiteral("guest_limit"),
                      QStringLiteral("a guest may hold at most %1 units at once")
                          .arg(limits_.maxUnits));
  }
  if (timeoutSeconds > limits_.holdSeconds) {
    return BadRequest(QStringLiteral("guest_limit"),
                      QStringLiteral("a guest's hold lasts at most %1 seconds; ask for a "
                                     "shorter timeout")
                          .arg(limits_.holdSeconds));
  }
  QList<GuestLedger::Hold> live = ledger_.liveHolds(client, nowMs);
  if (live.size() < limits_.maxHolds) return std::nullopt;
  // Only now is the database asked, and only of this client's few holds.
  live.removeIf([&](const GuestLedger::Hold& hold) {
    if (stateOf(hold.refnr) == BookingState::kHeld) return false;
    ledger_.dropHold(hold.refnr);
    return true;
  });
  if (live.size() < limits_.maxHolds) return std::nullopt;
  return TooMany(QStringLiteral("too_many_holds"),
                 QStringLiteral("this address holds %1 reservations without a booker; give "
                                "one its booker or cancel one first")
                     .arg(live.size()),
                 live.first().endsMs - nowMs);
}

std::optional<ApiError> GuestRules::checkBooker(const QString& client, qint64 nowMs) {
  const QList<qint64> bookings = ledger_.bookings(client, nowMs);
  if (bookings.size() < limits_.maxBookingsPerDay) return std::nullopt;
  return TooMany(QStringLiteral("too_many_bookings"),
                 QStringLiteral("this address has booked %1 times in the last 24 hours")
                     .arg(bookings.size()),
                 bookings.first() + GuestLedger::kDayMs - nowMs);
}

void GuestRules::held(const QString& client, qint64 refnr, int timeoutSeconds, qint64 nowMs) {
  ledger_.addHold(client, refnr, nowMs + qint64{timeoutSeconds} * 1000, nowMs);
}

}  // namespace taurelin
