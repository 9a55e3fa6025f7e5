#pragma once

// KORT: the payment types the web shop may offer. The list is the same for every facility;
// the facility only has to exist. Answers every database failure with its own error reply.

#include "handlers/instruction.h"

namespace taurelin {

// Values: ANLEGGSNR.
InstructionReply HandleKort(const InstructionValues& values, HandlerContext& context);

}  // namespace taurelin
