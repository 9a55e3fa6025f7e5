#include "handlers/kort.h"

#include "handlers/conventions.h"
#include "handlers/reply_builder.h"
#include "store/dialect.h"

namespace taurelin {

void HandleKort(const InstructionValues& values, QString& reply, HandlerContext& context) {
  const QString facility = values[QLatin1String("ANLEGGSNR")];
  ReplyBuilder builder(reply, QStringLiteral("INSTRUKSJON;ANLEGGSNR;KORT;TEKST;GYLDIG"));

  try {
    if (CompanyLookup(context, facility) == Lookup::kNotFound) {
      builder.fail(errors::InvalidFacility(facility));
      return;
    }
  } catch (const DatabaseError&) {
    builder.fail(errors::CompanyLookupFailed(facility, DatabaseName(context)));
    return;
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
          Dialect::Of(SessionConnectionName(context)).textOrderKey(QStringLiteral("BKODE")));
    s.run();
    // The shop asked for one facility, but payment types belong to none: always "0".
    while (s.next()) {
      builder.addRow({QStringLiteral("KORT"), QStringLiteral("0"), s.text(QStringLiteral("KORT")),
                      s.text(QStringLiteral("TEKST")), QStringLiteral("J")});
    }
  } catch (const DatabaseError&) {
    builder.fail(errors::PaymentTypesFailed(DatabaseName(context)));
    return;
  }

  if (builder.rows() == 0) {
    builder.fail(errors::NoPaymentTypes());
    return;
  }
  builder.finish();
}

}  // namespace taurelin
