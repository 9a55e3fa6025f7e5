#include "protocol/time_out_step.h"

namespace taurelin {

void KeepTimeOutRegister(const QString& requestRefnr, const ReplyEffect& effect,
                         TimeOutRegister* timeOuts) {
  if (effect.kind != ReplyEffect::Kind::kBookerAttached || timeOuts == nullptr) return;
  timeOuts->SetTimeOut(requestRefnr, effect.refnr, QStringLiteral("0"));
}

}  // namespace taurelin
