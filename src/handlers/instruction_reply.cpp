#include "handlers/instruction_reply.h"

#include <utility>

namespace taurelin {

InstructionReply& InstructionReply::fail(HandlerError error) {
  error_ = std::move(error);
  count_ = Count::kZero;
  return *this;
}

InstructionReply& InstructionReply::failCountingRows(HandlerError error) {
  error_ = std::move(error);
  count_ = Count::kRows;
  return *this;
}

InstructionReply& InstructionReply::omitCount() {
  count_ = Count::kNone;
  return *this;
}

InstructionReply& InstructionReply::keepLastSeparator() {
  keepsLastSeparator_ = true;
  return *this;
}

InstructionReply& InstructionReply::setEffect(ReplyEffect effect) {
  effect_ = std::move(effect);
  return *this;
}

}  // namespace taurelin
