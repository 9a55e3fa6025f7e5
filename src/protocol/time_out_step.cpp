#include "protocol/time_out_step.h"

#include "protocol/reply_envelope.h"

namespace taurelin {
namespace {

const QString kError = QStringLiteral("ERROR");

}  // namespace

void KeepTimeOutRegister(const QString& keyword, const InstructionValues& values,
                         const QString& reply, TimeOutRegister* timeOuts) {
  const QString requestRefnr = values[QLatin1String("REFNR")];
  if (keyword == u"RESERVER") {
    if (GetReplyValue(reply, QStringLiteral("ANLEGGSNR")) == kError) return;
    const QString refnr = GetReplyValue(reply, QStringLiteral("REFNR"));
    if (timeOuts != nullptr) {
      timeOuts->SetTimeOut(requestRefnr, refnr, values[QLatin1String("TIMEOUT")]);
    }
  } else if (keyword == u"BOOKING") {
    const QString refnr = GetReplyValue(reply, QStringLiteral("REFNR"));
    if (refnr == kError) return;
    if (timeOuts != nullptr) timeOuts->SetTimeOut(requestRefnr, refnr, QStringLiteral("0"));
  }
}

}  // namespace taurelin
