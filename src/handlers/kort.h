#pragma once

// KORT: the payment types the web shop may offer. The list is the same for every facility;
// the facility only has to exist. Answers every database failure with its own error reply.

#include "handlers/instruction.h"

namespace taurelin {

// Values: ANLEGGSNR.
void HandleKort(const InstructionValues& values, QString& reply, HandlerContext& context);

}  // namespace taurelin
