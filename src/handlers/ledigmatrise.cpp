#include "handlers/ledigmatrise.h"

#include "base/integer_text.h"
#include "handlers/conventions.h"
#include "handlers/protocol_dates.h"

namespace taurelin {
namespace {

constexpr QLatin1String kColumns("INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;DATO;LEDIG;ALLOTMENT;TILBUD");

}  // namespace

InstructionReply HandleLedigmatrise(const InstructionValues& values, HandlerContext& context) {
  const QString facility = values[QLatin1String("ANLEGGSNR")];
  const QString type = values[QLatin1String("UTYPE")];
  const QString object = values[QLatin1String("UTL_OBJ")];
  QString agent = values[QLatin1String("AGENT")];
  const QString from = values[QLatin1String("FRA")];
  const QString to = values[QLatin1String("TIL")];
  const QString db = DatabaseName(context);

  InstructionReply reply(kColumns);

  // Not caught: a facility that is no number fails the whole request.
  const std::optional<int> facilityNumber = ToInteger(facility);
  if (!facilityNumber) {
    throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(facility));
  }

  if (Refusal refusal = CheckStayRequest(context, *facilityNumber, facility, object, type)) {
    return reply.fail(*refusal);
  }
  const bool typeRestricted = !IsNotGiven(type);

  // "*" is the web shop's "no agent"; the procedure knows it as -1.
  if (agent == u"*") agent = QStringLiteral("-1");

  try {
    Statement matrix = SessionStatement(context);
    matrix.add(QStringLiteral("SELECT UTLEIETYPE, DATO, LEDIG, ALLOTMENT, TILBUD"));
    matrix.add(QStringLiteral("FROM HENT_LEDIG_MATRISE(:FRA, :TIL, :AGENT, :ANLEGGSNR, 0)"));
    matrix.bindText(QStringLiteral("FRA"), ProtocolToLocalDate(from));
    matrix.bindText(QStringLiteral("TIL"), ProtocolToLocalDate(to));
    matrix.bindNumber(QStringLiteral("AGENT"), agent);
    matrix.bindNumber(QStringLiteral("ANLEGGSNR"), facility);
    if (typeRestricted) {
      matrix.add(QStringLiteral("WHERE UTLEIETYPE = :UTYPE"));
      matrix.bindNumber(QStringLiteral("UTYPE"), type);
    }
    matrix.run();
    while (matrix.next()) {
      reply.addRow({QStringLiteral("LEDIGMATRISE"), facility,
                      matrix.text(QStringLiteral("UTLEIETYPE")), QStringLiteral(" "),
                      LocalToProtocolDate(matrix.text(QStringLiteral("DATO"))),
                      matrix.text(QStringLiteral("LEDIG")),
                      matrix.text(QStringLiteral("ALLOTMENT")),
                      matrix.text(QStringLiteral("TILBUD"))});
    }
  } catch (const DatabaseError&) {
    return reply.fail(errors::MatrixFailed(db));
  }
  return reply;
}

}  // namespace taurelin
