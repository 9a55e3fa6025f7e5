#pragma once

// LEDIGMATRISE: the availability matrix of a period. For every day from FRA to TIL and every
// rental type of a facility (or of all facilities, "-1"), the free units, the units held as
// allotment for the agent and the units on offer, as the database's HENT_LEDIG_MATRISE
// computes them; the booking store counts them in memory from the rows it reads, with the
// engine that procedure uses, and takes the arguments as the procedure does. No prices.
//
// A facility that is not an integer is thrown (ConversionError) and fails the request; every
// database failure becomes this instruction's error reply.

#include "handlers/instruction.h"

namespace taurelin {

// Values: ANLEGGSNR, UTYPE, UTL_OBJ, AGENT, FRA, TIL.
InstructionReply HandleLedigmatrise(const InstructionValues& values, HandlerContext& context);

}  // namespace taurelin
