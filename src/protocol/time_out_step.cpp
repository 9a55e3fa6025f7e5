#include "protocol/time_out_step.h"

#include "protocol/reply_envelope.h"

namespace taurelin {
namespace {

const QString kError = QStringLiteral("ERROR");

}  // namespace

void KeepTimeOutRegister(const QString& keyword, const InstructionValues& values,
                         const QString& reply, TimeOutRegister* timeOuts) {
  if (keyword != u"BOOKING") return;
  const QString refnr = GetReplyValue(reply, QStringLiteral("REFNR"));
  if (refnr == kError || timeOuts == nullptr) return;
  timeOuts->SetTimeOut(values[QLatin1String("REFNR")], refnr, QStringLiteral("0"));
}

}  // namespace taurelin
