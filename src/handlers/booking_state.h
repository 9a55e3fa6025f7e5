#pragma once

// What a booking is now, for the HTTP face's status answers and its checks before a change:
// read from the booking's own rows on the request's database session, so a booker attached
// or a cancellation made by another program is seen at once.

#include "handlers/instruction.h"
#include "store/booking_store.h"

namespace taurelin {

// Throws DatabaseError when the rows cannot be read.
BookingState ReadBookingState(const HandlerContext& context, qint64 refnr);

}  // namespace taurelin
