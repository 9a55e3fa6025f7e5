#include "handlers/utype.h"

#include "handlers/conventions.h"
#include "store/backend.h"

namespace taurelin {
namespace {

// The rental objects of one type in one facility. An object without a wing has no facility,
// so the join's condition on the wing leaves it out.
int CountObjects(const HandlerContext& context, const QString& type, const QString& facility) {
  Statement s = SessionStatement(context);
  s.add({"Select count(u.objnr) Antall",
         "From utleieob u left outer join floy f on (f.floykode = u.floykode)",
         "Where u.Utype = :UTYPE AND f.anlegg = :ANLEGGSNR"});
  s.bindNumber(QStringLiteral("UTYPE"), type);
  s.bindNumber(QStringLiteral("ANLEGGSNR"), facility);
  s.run();
  return s.next() ? s.integer(QStringLiteral("Antall")) : 0;
}

}  // namespace

InstructionReply HandleUtype(const InstructionValues& values, HandlerContext& context) {
  const QString facility = values[QLatin1String("ANLEGGSNR")];
  InstructionReply reply(QStringLiteral("INSTRUKSJON;ANLEGGSNR;UTYPE;KODE;BESKR;KAPASITET"));

  if (Refusal refusal = CheckFacility(context, facility)) return reply.fail(*refusal);

  try {
    Statement types = SessionStatement(context);
    types.add({"SELECT",
               "  UTYPE UTYPE,",
               "  KODE KODE,",
               "  BESKR BESKR,",
               "  ANTENH KAPASITET",
               "FROM",
               "  UTYPE"});
    types.add(QStringLiteral("ORDER BY ") +
              Store(context).backend().textOrderKey(QStringLiteral("BESKR")));
    types.run();
    // The type's own unit count (ANTENH) is the whole system's; the shop needs the count at
    // this facility, and a type the facility does not have is no choice there.
    while (types.next()) {
      const QString type = types.text(QStringLiteral("UTYPE"));
      const int objects = CountObjects(context, type, facility);
      if (objects <= 0) continue;
      reply.addRow({QStringLiteral("UTYPE"), QStringLiteral("0"), type,
                      types.text(QStringLiteral("KODE")), types.text(QStringLiteral("BESKR")),
                      QString::number(objects)});
    }
  } catch (const DatabaseError&) {
    return reply.fail(errors::RentalTypeListFailed(DatabaseName(context)));
  }
  return reply;
}

}  // namespace taurelin
