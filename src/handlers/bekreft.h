#pragma once

// BEKREFT (asked by the web face only): the guest confirms, with the key its mail carried, a
// booking whose booker waited for that. The booker is linked and the hold becomes a booking
// in one transaction, which also writes the mails of a new booking; the key confirms once.
// A wrong or used key, or a booking that awaits nothing, changes nothing.

#include "handlers/instruction.h"

namespace taurelin {

// Values: REFNR, NOKKEL.
InstructionReply HandleBekreft(const InstructionValues& values, HandlerContext& context);

}  // namespace taurelin
