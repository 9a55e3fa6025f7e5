#pragma once

// The errors that the instruction handlers answer, with their codes and literal messages.
// `db` is the session's database name.

#include <QString>

namespace taurelin {

struct HandlerError {
  const char* code;
  QString message;
};

namespace errors {

HandlerError InvalidFacility(const QString& facility);                        // -1002
HandlerError CompanyLookupFailed(const QString& facility, const QString& db);  // -2011b
HandlerError FacilityLookupFailed(const QString& db);                         // -2032b
// Searching by one rental object is not offered: -2001 (PRIS), -2031 (LEDIG, LEDIGMATRISE),
// -2051 (RESERVER), all with the same message.
HandlerError ObjectSearchRefused(const char* code);
HandlerError RentalTypeNotInteger();                                         // -1999
HandlerError InvalidRentalType(const QString& type);                          // -1003
HandlerError PriceRentalTypeLookupFailed(const QString& db);                  // -2002
HandlerError RentalTypeLookupFailed(const QString& db);                       // -2032
HandlerError PriceListFailed(const QString& db);                              // -2003
HandlerError NoValidPrices();                                                 // -1011
HandlerError NoPaymentTypes();                                                // -1012
HandlerError PaymentTypesFailed(const QString& db);                           // -2011
HandlerError RentalTypeListFailed(const QString& db);                         // -2021
HandlerError MatrixFailed(const QString& db);                                 // -xxxx
// Fetching a booking by its reference number.
HandlerError BookingNotFound(const QString& refnr);                           // -1001
HandlerError BookingLookupFailed(const QString& refnr);                       // -1001
HandlerError NoObjectLines();                                                 // -2101
HandlerError BookingLinesFailed();                                            // -2102
// Cancelling a booking.
HandlerError CancellationFailed(const QString& refnr);                        // -1001

}  // namespace errors
}  // namespace taurelin

// The reservation's own errors.
namespace taurelin::errors::reservation {

HandlerError InvalidFacility(const QString& facility);      // -1002
HandlerError ObjectRefused();                               // -2051
HandlerError InvalidAgent(const QString& agent);            // -1006
HandlerError AgentLookupFailed(const QString& db);          // -2052
HandlerError TypeMissing();                                 // -2054
HandlerError TypeLookupFailed(const QString& db);           // -2053
HandlerError NoPrice();                                     // -xxxx
HandlerError Overbooking();                                 // -2065
HandlerError NoReferenceNumber();                           // -2059
HandlerError UnknownBooking(const QString& refnr);          // -2063
HandlerError BookingLookupFailed(const QString& refnr);     // -2064
HandlerError LinesNotWritten();                             // -2066

}  // namespace taurelin::errors::reservation

// The booker's own errors.
namespace taurelin::errors::booking {

HandlerError InvalidNation();                               // -2081
HandlerError NationsUnreadable();                           // -2082
HandlerError UnknownReference(const QString& refnr);        // -1001
HandlerError ReferenceNotNumeric(const QString& refnr);     // -1001
HandlerError BookerNotCreated();                            // -2088
HandlerError BookerNotUpdated(const QString& bestnr);       // -2089
HandlerError BookingNotLinked();                            // -2087

}  // namespace taurelin::errors::booking

// A guest's confirmation of a booking from its mail (asked by the web face only).
namespace taurelin::errors::confirmation {

HandlerError WrongKey();                                    // invalid_token
HandlerError NotAwaiting(const QString& refnr);             // not_awaiting
HandlerError Failed(const QString& refnr);                  // confirm_failed

}  // namespace taurelin::errors::confirmation
