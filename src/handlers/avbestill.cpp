#include "handlers/avbestill.h"

#include "handlers/conventions.h"

namespace taurelin {
namespace {

constexpr QLatin1String kColumns("INSTRUKSJON;REFNR");

}  // namespace

InstructionReply HandleAvbestill(const InstructionValues& values, HandlerContext& context) {
  const RefNr named(values[QLatin1String("REFNR")]);
  const QString& refnr = named.text();
  InstructionReply reply(kColumns);
  switch (CancelBooking(context, named, CancelScope::kAnyBooking, context.events)) {
    case CancelOutcome::kCancelled:
      reply.addRow({QStringLiteral("AVBESTILL"), refnr});
      return reply;
    case CancelOutcome::kNothingDone:
      // The reply is the bare header, without count or error.
      return reply.omitCount();
    case CancelOutcome::kFailed:
      return reply.fail(errors::CancellationFailed(refnr));
  }
  return reply.fail(errors::CancellationFailed(refnr));
}

}  // namespace taurelin
