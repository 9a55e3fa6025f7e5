#pragma once

#include "handlers/instruction.h"

namespace taurelin {

// LEDIG: for a stay, the free units of each rental type of a facility (or of all, "-1") and
// the price of the stay per board type, from the web prices that fit the stay.
InstructionReply HandleLedig(const InstructionValues& values, HandlerContext& context);

}  // namespace taurelin
