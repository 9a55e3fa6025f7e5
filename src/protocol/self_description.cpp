#include "protocol/self_description.h"

#include "protocol/instruction_table.h"
#include "protocol/regional_settings.h"

namespace taurelin {

InstructionReply HandleTestApi(const InstructionValues&, HandlerContext&) {
  // Clients compare the description as it stands; the version is the build's.
  InstructionReply reply(QStringLiteral("INSTRUKSJON;SYSTEM;PRODUSENT;VERSJON;API-INSTRUKSJON"));
  for (const Instruction& instruction : Instructions()) {
    if (!instruction.advertised) continue;
    reply.addRow({QStringLiteral("TEST-API"), QStringLiteral("Taurelin 5.2.x API"),
                  QStringLiteral("Vindrelok AS"), QStringLiteral(TAURELIN_VERSION),
                  instruction.keyword});
  }
  return reply;
}

InstructionReply HandleOmTnApi(const InstructionValues&, HandlerContext& context) {
  static const char* const kNames[] = {"sDate", "sDecimal", "sLongDate", "sShortDate",
                                       "sThousand"};
  InstructionReply reply(QStringLiteral("INSTRUKSJON;NØKKEL;VERDI;Data"));
  for (const char* name : kNames) {
    reply.addRow({QStringLiteral("OM_TN_API"),
                  QStringLiteral("HKEY_CURRENT_USER\\Control Panel\\International"),
                  QLatin1String(name),
                  ReadRegionalValue(context.configuration, QLatin1String(name))});
  }
  return reply.keepLastSeparator();
}

}  // namespace taurelin
