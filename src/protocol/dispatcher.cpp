#include "protocol/dispatcher.h"

#include "protocol/instruction_table.h"
#include "protocol/time_out_step.h"

#include <algorithm>

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
  if (instruction.timeOut == Instruction::TimeOut::kEndsHold && timeOuts != nullptr &&
      handlers.confirmSeconds > 0) {
    handlers.extendHold = [timeOuts](const QString& refnr,
                                     int seconds) -> std::optional<QDateTime> {
      const std::optional<QDateTime> ends = timeOuts->expiryOf(refnr);
      if (!ends || seconds <= 0) return ends;
      const QDateTime now = QDateTime::currentDateTime();
      const QDateTime later = std::max(*ends, now).addSecs(seconds);
      // Whole seconds, rounded up: the register keeps the second the hold ends in.
      const qint64 secondsLeft = (now.msecsTo(later) + 999) / 1000;
      timeOuts->SetTimeOutOrThrow(refnr, refnr, QString::number(secondsLeft));
      return later;
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
