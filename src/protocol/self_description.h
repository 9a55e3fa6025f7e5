#pragma once

// The two instructions with which a client checks the server without touching the booking
// database: TEST-API describes the system and its instructions, OM_TN_API reports the
// host's regional settings. Neither takes values nor fails.

#include "handlers/instruction.h"

namespace taurelin {

void HandleTestApi(const InstructionValues& values, QString& reply, HandlerContext& context);
void HandleOmTnApi(const InstructionValues& values, QString& reply, HandlerContext& context);

}  // namespace taurelin
