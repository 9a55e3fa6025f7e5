#include "handlers/booking_state.h"

#include "handlers/conventions.h"

namespace taurelin {

BookingState ReadBookingState(const HandlerContext& context, qint64 refnr) {
  return Store(context).State(refnr);
}

}  // namespace taurelin
