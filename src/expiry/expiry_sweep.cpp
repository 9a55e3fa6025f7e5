#include "expiry/expiry_sweep.h"

#include "handlers/avbestill.h"
#include "store/statement.h"

namespace taurelin {

int CheckTimeOuts(TimeOutRegister& timeOuts, HandlerContext& context) {
  return timeOuts.sweep([&](const QString& refnr) {
    QString reply;
    Avbestill(refnr, reply, context, CancelScope::kReservationOnly);
    if (reply.startsWith(u"&count=1")) {
      timeOuts.log(QStringLiteral("Time-out : reservation %1 cancelled").arg(refnr));
      return true;
    }
    const qsizetype error = reply.indexOf(u"&errorcode=");
    if (error < 0) {
      timeOuts.log(QStringLiteral("Time-out : reservation %1 has no unconfirmed booking left "
                                  "to cancel")
                       .arg(refnr));
      return true;
    }
    // The same number fails the same way every time: trying again would never end.
    if (!NumericLiteral(refnr)) {
      timeOuts.log(QStringLiteral("Time-out : %1 is no reservation number; entry freed")
                       .arg(refnr));
      return true;
    }
    timeOuts.log(QStringLiteral("Time-out : reservation %1 not cancelled (%2); tried again at "
                                "the next sweep")
                     .arg(refnr, reply.mid(error + 1)));
    return false;
  });
}

}  // namespace taurelin
