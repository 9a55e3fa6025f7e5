#include "handlers/ledig.h"

#include "base/integer_text.h"
#include "handlers/conventions.h"
#include "handlers/protocol_dates.h"
#include "handlers/rental_type_summary.h"
#include "handlers/web_prices.h"

namespace taurelin {
namespace {

// The rows of every rental type in the summary's selection: free units and prices.
void AnswerTypes(const InstructionValues& values, int facility, HandlerContext& context,
                 InstructionReply& reply) {
  const QString type = values[QLatin1String("UTYPE")];
  const QString arrivalText = values[QLatin1String("ANKOMST")];
  const QString departureText = values[QLatin1String("AVREISE")];
  const QString boardType = values[QLatin1String("PENSJONSTYPE")];
  const QList<RentalTypeSummaryRow> rows = SelectSummaryRows(
      context, IsNotGiven(type) ? std::nullopt : std::optional<QString>(type),
      facility == -1 ? std::nullopt : std::optional<int>(facility));
  const Stay stay{ParseLocalDate(ProtocolToLocalDate(arrivalText)),
                  ParseLocalDate(ProtocolToLocalDate(departureText))};

  QList<int> listed;
  for (const RentalTypeSummaryRow& row : rows) {
    if (row.AntEnh == 0) continue;
    // A type without a description ends the list.
    if (row.BESKR.trimmed().isEmpty()) break;
    listed.append(row.UTYPE);
  }
  const QList<TypeAvailability> types = Store(context).Availability(facility, listed, stay);
  // A board type that is no number fails the request once a type is listed.
  std::optional<double> board;
  if (!IsNotGiven(boardType) && !types.isEmpty()) board = BoardTypeFilter(boardType);
  for (const TypeAvailability& available : types) {
    const QList<WebPrice> fitting =
        PricesForStay(available.prices, stay.arrival, stay.departure, board);
    const QStringList head = {"LEDIG", "0", QString::number(available.type), " ", arrivalText,
                              departureText};
    if (fitting.isEmpty()) {
      reply.addRow(head + QStringList{QString(), QString::number(available.free), "0"});
      continue;
    }
    // One row per run of one board type; the run's last price wins.
    for (qsizetype i = 0; i < fitting.size(); ++i) {
      const bool runEnds =
          i + 1 == fitting.size() || fitting[i + 1].boardType != fitting[i].boardType;
      if (!runEnds) continue;
      reply.addRow(head + QStringList{fitting[i].boardTypeText, QString::number(available.free),
                                        DecimalText(RoundPrice(fitting[i].total))});
    }
  }
}

}  // namespace

InstructionReply HandleLedig(const InstructionValues& values, HandlerContext& context) {
  const QString facilityText = values[QLatin1String("ANLEGGSNR")];
  const QString type = values[QLatin1String("UTYPE")];
  InstructionReply reply(QStringLiteral("INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;"
                                             "ANKOMST;AVREISE;PENSJONSTYPE;LEDIG;PRIS"));

  // A facility that is no number is the request's failure, not an error reply.
  const std::optional<int> facility = ToInteger(facilityText);
  if (!facility) throw ConversionError(QStringLiteral("'%1' is no facility").arg(facilityText));
  // The checks and the count look at the database's change mark once.
  const BookingStore::HeldQuestions held = Store(context).HoldQuestions();
  if (Refusal refusal = CheckStayRequest(context, *facility, facilityText,
                                         values[QLatin1String("UTL_OBJ")], type)) {
    return reply.fail(*refusal);
  }

  // The summary, the occupancy and the prices have no error of their own: a failure there is
  // the request's, but a database that cannot be reached is answered with this handler's
  // error for the database.
  try {
    AnswerTypes(values, *facility, context, reply);
  } catch (const DatabaseError& failure) {
    if (!failure.connectionLost()) throw;
    return reply.fail(errors::FacilityLookupFailed(DatabaseName(context)));
  }
  return reply;
}

}  // namespace taurelin
