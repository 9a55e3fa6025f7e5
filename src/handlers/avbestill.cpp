#include "handlers/avbestill.h"

#include "handlers/conventions.h"
#include "handlers/reply_builder.h"
#include "store/write_transaction.h"

namespace taurelin {
namespace {

constexpr QLatin1String kColumns("INSTRUKSJON;REFNR");

// Runs one write on the booking's lines or header.
void Execute(const HandlerContext& context, const char* sql, const QString& refnr) {
  Statement statement = SessionStatement(context);
  statement.add(QString::fromLatin1(sql));
  statement.bindNumber(QStringLiteral("REFNR"), refnr);
  statement.execute();
}

}  // namespace

void HandleAvbestill(const InstructionValues& values, QString& reply, HandlerContext& context) {
  Avbestill(values[QLatin1String("REFNR")], reply, context);
}

void Avbestill(const QString& refnr, QString& reply, HandlerContext& context,
               CancelScope scope) {
  ReplyBuilder builder(reply, kColumns);
  try {
    // The booker is read in the same transaction as the writes it chooses, so a booker
    // attached meanwhile by another server cannot get a confirmed booking deleted; and the
    // two writes stand or fall together, so no booking is left half cancelled.
    WriteTransaction transaction(SessionConnectionName(context));
    bool hasBooker = false;
    {
      Statement booking = SessionStatement(context);
      booking.add(QStringLiteral("SELECT BESTNR FROM BOOKING WHERE REFNR = :REFNR"));
      booking.bindNumber(QStringLiteral("REFNR"), refnr);
      booking.open();
      // Nothing to cancel: the reply stays the bare header, without count or error.
      if (!booking.next()) return;
      hasBooker = !booking.isNull(QStringLiteral("BESTNR"));
    }
    if (hasBooker && scope == CancelScope::kReservationOnly) return;
    if (!hasBooker) {
      Execute(context, "DELETE FROM LEIE WHERE REFNR = :REFNR", refnr);
      Execute(context, "DELETE FROM BOOKING WHERE REFNR = :REFNR", refnr);
    } else {
      Execute(context, "UPDATE LEIE SET STATUS = 'A' WHERE REFNR = :REFNR", refnr);
      Execute(context, "UPDATE BOOKING SET AVBESTILT = 1 WHERE REFNR = :REFNR", refnr);
    }
    transaction.commit();
  } catch (const DatabaseError&) {
    builder.fail(errors::CancellationFailed(refnr));
    return;
  }
  builder.addRow({QStringLiteral("AVBESTILL"), refnr});
  builder.finish();
}

}  // namespace taurelin
