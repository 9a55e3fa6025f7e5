#pragma once

// UTYPE: the rental types a facility actually has, each with the number of its rental
// objects there. The type numbers answered are those the availability and reservation
// instructions accept. Answers every database failure with its own error reply.

#include "handlers/instruction.h"

namespace taurelin {

// Values: ANLEGGSNR.
InstructionReply HandleUtype(const InstructionValues& values, HandlerContext& context);

}  // namespace taurelin
