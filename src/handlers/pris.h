#pragma once

// PRIS: the web price list, every price line marked for the web that is still valid, for one
// rental type or for all. Prices are not tied to a facility, so the request must name
// facility "0". Answers every database failure with its own error reply.

#include "handlers/instruction.h"

namespace taurelin {

// Values: ANLEGGSNR, UTYPE, UTL_OBJ.
InstructionReply HandlePris(const InstructionValues& values, HandlerContext& context);

}  // namespace taurelin
