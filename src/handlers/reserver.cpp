#include "handlers/reserver.h"

#include "base/integer_text.h"
#include "handlers/conventions.h"
#include "handlers/protocol_dates.h"
#include "handlers/rental_type_summary.h"
#include "handlers/web_prices.h"

namespace taurelin {
namespace {

namespace fail = errors::reservation;

const QString kColumns = QStringLiteral(
    "INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;AVREISE;PENSJONSTYPE;ANTALL;"
    "ANT_PERSONER;AGENT;REFNR;PRIS;TOTALPRIS;TIMEOUT");

int Integer(const QString& text) {
  const std::optional<int> number = ToInteger(text);
  if (!number) throw ConversionError(QStringLiteral("'%1' is not an integer").arg(text));
  return *number;
}

}  // namespace

InstructionReply HandleReserver(const InstructionValues& values, HandlerContext& context) {
  const QString facilityText = values[QLatin1String("ANLEGGSNR")];
  const QString typeText = values[QLatin1String("UTYPE")];
  const QString agent = values[QLatin1String("AGENT")];
  const QString refnrText = values[QLatin1String("REFNR")];
  InstructionReply reply(kColumns);
  const QString db = DatabaseName(context);

  // A booking needs a real facility: "all facilities" cannot be booked.
  if (ToInteger(facilityText) == -1) return reply.fail(fail::InvalidFacility(facilityText));
  try {
    Statement facility = SessionStatement(context);
    facility.add({"SELECT FORETAKSNR FROM ANLEGG", "WHERE ANLEGGSNR = :ANLEGGSNR"});
    facility.bindNumber(QStringLiteral("ANLEGGSNR"), facilityText);
    facility.run();
    facility.next();
  } catch (const DatabaseError& failure) {
    // Only a value the statement cannot use makes the facility invalid; a database that
    // cannot be reached gets the first error that says so.
    return reply.fail(failure.connectionLost() ? fail::AgentLookupFailed(db)
                                                 : fail::InvalidFacility(facilityText));
  }
  if (!IsNotGiven(values[QLatin1String("UTL_OBJ")])) return reply.fail(fail::ObjectRefused());
  try {
    Statement agents = SessionStatement(context);
    agents.add({"SELECT AKODE", "FROM", "  AGENT", "WHERE", "  AGENT.AKODE = :AKODE"});
    agents.bindTextAsNumber(QStringLiteral("AKODE"), agent);
    agents.run();
    if (!agents.next()) return reply.fail(fail::InvalidAgent(agent));
  } catch (const DatabaseError&) {
    return reply.fail(fail::AgentLookupFailed(db));
  }
  if (IsNotGiven(typeText)) return reply.fail(fail::TypeMissing());
  try {
    Statement types = SessionStatement(context);
    types.add({"SELECT UTYPE, ISTAT", "FROM", "  UTYPE", "WHERE", "  UTYPE.UTYPE = :UTYPE"});
    types.bindTextAsNumber(QStringLiteral("UTYPE"), typeText);
    types.run();
    if (!types.next()) return reply.fail(errors::InvalidRentalType(typeText));
  } catch (const DatabaseError&) {
    return reply.fail(fail::TypeLookupFailed(db));
  }

  // Dates, numbers and the price: a value that does not convert is the request's failure.
  ReservationPlan plan;
  plan.stay = {ParseLocalDate(ProtocolToLocalDate(values[QLatin1String("ANKOMST")])),
               ParseLocalDate(ProtocolToLocalDate(values[QLatin1String("AVREISE")]))};
  plan.facility = Integer(facilityText);
  const int requestedType = Integer(typeText);
  BookingStore store = Store(context);
  QList<WebPrice> prices;
  try {
    prices = store.StayPrices(requestedType, plan.facility, plan.stay);
  } catch (const DatabaseError& failure) {
    // A price matrix that fails is the request's failure; a lost database is the booking's.
    if (!failure.connectionLost()) throw;
    return reply.fail(fail::LinesNotWritten());
  }
  const QList<WebPrice> fitting =
      PricesForStay(prices, plan.stay.arrival, plan.stay.departure,
                    BoardTypeFilter(values[QLatin1String("PENSJONSTYPE")]));
  if (fitting.isEmpty()) return reply.fail(fail::NoPrice());
  plan.priceType = fitting.first().priceType;
  plan.price = fitting.last();
  plan.total = RoundPrice(plan.price.total);
  const QString priceText = values[QLatin1String("PRIS")];
  if (!priceText.isEmpty() && !NumericLiteral(priceText)) {
    throw ConversionError(QStringLiteral("'%1' is not a price").arg(priceText));
  }

  try {
    const QList<RentalTypeSummaryRow> summary = SelectSummaryRows(
        context, typeText,
        IsNotGiven(facilityText) ? std::nullopt : std::optional<int>(plan.facility));
    plan.type = summary.isEmpty() ? 0 : summary.first().UTYPE;
    plan.istat = summary.isEmpty() ? QString() : summary.first().ISTAT;
    plan.units = Integer(values[QLatin1String("ANTALL")]);
  } catch (const std::exception&) {
    return reply.fail(fail::LinesNotWritten());
  }
  // A count below one would store a line that frees units instead of taking them.
  if (plan.units < 1) return reply.fail(fail::LinesNotWritten());
  plan.adults = ToInteger(values[QLatin1String("ANT_PERSONER")]);
  plan.agent = ToInteger(agent);
  plan.refnr = refnrText;
  // The hold's entry is written before its booking is committed: a server stopped between
  // the two leaves an entry whose booking never came, which a sweep merely frees, never a
  // held booking that nothing expires.
  if (context.registerTimeOut) {
    plan.beforeCommit = [&context, &refnrText, &values](const QString& refnr) {
      context.registerTimeOut(refnrText, refnr, values[QLatin1String("TIMEOUT")]);
    };
  }

  using Kind = ReservationOutcome::Kind;
  const ReservationOutcome outcome = store.Reserve(plan);
  switch (outcome.kind) {
    case Kind::kReserved:
      break;
    case Kind::kOverbooked:
      return reply.fail(fail::Overbooking());
    case Kind::kNoReferenceNumber:
      return reply.fail(fail::NoReferenceNumber());
    case Kind::kUnknownBooking:
      return reply.fail(fail::UnknownBooking(refnrText));
    case Kind::kBookingLookupFailed:
      return reply.fail(fail::BookingLookupFailed(refnrText));
    case Kind::kNotWritten:
      return reply.fail(fail::LinesNotWritten());
  }
  const QString& refnr = outcome.refnr;

  reply.addRow({"RESERVER", "0", typeText, " ", values[QLatin1String("ANKOMST")],
                  values[QLatin1String("AVREISE")], " ", values[QLatin1String("ANTALL")],
                  values[QLatin1String("ANT_PERSONER")], agent, refnr, DecimalText(plan.total), "0",
                  values[QLatin1String("TIMEOUT")]});
  return reply.setEffect({ReplyEffect::Kind::kReserved, refnr, values[QLatin1String("TIMEOUT")]});
}

}  // namespace taurelin
