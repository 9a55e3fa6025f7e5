#pragma once

// The two instructions with which a client checks the server without touching the booking
// database: TEST-API describes the system and its instructions, OM_TN_API reports the
// host's regional settings. Neither takes values nor fails.

#include "handlers/instruction.h"

namespace taurelin {

// TEST-API lists the instructions that the instruction table advertises.
InstructionReply HandleTestApi(const InstructionValues& values, HandlerContext& context);
InstructionReply HandleOmTnApi(const InstructionValues& values, HandlerContext& context);

}  // namespace taurelin
