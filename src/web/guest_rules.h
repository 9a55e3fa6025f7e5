#pragma once

// What a guest (a caller without a key) may hold and book, so that strangers cannot take a
// business's inventory: at most `maxUnits` units in one hold, for at most `holdSeconds`
// (a longer time-out is refused, never shortened behind the guest's back), at most
// `maxHolds` live holds without a booker per address, and at most `maxBookingsPerDay`
// bookers attached per address in 24 hours. Whether a remembered hold is still one is asked
// of the booking database each time, so a hold booked, cancelled or ended by any program
// frees its place at once.

#include "store/booking_store.h"
#include "web/api_error.h"
#include "web/guest_ledger.h"

#include <functional>
#include <optional>

namespace taurelin {

struct GuestLimits {
  int maxUnits = 4;
  int holdSeconds = 900;
  int maxHolds = 3;
  int maxBookingsPerDay = 5;
  // Above 0: a guest's booker does not finish the booking; the hold is kept this many seconds
  // longer, for the guest to confirm it from the mail it is sent (GuestConfirmByMail).
  int confirmSeconds = 0;
};

class GuestRules {
 public:
  // What a booking is now; throws DatabaseError.
  using StateOf = std::function<BookingState(qint64 refnr)>;

  explicit GuestRules(GuestLimits limits) : limits_(limits) {}

  // Before a guest's hold of `units` for `timeoutSeconds` from the address `client`.
  std::optional<ApiError> checkHold(const QString& client, int units, int timeoutSeconds,
                                    qint64 nowMs, const StateOf& stateOf);
  // Before a guest from `client` attaches a booker.
  std::optional<ApiError> checkBooker(const QString& client, qint64 nowMs);

  void held(const QString& client, qint64 refnr, int timeoutSeconds, qint64 nowMs);
  void booked(const QString& client, qint64 nowMs) { ledger_.addBooking(client, nowMs); }
  // The hold `refnr` is one no more, whoever placed it.
  void ended(qint64 refnr) { ledger_.dropHold(refnr); }

 private:
  GuestLimits limits_;
  GuestLedger ledger_;
};

}  // namespace taurelin
