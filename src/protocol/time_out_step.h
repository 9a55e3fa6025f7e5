#pragma once

// The register step that follows BOOKING: booker details empty the entry of their
// reservation, since such a booking no longer expires. A reply that carries an error leaves
// the register as it is. The step never changes the reply, and the register's own result is
// not looked at: an entry left standing only makes a sweep find the booking finished.
//
// A reservation needs no step after it: RESERVER registers its own time-out while its
// booking is still uncommitted (HandlerContext::registerTimeOut), so that no hold is ever
// committed without its entry.

#include "expiry/timeout_register.h"
#include "handlers/instruction.h"

#include <QString>

namespace taurelin {

// Runs the step for a row of `keyword` whose handler got `values` and left `reply`; other
// keywords have no step. The reply is read even without a register (`timeOuts` null), so
// that a reply without a readable count ends the request alike, with ReplyFormatError.
void KeepTimeOutRegister(const QString& keyword, const InstructionValues& values,
                         const QString& reply, TimeOutRegister* timeOuts);

}  // namespace taurelin
