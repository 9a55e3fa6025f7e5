#include "handlers/bekreft.h"

#include "handlers/conventions.h"

namespace taurelin {

InstructionReply HandleBekreft(const InstructionValues& values, HandlerContext& context) {
  const QString refnr = values[QLatin1String("REFNR")];
  InstructionReply reply(QStringLiteral("INSTRUKSJON;REFNR"));
  namespace fail = errors::confirmation;
  switch (Store(context).ConfirmBooker(refnr.toLongLong(), values[QLatin1String("NOKKEL")],
                                       context.events)) {
    case ConfirmOutcome::kConfirmed:
      reply.addRow({QStringLiteral("BEKREFT"), refnr});
      return reply.setEffect({ReplyEffect::Kind::kBookerAttached, refnr, QString()});
    case ConfirmOutcome::kWrongKey:
      return reply.fail(fail::WrongKey());
    case ConfirmOutcome::kNotWaiting:
      return reply.fail(fail::NotAwaiting(refnr));
    case ConfirmOutcome::kFailed:
      break;
  }
  return reply.fail(fail::Failed(refnr));
}

}  // namespace taurelin
