#pragma once

// ANLEGG: the business's facilities, number and name, in number order, so that a guest
// chooses a facility by its name. Asked only by the web face. Answers a database failure
// with its own error reply.

#include "handlers/instruction.h"

namespace taurelin {

// Values: none.
InstructionReply HandleAnlegg(const InstructionValues& values, HandlerContext& context);

}  // namespace taurelin
