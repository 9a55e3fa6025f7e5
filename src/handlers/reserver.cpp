#include "handlers/reserver.h"

#include "base/integer_text.h"
#include "handlers/conventions.h"
#include "handlers/protocol_dates.h"
#include "handlers/rental_type_summary.h"
#include "handlers/web_prices.h"
#include "store/booking_events.h"

#include <cmath>

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

// The booking that the request's REFNR names: "*" a new one; a number without a fraction an
// existing one. Any other text names none, which the store answers once it has counted the
// free units: as a lookup that failed (no number) or that found nothing (a fraction, or a
// number beyond any booking's).
void PlanBooking(const QString& text, ReservationPlan& plan) {
  using Kind = ReservationOutcome::Kind;
  if (text == u"*") return;
  const std::optional<QVariant> number = NumericLiteral(text);
  if (!number) {
    plan.unusableReference = Kind::kBookingLookupFailed;
  } else if (number->typeId() == QMetaType::LongLong) {
    plan.refnr = number->toLongLong();
  } else if (const double value = number->toDouble();
             value == std::trunc(value) && std::fabs(value) < 9.0e18) {
    plan.refnr = static_cast<qint64>(value);
  } else {
    plan.unusableReference = Kind::kUnknownBooking;
  }
}

// The request's checks, in their order.
Refusal CheckRequest(const InstructionValues& values, const HandlerContext& context) {
  const QString facility = values[QLatin1String("ANLEGGSNR")];
  const QString agent = values[QLatin1String("AGENT")];
  const QString type = values[QLatin1String("UTYPE")];
  const QString db = DatabaseName(context);
  // A booking needs a real facility: "all facilities" cannot be booked.
  if (ToInteger(facility) == -1) return fail::InvalidFacility(facility);
  try {
    CompanyLookup(context, facility);
  } catch (const DatabaseError& failure) {
    // Only a value the statement cannot use makes the facility invalid, not one it does not
    // find; a database that cannot be reached gets the first error that says so.
    return failure.connectionLost() ? fail::AgentLookupFailed(db)
                                    : fail::InvalidFacility(facility);
  }
  if (!IsNotGiven(values[QLatin1String("UTL_OBJ")])) return fail::ObjectRefused();
  if (Refusal refusal = Check([&] { return AgentLookup(context, agent); },
                              fail::InvalidAgent(agent), fail::AgentLookupFailed(db))) {
    return refusal;
  }
  if (IsNotGiven(type)) return fail::TypeMissing();
  return CheckRentalType(context, type, TypeColumn::kQualified, fail::TypeLookupFailed(db));
}

// The stay, its price and the units to hold, into `plan`. A value that does not convert is
// the request's failure (thrown).
Refusal Plan(const InstructionValues& values, const HandlerContext& context,
             ReservationPlan& plan) {
  const QString facilityText = values[QLatin1String("ANLEGGSNR")];
  const QString typeText = values[QLatin1String("UTYPE")];
  plan.stay = {ParseLocalDate(ProtocolToLocalDate(values[QLatin1String("ANKOMST")])),
               ParseLocalDate(ProtocolToLocalDate(values[QLatin1String("AVREISE")]))};
  plan.facility = Integer(facilityText);
  QList<WebPrice> prices;
  try {
    prices = Store(context).StayPrices(Integer(typeText), plan.stay);
  } catch (const DatabaseError& failure) {
    // A price matrix that fails is the request's failure; a lost database is the booking's.
    if (!failure.connectionLost()) throw;
    return fail::LinesNotWritten();
  }
  const QList<WebPrice> fitting =
      PricesForStay(prices, plan.stay.arrival, plan.stay.departure,
                    BoardTypeFilter(values[QLatin1String("PENSJONSTYPE")]));
  if (fitting.isEmpty()) return fail::NoPrice();
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
    return fail::LinesNotWritten();
  }
  // A count below one would store a line that frees units instead of taking them.
  if (plan.units < 1) return fail::LinesNotWritten();
  plan.adults = ToInteger(values[QLatin1String("ANT_PERSONER")]);
  plan.agent = ToInteger(values[QLatin1String("AGENT")]);
  PlanBooking(values[QLatin1String("REFNR")], plan);
  return {};
}

HandlerError Refused(const ReservationOutcome& outcome, const QString& refnr) {
  using Kind = ReservationOutcome::Kind;
  switch (outcome.kind) {
    case Kind::kOverbooked:
      return fail::Overbooking();
    case Kind::kNoReferenceNumber:
      return fail::NoReferenceNumber();
    case Kind::kUnknownBooking:
      return fail::UnknownBooking(refnr);
    case Kind::kBookingLookupFailed:
      return fail::BookingLookupFailed(refnr);
    case Kind::kReserved:
    case Kind::kNotWritten:
      break;
  }
  return fail::LinesNotWritten();
}

}  // namespace

InstructionReply HandleReserver(const InstructionValues& values, HandlerContext& context) {
  const QString requestRefnr = values[QLatin1String("REFNR")];
  const QString timeOut = values[QLatin1String("TIMEOUT")];
  InstructionReply reply(kColumns);
  if (Refusal refusal = CheckRequest(values, context)) return reply.fail(*refusal);
  ReservationPlan plan;
  if (Refusal refusal = Plan(values, context, plan)) return reply.fail(*refusal);
  // The hold's entry is written before its booking is committed: a server stopped between
  // the two leaves an entry whose booking never came, which a sweep merely frees, never a
  // held booking that nothing expires.
  // An existing booking is answered and registered by the text the request named it by.
  const auto refnrText = [&](qint64 refnr) {
    return plan.refnr ? requestRefnr : QString::number(refnr);
  };
  if (context.registerTimeOut || (plan.refnr && context.events != nullptr)) {
    plan.beforeCommit = [&](qint64 refnr) {
      if (context.registerTimeOut) {
        context.registerTimeOut(requestRefnr, refnrText(refnr), timeOut);
      }
      // Units added to a booking there already: a change its guest hears of.
      if (plan.refnr && context.events != nullptr) {
        context.events->UnitsAdded(context.database->connection(), refnr);
      }
    };
  }
  const ReservationOutcome outcome = Store(context).Reserve(plan);
  if (outcome.kind != ReservationOutcome::Kind::kReserved) {
    return reply.fail(Refused(outcome, requestRefnr));
  }
  reply.addRow({"RESERVER", "0", values[QLatin1String("UTYPE")], " ",
                values[QLatin1String("ANKOMST")], values[QLatin1String("AVREISE")], " ",
                values[QLatin1String("ANTALL")], values[QLatin1String("ANT_PERSONER")],
                values[QLatin1String("AGENT")], refnrText(outcome.refnr), DecimalText(plan.total),
                "0", timeOut});
  return reply.setEffect({ReplyEffect::Kind::kReserved, refnrText(outcome.refnr), timeOut});
}

}  // namespace taurelin
