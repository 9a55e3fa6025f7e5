#include "handlers/anlegg.h"

#include "handlers/conventions.h"

namespace taurelin {

InstructionReply HandleAnlegg(const InstructionValues&, HandlerContext& context) {
  InstructionReply reply(QStringLiteral("INSTRUKSJON;ANLEGGSNR;ANLEGGSNAVN"));
  try {
    Statement s = SessionStatement(context);
    s.add({"SELECT ANLEGGSNR, ANLEGGSNAVN FROM ANLEGG ORDER BY ANLEGGSNR"});
    s.run();
    while (s.next()) {
      reply.addRow({QStringLiteral("ANLEGG"), s.text(QStringLiteral("ANLEGGSNR")),
                    s.text(QStringLiteral("ANLEGGSNAVN"))});
    }
  } catch (const DatabaseError&) {
    return reply.fail(errors::FacilityLookupFailed(DatabaseName(context)));
  }
  return reply;
}

}  // namespace taurelin
