#include "handlers/handler_errors.h"

namespace taurelin::errors {

HandlerError InvalidFacility(const QString& facility) {
  return {"-1002", QStringLiteral("Ugyldig anlegg (") + facility + QStringLiteral(").")};
}

HandlerError CompanyLookupFailed(const QString& facility, const QString& db) {
  return {"-2011b", QStringLiteral("Finner ikke foretak for anlegg ") + facility +
                        QStringLiteral(" ved database ") + db + u'.'};
}

HandlerError FacilityLookupFailed(const QString& db) {
  return {"-2032b", QStringLiteral("Kan ikke åpne spørringen på anlegg ved database ") + db};
}

HandlerError ObjectSearchRefused(const char* code) {
  return {code, QStringLiteral("Feil ved forespørsel på objekt (har ikke støtte for søk på "
                               "objektnivå i denne versjonen av Taurelin API).")};
}

HandlerError RentalTypeNotInteger() {
  return {"-1999", QStringLiteral("UTYPE må oppgis som heltall i Taurelin 5.2.x. ")};
}

HandlerError InvalidRentalType(const QString& type) {
  return {"-1003", QStringLiteral("Ugyldig utleietype (") + type + QStringLiteral(").")};
}

HandlerError PriceRentalTypeLookupFailed(const QString& db) {
  return {"-2002",
          QStringLiteral("Kan ikke åpne spørringen på utleietype ved database ") + db + u'.'};
}

HandlerError RentalTypeLookupFailed(const QString& db) {
  return {"-2032", QStringLiteral("Kan ikke åpne spørringen på utleietype ved database ") + db};
}

HandlerError PriceListFailed(const QString& db) {
  return {"-2003", QStringLiteral("Kan ikke åpne spørringen på priser ved database ") + db + u'.'};
}

HandlerError NoValidPrices() {
  return {"-1011", QStringLiteral("Ingen gyldige priser for utleietypen for tidsrommet.")};
}

HandlerError NoPaymentTypes() {
  return {"-1012", QStringLiteral("Ingen betalingstyper i systemet.")};
}

HandlerError PaymentTypesFailed(const QString& db) {
  return {"-2011",
          QStringLiteral("Kan ikke åpne spørringen på betalingstyper ved database ") + db + u'.'};
}

HandlerError RentalTypeListFailed(const QString& db) {
  return {"-2021",
          QStringLiteral("Kan ikke åpne spørringen på utleietype ved database ") + db + u'.'};
}

HandlerError MatrixFailed(const QString& db) {
  return {"-xxxx",
          QStringLiteral("Kan ikke åpne spørringen på HENT_LEDIG_MATRISE ved database ") + db};
}

HandlerError BookingNotFound(const QString& refnr) {
  return {"-1001", QStringLiteral("Ugyldig refnr (") + refnr + QStringLiteral("). Finnes ikke.")};
}

HandlerError BookingLookupFailed(const QString& refnr) {
  return {"-1001", QStringLiteral("Ugyldig refnr (") + refnr +
                       QStringLiteral("). Ugyldig nummerisk verdi.")};
}

HandlerError NoObjectLines() {
  return {"-2101", QStringLiteral("Det finnes ingen leielinjer på bookingen.")};
}

HandlerError BookingLinesFailed() { return {"-2102", QStringLiteral("Kan ikke åpne bookingen.")}; }

HandlerError CancellationFailed(const QString& refnr) {
  return {"-1001",
          QStringLiteral("Feiler ved avbestilling av refnr (") + refnr + QStringLiteral(").")};
}

}  // namespace taurelin::errors

namespace taurelin::errors::reservation {

HandlerError InvalidFacility(const QString& facility) {
  return errors::InvalidFacility(facility);
}

HandlerError ObjectRefused() { return ObjectSearchRefused("-2051"); }

HandlerError InvalidAgent(const QString& agent) {
  return {"-1006", QStringLiteral("Ugyldig agent (") + agent + QStringLiteral(").")};
}

HandlerError AgentLookupFailed(const QString& db) {
  return {"-2052", QStringLiteral("Kan ikke åpne spørringen mot agent ved database ") + db +
                       QStringLiteral(". Dette kan skyldes feil på databasetilkoblingen.")};
}

HandlerError TypeMissing() {
  return {"-2054", QStringLiteral("Utleietype må oppgis ved reservasjon via Taurelin API.")};
}

HandlerError TypeLookupFailed(const QString& db) {
  return {"-2053", QStringLiteral("Kan ikke åpne spørringen på utleietype ved database ") + db +
                       QStringLiteral(". Dette kan skyldes at feltnavn ikke er definert (mangler "
                                      "TAG-fil) eller feil på databasekoblingen.")};
}

HandlerError NoPrice() { return {"-xxxx", QStringLiteral("Ugyldig Pris.")}; }

HandlerError Overbooking() {
  return {"-2065", QStringLiteral("Overbooking. Utleieobjekt er ikke reservert.")};
}

HandlerError NoReferenceNumber() {
  return {"-2059", QStringLiteral("Kan ikke hente ut referansenummer for bestilling.")};
}

HandlerError UnknownBooking(const QString& refnr) {
  return {"-2063", QStringLiteral("Finner ingen bestilling med dette referansenummeret [refnr: ") +
                       refnr + QStringLiteral("].")};
}

HandlerError BookingLookupFailed(const QString& refnr) {
  return {"-2064", QStringLiteral("Kan ikke åpne bookingen [refnr: ") + refnr +
                       QStringLiteral("].")};
}

HandlerError LinesNotWritten() {
  return {"-2066", QStringLiteral("Kan ikke generere bookinglinjer på bestillingen.")};
}

}  // namespace taurelin::errors::reservation

namespace taurelin::errors::booking {

HandlerError InvalidNation() { return {"-2081", QStringLiteral("Ikke gyldig nasjonskode.")}; }

HandlerError NationsUnreadable() {
  return {"-2082", QStringLiteral("Kan ikke lese nasjonskoder.")};
}

HandlerError UnknownReference(const QString& refnr) {
  return {"-1001", QStringLiteral("Ugyldig refnr (") + refnr + QStringLiteral("). Finnes ikke.")};
}

HandlerError ReferenceNotNumeric(const QString& refnr) {
  return {"-1001", QStringLiteral("Ugyldig refnr (") + refnr +
                       QStringLiteral("). Ugyldig nummerisk verdi.")};
}

HandlerError BookerNotCreated() {
  return {"-2088", QStringLiteral("Kan ikke opprette ny bestiller.")};
}

HandlerError BookerNotUpdated(const QString& bestnr) {
  return {"-2089", QStringLiteral("Kan ikke oppdatere informasjon for bestiller ") + bestnr +
                       u'.'};
}

HandlerError BookingNotLinked() { return {"-2087", QStringLiteral("Kan ikke åpne bookingen.")}; }

}  // namespace taurelin::errors::booking

namespace taurelin::errors::confirmation {

HandlerError WrongKey() {
  return {"invalid_token", QStringLiteral("the confirmation link is not valid, or was used")};
}

HandlerError NotAwaiting(const QString& refnr) {
  return {"not_awaiting", QStringLiteral("booking %1 awaits no confirmation").arg(refnr)};
}

HandlerError Failed(const QString& refnr) {
  return {"confirm_failed",
          QStringLiteral("booking %1 could not be confirmed; try again").arg(refnr)};
}

}  // namespace taurelin::errors::confirmation
