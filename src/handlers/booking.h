#pragma once

#include "handlers/instruction.h"

namespace taurelin {

// BOOKING: gives a reservation its booker. A new booker row gets a fresh number and the
// booker's name, address and contact details, and the booking is pointed at it and at the
// agent. The three writes stand or fall together: when one fails, none of them stays and the
// reply carries that failure's error alone. The payment values are accepted and not used.
InstructionReply HandleBooking(const InstructionValues& values, HandlerContext& context);

}  // namespace taurelin
