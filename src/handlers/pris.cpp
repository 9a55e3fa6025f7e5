#include "handlers/pris.h"

#include "base/integer_text.h"
#include "handlers/conventions.h"
#include "handlers/protocol_dates.h"
#include "store/backend.h"
#include "store/stay_pricing.h"

#include <QDate>

namespace taurelin {
namespace {

// The price type column's expression, which the order repeats on PostgreSQL.
const QString kPriceType =
    QStringLiteral("CAST((P.START_DAG||'/'||P.ANT_DAGER) as VARCHAR(16))");

// The web prices that cover a day from today on, of one rental type when `type` is given.
Statement PriceList(const HandlerContext& context, const QString& type, bool typeGiven) {
  Statement s = SessionStatement(context);
  s.add({"SELECT PL.PRIS_ID, ",
         "  P.UTYPE UTYPE,",
         "  PL.FRA_DATO FRA,",
         "  PL.TIL_DATO TIL,",
         "  P.PENSJON PENSJONSTYPE,",
         "  P.START_DAG,",
         "  P.ANT_DAGER,",
         "  CAST((P.START_DAG||'/'||P.ANT_DAGER) as VARCHAR(16)) PRISTYPE,",
         "  PL.PRIS_UKE PRIS_U,",
         "  PL.PRIS_WEEK PRIS_H",
         "FROM",
         "  PRISLINJE PL,",
         "  PRIS P",
         "WHERE"});
  if (typeGiven) {
    s.add(QStringLiteral("  P.UTYPE = :UTYPE AND"));
    s.bindNumber(QStringLiteral("UTYPE"), type);
  }
  // A line ending today covers no day from today on. An open-ended line without any
  // price is a placeholder, not an offer.
  s.add({"  (P.WEB = 'J')",
         "  AND ((PL.TIL_DATO > :IDAG)",
         "        OR (PL.TIL_DATO IS NULL AND (PL.PRIS_UKE > 0 OR PL.PRIS_WEEK > 0)))",
         "  AND (P.PRIS_ID = PL.PRIS_ID)"});
  // A price's lines follow each other by date: without that last key each backend lists
  // them in an order of its own.
  const Backend& backend = Store(context).backend();
  s.add(QStringLiteral("ORDER BY %1, %2, %3, PL.PRIS_ID, PL.FRA_DATO")
            .arg(backend.orderKey(QStringLiteral("UTYPE")),
                 backend.orderKey(QStringLiteral("PENSJON")),
                 backend.textOrderKey(QStringLiteral("PRISTYPE"), kPriceType)));
  s.bindDate(QStringLiteral("IDAG"), QDate::currentDate());
  return s;
}

}  // namespace

InstructionReply HandlePris(const InstructionValues& values, HandlerContext& context) {
  const QString facility = values[QLatin1String("ANLEGGSNR")];
  const QString type = values[QLatin1String("UTYPE")];
  const QString object = values[QLatin1String("UTL_OBJ")];
  InstructionReply reply(QStringLiteral("INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;FRA;TIL;"
                                             "PENSJONSTYPE;PRISTYPE;PRIS_U;PRIS_H"));

  if (facility != u"0") return reply.fail(errors::InvalidFacility(facility));
  if (Refusal refusal = CheckNoObject(object, "-2001")) return reply.fail(*refusal);
  const bool typeGiven = !IsNotGiven(type);
  if (typeGiven && !ToInteger(type)) return reply.fail(errors::RentalTypeNotInteger());
  if (Refusal refusal =
          CheckRentalType(context, type, TypeColumn::kQualified,
                          errors::PriceRentalTypeLookupFailed(DatabaseName(context)))) {
    return reply.fail(*refusal);
  }

  try {
    Statement s = PriceList(context, type, typeGiven);
    s.run();
    while (s.next()) {
      reply.addRow({QStringLiteral("PRIS"), QStringLiteral("0"), s.text(QStringLiteral("UTYPE")),
                      QStringLiteral(" "), LocalToProtocolDate(s.text(QStringLiteral("FRA"))),
                      LocalToProtocolDate(s.text(QStringLiteral("TIL"))),
                      s.text(QStringLiteral("PENSJONSTYPE")),
                      PriceMethodText(s.text(QStringLiteral("PRISTYPE"))),
                      s.text(QStringLiteral("PRIS_U")), s.text(QStringLiteral("PRIS_H"))});
    }
  } catch (const DatabaseError&) {
    return reply.fail(errors::PriceListFailed(DatabaseName(context)));
  }

  if (reply.rowCount() == 0) {
    return reply.fail(errors::NoValidPrices());
  }
  return reply;
}

}  // namespace taurelin
