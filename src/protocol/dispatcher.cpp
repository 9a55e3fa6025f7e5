#include "protocol/dispatcher.h"

#include "protocol/instruction_table.h"
#include "protocol/time_out_step.h"

namespace taurelin {

InstructionReply RunInstruction(const Instruction& instruction, const InstructionValues& values,
                                RequestContext& context) {
  HandlerContext handlers = context.handlers;
  TimeOutRegister* timeOuts = context.timeOuts;
  if (instruction.timeOut == Instruction::TimeOut::kRegistersHold && timeOuts != nullptr) {
    handlers.registerTimeOut = [timeOuts](const QString& requestRefnr, const QString& refnr,
                                          const QString& timeOut) {
      timeOuts->SetTimeOutOrThrow(requestRefnr, refnr, timeOut);
    };
  }
  InstructionReply reply = instruction.handler(values, handlers);
  if (instruction.timeOut == Instruction::TimeOut::kEndsHold) {
    KeepTimeOutRegister(values[QLatin1String("REFNR")], reply.effect(), timeOuts);
  }
  return reply;
}

std::optional<InstructionReply> ExecuteInstruction(const TAPI_DataControl* rows,
                                                   RequestContext& context) {
  std::optional<InstructionReply> reply;
  for (const TAPI_DataControl* row = rows; row != nullptr; row = row->next.get()) {
    reply.reset();
    const Instruction* instruction = FindInstruction(row->keyword);
    if (instruction == nullptr) continue;
    InstructionValues values;
    for (QLatin1String column : instruction->columns) {
      values.set(column, GetValue(row->values.get(), column));
    }
    reply = RunInstruction(*instruction, values, context);
  }
  return reply;
}

}  // namespace taurelin
