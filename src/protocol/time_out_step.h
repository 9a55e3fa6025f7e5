#pragma once

// The register step that follows an instruction that ends a hold: booker details empty the
// entry of their reservation, since such a booking no longer expires. A reply without that
// effect (an error reply among them) leaves the register as it is. The register's own
// result is not looked at: an entry left standing only makes a sweep find the booking
// finished.
//
// A reservation needs no step after it: RESERVER registers its own time-out while its
// booking is still uncommitted (HandlerContext::registerTimeOut), so that no hold is ever
// committed without its entry.

#include "expiry/timeout_register.h"
#include "handlers/instruction_reply.h"

#include <QString>

namespace taurelin {

// Follows `effect` of a reply to a row whose REFNR was `requestRefnr`; nothing without a
// register (`timeOuts` null).
void KeepTimeOutRegister(const QString& requestRefnr, const ReplyEffect& effect,
                         TimeOutRegister* timeOuts);

}  // namespace taurelin
