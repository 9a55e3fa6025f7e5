#pragma once

// HENTBOOK: what a booking holds. One row per object line of the booking (the lines that
// occupy units), in the columns in which a reservation is asked for, so that a client can
// show it: rental type, object, stay, price method, units, persons, agent and price. The
// rental-type lines are not listed. Reads only; every failure becomes an error reply.

#include "handlers/instruction.h"

namespace taurelin {

// Values: REFNR.
InstructionReply HandleHentbook(const InstructionValues& values, HandlerContext& context);

}  // namespace taurelin
