#include "handlers/kort.h"

#include "handlers/conventions.h"
#include "store/backend.h"

namespace taurelin {

InstructionReply HandleKort(const InstructionValues& values, HandlerContext& context) {
  const QString facility = values[QLatin1String("ANLEGGSNR")];
  InstructionReply reply(QStringLiteral("INSTRUKSJON;ANLEGGSNR;KORT;TEKST;GYLDIG"));

  if (Refusal refusal = Check([&] { return CompanyLookup(context, facility); },
                              errors::InvalidFacility(facility),
                              errors::CompanyLookupFailed(facility, DatabaseName(context)))) {
    return reply.fail(*refusal);
  }

  try {
    Statement s = SessionStatement(context);
    s.add({"SELECT",
           "  BKODE KORT,",
           "  BESKR TEKST",
           "FROM",
           "  BETFORM",
           "WHERE",
           "  GYLDIG = 'J' OR GYLDIG IS NULL"});
    s.add(QStringLiteral("ORDER BY ") +
          Store(context).backend().textOrderKey(QStringLiteral("BKODE")));
    s.run();
    // The shop asked for one facility, but payment types belong to none: always "0".
    while (s.next()) {
      reply.addRow({QStringLiteral("KORT"), QStringLiteral("0"), s.text(QStringLiteral("KORT")),
                      s.text(QStringLiteral("TEKST")), QStringLiteral("J")});
    }
  } catch (const DatabaseError&) {
    return reply.fail(errors::PaymentTypesFailed(DatabaseName(context)));
  }

  if (reply.rowCount() == 0) {
    return reply.fail(errors::NoPaymentTypes());
  }
  return reply;
}

}  // namespace taurelin
