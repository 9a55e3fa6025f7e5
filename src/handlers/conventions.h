#pragma once

// What the instruction handlers share besides the reply: the not-given marker, the session
// they run their statements on, the booking store, the facility, object, agent and
// rental-type checks, and the rounding of computed prices.

#include "handlers/instruction.h"
#include "store/booking_store.h"
#include "store/ref_nr.h"
#include "store/statement.h"

#include <QString>

#include <optional>

namespace taurelin {

// One blank, the empty text or "*" in an optional restriction: no restriction.
bool IsNotGiven(const QString& value);

// The booking store of the request's database session; without a session (or before it is
// connected) its operations fail as on a lost connection.
BookingStore& Store(const HandlerContext& context);
// A fresh statement of the handler's own, through the store.
Statement SessionStatement(const HandlerContext& context);
// Cancels the booking that `refnr` names (see BookingStore::Cancel). A text that is no number
// fails as a failed cancellation; a number that names no booking leaves nothing to do.
CancelOutcome CancelBooking(const HandlerContext& context, const RefNr& refnr,
                            CancelScope scope, BookingEvents* events = nullptr);
// The database's name as error messages quote it.
QString DatabaseName(const HandlerContext& context);

enum class Lookup { kFound, kNotFound };

// The checks below throw DatabaseError when their statement fails.

// Whether a facility of that number has a company row (the payment types' check).
Lookup CompanyLookup(const HandlerContext& context, const QString& facility);
// Whether a facility of that number exists and its number reads back as the very text asked
// for ("05" is not facility 5).
Lookup FacilityNumberLookup(const HandlerContext& context, const QString& facility);
// Whether the rental type exists; the price list names the column by its table
// ("UTYPE.UTYPE"), the availability instructions do not.
enum class TypeColumn { kQualified, kPlain };
Lookup RentalTypeLookup(const HandlerContext& context, const QString& type, TypeColumn column);

// Whether an agent of that code exists.
Lookup AgentLookup(const HandlerContext& context, const QString& agent);

// The answer of a check: the error that refuses the request, or none when it passes. Each
// check takes the errors its instruction answers.
using Refusal = std::optional<HandlerError>;

// A lookup as a check: `notFound` when it finds nothing, `failed` when its statement fails.
template <typename LookupCall>
Refusal Check(LookupCall lookup, const HandlerError& notFound, const HandlerError& failed) {
  try {
    return lookup() == Lookup::kFound ? Refusal() : Refusal(notFound);
  } catch (const DatabaseError&) {
    return failed;
  }
}
// The facility of that number (FacilityNumberLookup); `failed` when it cannot be looked up.
Refusal CheckFacility(const HandlerContext& context, const QString& facility);
// A search by one rental object is not offered: refused with `code` when one is given.
Refusal CheckNoObject(const QString& object, const char* code);
// The rental type, when one is given (RentalTypeLookup); `failed` when it cannot be looked up.
Refusal CheckRentalType(const HandlerContext& context, const QString& type, TypeColumn column,
                        const HandlerError& failed);
// The checks that both availability instructions make, in their order: the facility unless
// all are asked for (-1), no object, the rental type when one is given.
Refusal CheckStayRequest(const HandlerContext& context, int facility, const QString& facilityText,
                         const QString& object, const QString& type);

// A price computed for a stay, as the reply shows it: rounded to a whole number, halves away
// from zero. DecimalText (store/statement.h) writes it.
double RoundPrice(double price);

}  // namespace taurelin
