#include "handlers/conventions.h"

#include "store/database_session.h"

#include <cmath>

namespace taurelin {

bool IsNotGiven(const QString& value) {
  return value.isEmpty() || value == u" " || value == u"*";
}

BookingStore& Store(const HandlerContext& context) {
  if (context.database != nullptr) return context.database->store();
  // Without a session: a connection that never opens, so that whatever runs on it fails as
  // on a lost connection.
  static Connection never(QStringLiteral("no database session"));
  static BookingStore none(never);
  return none;
}

Statement SessionStatement(const HandlerContext& context) {
  return Store(context).NewStatement();
}

CancelOutcome CancelBooking(const HandlerContext& context, const RefNr& refnr,
                            CancelScope scope, BookingEvents* events) {
  if (!refnr.isNumber()) return CancelOutcome::kFailed;
  if (!refnr.number()) return CancelOutcome::kNothingDone;
  return Store(context).Cancel(*refnr.number(), scope, events);
}

QString DatabaseName(const HandlerContext& context) {
  return context.database != nullptr ? context.database->APIDatabaseName() : QString();
}

Lookup CompanyLookup(const HandlerContext& context, const QString& facility) {
  Statement s = SessionStatement(context);
  s.add(QStringLiteral("SELECT FORETAKSNR FROM ANLEGG WHERE ANLEGGSNR = :ANLEGGSNR"));
  s.bindNumber(QStringLiteral("ANLEGGSNR"), facility);
  s.run();
  return s.next() ? Lookup::kFound : Lookup::kNotFound;
}

Lookup FacilityNumberLookup(const HandlerContext& context, const QString& facility) {
  return Store(context).FacilityNumberKnown(facility) ? Lookup::kFound : Lookup::kNotFound;
}

Lookup RentalTypeLookup(const HandlerContext& context, const QString& type, TypeColumn column) {
  Statement s = SessionStatement(context);
  s.add({"SELECT UTYPE", "FROM", "  UTYPE", "WHERE"});
  s.add(column == TypeColumn::kQualified ? QStringLiteral("  UTYPE.UTYPE = :UTYPE")
                                         : QStringLiteral("  UTYPE = :UTYPE"));
  s.bindTextAsNumber(QStringLiteral("UTYPE"), type);
  s.run();
  return s.next() ? Lookup::kFound : Lookup::kNotFound;
}

Lookup AgentLookup(const HandlerContext& context, const QString& agent) {
  Statement s = SessionStatement(context);
  s.add({"SELECT AKODE", "FROM", "  AGENT", "WHERE", "  AGENT.AKODE = :AKODE"});
  s.bindTextAsNumber(QStringLiteral("AKODE"), agent);
  s.run();
  return s.next() ? Lookup::kFound : Lookup::kNotFound;
}

Refusal CheckFacility(const HandlerContext& context, const QString& facility) {
  return Check([&] { return FacilityNumberLookup(context, facility); },
               errors::InvalidFacility(facility),
               errors::FacilityLookupFailed(DatabaseName(context)));
}

Refusal CheckNoObject(const QString& object, const char* code) {
  return IsNotGiven(object) ? Refusal() : Refusal(errors::ObjectSearchRefused(code));
}

Refusal CheckRentalType(const HandlerContext& context, const QString& type, TypeColumn column,
                        const HandlerError& failed) {
  if (IsNotGiven(type)) return {};
  return Check([&] { return RentalTypeLookup(context, type, column); },
               errors::InvalidRentalType(type), failed);
}

Refusal CheckStayRequest(const HandlerContext& context, int facility, const QString& facilityText,
                         const QString& object, const QString& type) {
  if (facility != -1) {
    if (Refusal refusal = CheckFacility(context, facilityText)) return refusal;
  }
  if (Refusal refusal = CheckNoObject(object, "-2031")) return refusal;
  return CheckRentalType(context, type, TypeColumn::kPlain,
                         errors::RentalTypeLookupFailed(DatabaseName(context)));
}

double RoundPrice(double price) { return std::round(price); }

}  // namespace taurelin
