#include "handlers/hentbook.h"

#include "handlers/conventions.h"
#include "handlers/protocol_dates.h"

namespace taurelin {
namespace {

constexpr QLatin1String kColumns(
    "INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;AVREISE;PENSJONSTYPE;ANTALL;ANT_PERSONER;"
    "AGENT;PRIS");

// The booking's object lines, with each line's board price method and the booking's agent.
Statement ObjectLines(const HandlerContext& context, const QString& refnr) {
  Statement lines = SessionStatement(context);
  lines.add({"SELECT",
             "  L.UTYPE,",
             "  L.OBJNR,",
             "  L.ANKOMST,",
             "  L.AVREISE,",
             "  L.ANTALL,",
             "  ceiling(L.ANT_VOKSEN) + ceiling(L.ANT_BARN) + ceiling(L.ANT_GRATIS) "
             "ANT_PERSONER,",
             "  L.A_PRIS,",
             "  PE.PRISMET PENSJON,",
             "  B.AKODE AGENT",
             "FROM",
             "  LEIE L",
             "  LEFT OUTER JOIN PRIS P ON (P.UTYPE = L.UTYPE AND P.PRIS_ID = L.PRISKODE)",
             "  LEFT OUTER JOIN PENSJON PE ON (PE.PENSJON = P.PENSJON),",
             "  BOOKING B",
             "WHERE",
             "  L.REFNR = :REFNR",
             "  AND B.REFNR = L.REFNR",
             "  AND L.LEIETYPE = 'O'"});
  lines.bindNumber(QStringLiteral("REFNR"), refnr);
  return lines;
}

}  // namespace

InstructionReply HandleHentbook(const InstructionValues& values, HandlerContext& context) {
  const QString refnr = values[QLatin1String("REFNR")];
  // Every answer counts the rows listed, also an error after some of them.
  InstructionReply reply(kColumns);

  try {
    Statement booking = SessionStatement(context);
    booking.add({"SELECT", "  REFNR", "FROM", "  Booking", "WHERE", "  REFNR = :REFNR"});
    booking.bindNumber(QStringLiteral("REFNR"), refnr);
    booking.run();
    if (!booking.next()) {
      return reply.failCountingRows(errors::BookingNotFound(refnr));
    }
  } catch (const DatabaseError& failure) {
    // A failure here is answered as its usual cause, a number that is none; a database that
    // cannot be reached as the booking that cannot be opened.
    return reply.failCountingRows(failure.connectionLost() ? errors::BookingLinesFailed()
                                                      : errors::BookingLookupFailed(refnr));
  }

  try {
    Statement lines = ObjectLines(context, refnr);
    lines.run();
    while (lines.next()) {
      reply.addRow({QStringLiteral("HENTBOOK"), QStringLiteral("0"),
                      lines.text(QStringLiteral("UTYPE")), lines.text(QStringLiteral("OBJNR")),
                      LocalToProtocolDate(lines.text(QStringLiteral("ANKOMST"))),
                      LocalToProtocolDate(lines.text(QStringLiteral("AVREISE"))),
                      lines.text(QStringLiteral("PENSJON")), lines.text(QStringLiteral("ANTALL")),
                      lines.text(QStringLiteral("ANT_PERSONER")),
                      lines.text(QStringLiteral("AGENT")), lines.text(QStringLiteral("A_PRIS"))});
    }
  } catch (const DatabaseError&) {
    return reply.failCountingRows(errors::BookingLinesFailed());
  }

  if (reply.rowCount() == 0) {
    return reply.failCountingRows(errors::NoObjectLines());
  }
  return reply;
}

}  // namespace taurelin
