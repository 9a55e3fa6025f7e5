#pragma once

#include "handlers/instruction.h"

namespace taurelin {

// RESERVER: holds units of a rental type at a facility for a stay, at the web price of one
// board type, for an agent, as a new booking or added to an existing one. The check that
// enough units are free and the booking's writes hold the database's write lock together,
// so two servers on one database never sell the same last unit twice.
InstructionReply HandleReserver(const InstructionValues& values, HandlerContext& context);

}  // namespace taurelin
