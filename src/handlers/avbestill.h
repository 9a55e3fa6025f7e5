#pragma once

// AVBESTILL: cancels a booking by its reference number. A booking without a booker (a
// reservation never confirmed) is deleted with all its rental lines; a booking with a booker
// is kept and marked cancelled, its lines and its header alike. Either way the booking is
// read and changed in one transaction, so a failure leaves it as it was and answers the
// cancellation error; no failure escapes. An unknown number changes nothing and is no error.

#include "handlers/instruction.h"

namespace taurelin {

// Values: REFNR.
InstructionReply HandleAvbestill(const InstructionValues& values, HandlerContext& context);

}  // namespace taurelin
