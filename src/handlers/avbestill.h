#pragma once

// AVBESTILL: cancels a booking by its reference number. A booking without a booker (a
// reservation never confirmed) is deleted with all its rental lines; a booking with a booker
// is kept and marked cancelled, its lines and its header alike. Either way the booking is
// read and changed in one transaction, so a failure leaves it as it was and answers the
// cancellation error; no failure escapes. An unknown number changes nothing and is no error.

#include "handlers/instruction.h"
#include "store/booking_store.h"

#include <QString>

namespace taurelin {

// Values: REFNR.
void HandleAvbestill(const InstructionValues& values, QString& reply, HandlerContext& context);

// The same for a reference number at hand; the expiry sweep cancels with it, in the scope of
// reservations only (CancelScope): a booking with a booker is left as it is, and the reply
// stays the bare header, as for an unknown number.
void Avbestill(const QString& refnr, QString& reply, HandlerContext& context,
               CancelScope scope = CancelScope::kAnyBooking);

}  // namespace taurelin
