#pragma once

// The instructions of the protocol, each described once: its keyword, the columns whose
// values its handler receives, the handler, what it does to the time-out register, and
// whether TEST-API lists it. The dispatcher runs requests by this table and TEST-API
// describes the system from it.

#include "handlers/instruction.h"

#include <QLatin1String>
#include <QString>

#include <initializer_list>
#include <span>

namespace taurelin {

struct Instruction {
  enum class TimeOut {
    kNone,
    // Holds units: the handler registers the hold's time-out before committing it.
    kRegistersHold,
    // Ends a hold: after its reply, the register follows its effect.
    kEndsHold,
  };

  QLatin1String keyword;
  std::initializer_list<QLatin1String> columns;
  InstructionHandler handler;
  TimeOut timeOut = TimeOut::kNone;
  bool advertised = true;  // TEST-API lists it
  // Asked only by the web face: the line protocol answers its keyword as an unknown one.
  bool webOnly = false;
};

// Every instruction, in the order TEST-API lists them.
std::span<const Instruction> Instructions();

// The line protocol's instruction of a keyword, matched exactly and case-sensitively; null
// for none.
const Instruction* FindInstruction(const QString& keyword);
// The same for the web face, which also asks the instructions only it may ask.
const Instruction* FindWebInstruction(const QString& keyword);

}  // namespace taurelin
