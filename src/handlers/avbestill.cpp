#include "handlers/avbestill.h"

#include "handlers/conventions.h"
#include "handlers/reply_builder.h"

namespace taurelin {
namespace {

constexpr QLatin1String kColumns("INSTRUKSJON;REFNR");

}  // namespace

void HandleAvbestill(const InstructionValues& values, QString& reply, HandlerContext& context) {
  Avbestill(values[QLatin1String("REFNR")], reply, context);
}

void Avbestill(const QString& refnr, QString& reply, HandlerContext& context,
               CancelScope scope) {
  ReplyBuilder builder(reply, kColumns);
  switch (Store(context).Cancel(refnr, scope)) {
    case CancelOutcome::kCancelled:
      builder.addRow({QStringLiteral("AVBESTILL"), refnr});
      builder.finish();
      return;
    case CancelOutcome::kNothingDone:
      // The reply stays the bare header, without count or error.
      return;
    case CancelOutcome::kFailed:
      builder.fail(errors::CancellationFailed(refnr));
      return;
  }
}

}  // namespace taurelin
