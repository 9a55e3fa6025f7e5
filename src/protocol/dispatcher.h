#pragma once

// The instruction dispatcher: runs each data row's handler by its keyword (InstructionTable).

#include "handlers/instruction_reply.h"
#include "protocol/instruction_table.h"
#include "protocol/request_context.h"
#include "protocol/request_objects.h"

#include <optional>

namespace taurelin {

// Runs the rows from `rows` on, in order, and returns the reply that the last row left. A row
// whose keyword names no instruction (also the empty keyword) leaves no reply. An instruction
// that holds units gets the register to record its time-out in; after one that ends a hold,
// the register follows the reply's effect (KeepTimeOutRegister). A failure of a lookup or a
// handler is thrown and ends the request.
std::optional<InstructionReply> ExecuteInstruction(const TAPI_DataControl* rows,
                                                   RequestContext& context);

// Runs one instruction on values at hand, as ExecuteInstruction runs a row of it: the
// register for its time-out and the step after its reply included. Every face of the
// server that is not the line protocol comes in here.
InstructionReply RunInstruction(const Instruction& instruction, const InstructionValues& values,
                                RequestContext& context);

}  // namespace taurelin
