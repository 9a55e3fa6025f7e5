#include "expiry/expiry_sweep.h"

#include "handlers/conventions.h"
#include "store/ref_nr.h"

namespace taurelin {

int CheckTimeOuts(TimeOutRegister& timeOuts, HandlerContext& context) {
  return timeOuts.sweep([&](const QString& refnr) {
    const RefNr named(refnr);
    switch (CancelBooking(context, named, CancelScope::kReservationOnly)) {
      case CancelOutcome::kCancelled:
        timeOuts.log(QStringLiteral("Time-out : reservation %1 cancelled").arg(refnr));
        return true;
      case CancelOutcome::kNothingDone:
        timeOuts.log(QStringLiteral("Time-out : reservation %1 has no unconfirmed booking "
                                    "left to cancel")
                         .arg(refnr));
        return true;
      case CancelOutcome::kFailed:
        break;
    }
    // The same number fails the same way every time: trying again would never end.
    if (!named.isNumber()) {
      timeOuts.log(QStringLiteral("Time-out : %1 is no reservation number; entry freed")
                       .arg(refnr));
      return true;
    }
    const HandlerError error = errors::CancellationFailed(refnr);
    timeOuts.log(QStringLiteral("Time-out : reservation %1 not cancelled (%2 %3); tried again "
                                "at the next sweep")
                     .arg(refnr, QLatin1String(error.code), error.message));
    return false;
  });
}

}  // namespace taurelin
