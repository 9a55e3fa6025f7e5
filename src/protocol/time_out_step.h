#pragma once

// The register step that follows RESERVER and BOOKING: it keeps the time-out register in
// step with what the handler did. A reservation registers its time-out under the reference
// number of its reply; booker details empty that entry, since such a booking no longer
// expires. A reply that carries an error leaves the register as it is. The step never
// changes the reply, and the register's own result is not looked at: a failed registration
// only means that the reservation will not expire.

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
