#pragma once

// The expiry sweep: cancels every reservation whose time-out has passed, through the
// cancellation that AVBESTILL uses, and frees its entry in the time-out register.
//
// Only a reservation that still has no booker is cancelled: booker details end a
// reservation's time-out, so a booking that has them is left alone even when its entry was
// never emptied. A cancellation that fails keeps its entry, so the next sweep tries again
// instead of leaving the units held for good; an entry whose number cannot be a booking's is
// freed. Each expired entry is written to the register's log with what became of it.

#include "expiry/timeout_register.h"
#include "handlers/instruction.h"

namespace taurelin {

// Runs one sweep over the register with the database of `context`. Returns how many
// expired entries it handled. Throws what TimeOutRegister::sweep throws.
int CheckTimeOuts(TimeOutRegister& timeOuts, HandlerContext& context);

}  // namespace taurelin
