#include "handlers/reserver.h"

#include "handlers/conventions.h"
#include "handlers/integer_text.h"
#include "handlers/protocol_dates.h"
#include "handlers/rental_type_summary.h"
#include "handlers/reply_builder.h"
#include "handlers/web_prices.h"
#include "store/database_session.h"
#include "store/write_transaction.h"

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

// What the checks before the write found.
struct Checked {
  QDate arrival;
  QDate departure;
  int facility = 0;
  int type = 0;
  WebPrice price;        // the price row that decides
  QString priceType;     // of the first fitting price row
};

}  // namespace

void HandleReserver(const InstructionValues& values, QString& reply, HandlerContext& context) {
  const QString facilityText = values[QLatin1String("ANLEGGSNR")];
  const QString typeText = values[QLatin1String("UTYPE")];
  const QString agent = values[QLatin1String("AGENT")];
  const QString refnrText = values[QLatin1String("REFNR")];
  ReplyBuilder builder(reply, kColumns);
  const QString db = DatabaseName(context);

  // A booking needs a real facility: "all facilities" cannot be booked.
  if (ToInteger(facilityText) == -1) return builder.fail(fail::InvalidFacility(facilityText));
  try {
    Statement facility = SessionStatement(context);
    facility.add({"SELECT FORETAKSNR FROM ANLEGG", "WHERE ANLEGGSNR = :ANLEGGSNR"});
    facility.bindNumber(QStringLiteral("ANLEGGSNR"), facilityText);
    facility.open();
    facility.next();
  } catch (const DatabaseError& failure) {
    // Only a value the statement cannot use makes the facility invalid; a database that
    // cannot be reached gets the first error that says so.
    return builder.fail(failure.connectionLost() ? fail::AgentLookupFailed(db)
                                                 : fail::InvalidFacility(facilityText));
  }
  if (!IsNotGiven(values[QLatin1String("UTL_OBJ")])) return builder.fail(fail::ObjectRefused());
  try {
    Statement agents = SessionStatement(context);
    agents.add({"SELECT AKODE", "FROM", "  AGENT", "WHERE", "  AGENT.AKODE = :AKODE"});
    agents.bindTextAsNumber(QStringLiteral("AKODE"), agent);
    agents.open();
    if (!agents.next()) return builder.fail(fail::InvalidAgent(agent));
  } catch (const DatabaseError&) {
    return builder.fail(fail::AgentLookupFailed(db));
  }
  if (IsNotGiven(typeText)) return builder.fail(fail::TypeMissing());
  try {
    Statement types = SessionStatement(context);
    types.add({"SELECT UTYPE, ISTAT", "FROM", "  UTYPE", "WHERE", "  UTYPE.UTYPE = :UTYPE"});
    types.bindTextAsNumber(QStringLiteral("UTYPE"), typeText);
    types.open();
    if (!types.next()) return builder.fail(errors::InvalidRentalType(typeText));
  } catch (const DatabaseError&) {
    return builder.fail(fail::TypeLookupFailed(db));
  }

  // Dates, numbers and the price: a value that does not convert is the request's failure.
  Checked checked;
  checked.arrival = ParseLocalDate(ProtocolToLocalDate(values[QLatin1String("ANKOMST")]));
  checked.departure = ParseLocalDate(ProtocolToLocalDate(values[QLatin1String("AVREISE")]));
  checked.facility = Integer(facilityText);
  checked.type = Integer(typeText);
  QList<WebPrice> prices;
  try {
    prices = OpenWebPriser(context, checked.type, checked.facility, checked.arrival,
                           checked.departure);
  } catch (const DatabaseError& failure) {
    // A price matrix that fails is the request's failure; a lost database is the booking's.
    if (!failure.connectionLost()) throw;
    return builder.fail(fail::LinesNotWritten());
  }
  const QList<WebPrice> fitting =
      PricesForStay(prices, checked.arrival, checked.departure,
                    BoardTypeFilter(values[QLatin1String("PENSJONSTYPE")]));
  if (fitting.isEmpty()) return builder.fail(fail::NoPrice());
  checked.priceType = fitting.first().priceType;
  checked.price = fitting.last();
  const double price = RoundPrice(checked.price.total);
  const QString priceText = values[QLatin1String("PRIS")];
  if (!priceText.isEmpty() && !NumericLiteral(priceText)) {
    throw ConversionError(QStringLiteral("'%1' is not a price").arg(priceText));
  }

  QString refnr = refnrText;
  try {
    TdmBook& module = *context.database->dmBook();
    // Free units are counted and the booking written under one write lock.
    WriteTransaction lock(module.connectionName());
    lock.lockReservation(checked.facility, checked.type);
    const QList<RentalTypeSummaryRow> summary = SelectSummaryRows(
        context, typeText, IsNotGiven(facilityText) ? std::nullopt : std::optional<int>(checked.facility));
    const int type = summary.isEmpty() ? 0 : summary.first().UTYPE;
    const QString istat = summary.isEmpty() ? QString() : summary.first().ISTAT;
    Occupancy& occupancy = module.occupancy();
    occupancy.InitBelegg();
    occupancy.LoadBelegg(checked.arrival, checked.departure, checked.facility);
    const int free = occupancy.GetKapasitet(checked.facility, type) -
                     occupancy.GetMaxBelegg(checked.facility, type, checked.arrival,
                                            checked.departure, 1);
    const int units = Integer(values[QLatin1String("ANTALL")]);
    // A count below one would store a line that frees units instead of taking them.
    if (units < 1) return builder.fail(fail::LinesNotWritten());
    if (units > free) return builder.fail(fail::Overbooking());

    if (refnrText == u"*") {
      try {
        Statement number = module.stpRefnr();
        number.open();
        if (!number.next()) return builder.fail(fail::NoReferenceNumber());
        refnr = QString::number(number.integer(QStringLiteral("REFNR")));
      } catch (const DatabaseError&) {
        return builder.fail(fail::NoReferenceNumber());
      }
    } else {
      try {
        Statement booking(module.connectionName());
        booking.add(QStringLiteral("SELECT REFNR, HOY_DATO FROM BOOKING WHERE REFNR = :REFNR"));
        booking.bindNumber(QStringLiteral("REFNR"), refnrText);
        booking.open();
        if (!booking.next()) return builder.fail(fail::UnknownBooking(refnrText));
      } catch (const DatabaseError&) {
        return builder.fail(fail::BookingLookupFailed(refnrText));
      }
    }

    TBookingData header;
    header.AKODE = Integer(agent);
    header.ANLEGGSNR = checked.facility;
    header.BEKREFT = QStringLiteral("B");
    header.FORMAL = 0;
    header.OPPR_AV = 0;
    header.REFNR = NumericLiteral(refnr)->toDouble();
    header.REG_DATO = QDate::currentDate();
    TUtleieData line;
    line.A_PRIS = price;
    line.ANKOMST = checked.arrival;
    line.AVREISE = checked.departure;
    line.ANLEGG = checked.facility;
    line.ANTALL = units;
    line.ANT_VOKSEN = Integer(values[QLatin1String("ANT_PERSONER")]);
    if (line.ANT_VOKSEN < 0) return builder.fail(fail::LinesNotWritten());
    line.ETTER = QStringLiteral("F");
    line.TIL = QStringLiteral("M");
    line.PENSJON = static_cast<int>(std::lround(checked.price.board));
    line.PRISKODE = checked.price.priceCode;
    line.PRISTYPE = checked.priceType.left(1);
    line.LEIETYPE = QStringLiteral("U");
    line.REFNR = static_cast<int>(header.REFNR);
    line.STATKODE = istat.left(1);
    line.UTYPE = type;
    line.state = u'I';
    if (!module.SaveBooking(header, line)) return builder.fail(fail::LinesNotWritten());
    // The hold's entry is written before its booking is committed: a server stopped between
    // the two leaves an entry whose booking never came, which a sweep merely frees, never a
    // held booking that nothing expires.
    if (context.registerTimeOut) {
      context.registerTimeOut(refnrText, refnr, values[QLatin1String("TIMEOUT")]);
    }
    lock.commit();
  } catch (const std::exception&) {
    return builder.fail(fail::LinesNotWritten());
  }

  builder.addRow({"RESERVER", "0", typeText, " ", values[QLatin1String("ANKOMST")],
                  values[QLatin1String("AVREISE")], " ", values[QLatin1String("ANTALL")],
                  values[QLatin1String("ANT_PERSONER")], agent, refnr, DecimalText(price), "0",
                  values[QLatin1String("TIMEOUT")]});
  builder.finish();
}

}  // namespace taurelin
