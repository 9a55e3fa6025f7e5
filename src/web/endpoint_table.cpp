#include "web/endpoint_table.h"

namespace taurelin {
namespace {

using From = InputField::From;
using Kind = ValueKind;
using Method = QHttpServerRequest::Method;
using Shape = Endpoint::Shape;
using Access = Endpoint::Access;
using Dates = Endpoint::Dates;

constexpr QLatin1String L(const char* text) { return QLatin1String(text); }

constexpr qint64 kIntMin = -2147483647 - 1;
constexpr qint64 kIntMax = 2147483647;
// A reference number fits the time-out register's field of ten characters.
constexpr qint64 kRefnrMax = 9999999999;

InputField Fixed(const char* column, const char* value) {
  return {L(column), From::kFixed, L(value)};
}
InputField Integer(const char* column, From from, const char* name, bool required,
                   qint64 low = kIntMin, qint64 high = kIntMax) {
  return {L(column), from, L(name), Kind::kInteger, required, L("*"), low, high};
}
InputField Date(const char* column, From from, const char* name) {
  return {L(column), from, L(name), Kind::kDate, true};
}
// An optional text of the booker; absent, it is empty, as a web shop leaves it.
InputField Text(const char* column, const char* name, int maxLength, bool required = false) {
  return {L(column), From::kBody, L(name), Kind::kText, required, L(""), 0, 0, maxLength};
}
InputField Refnr(From from) {
  return {L("REFNR"), from, L("refnr"), Kind::kInteger, from == From::kPath, L("*"), 1,
          kRefnrMax};
}

const InputField kPricesIn[] = {
    Fixed("ANLEGGSNR", "0"),
    Integer("UTYPE", From::kQuery, "type", false),
    Fixed("UTL_OBJ", "*"),
};
const OutputField kPricesOut[] = {
    {L("UTYPE"), L("type"), Kind::kInteger},
    {L("FRA"), L("from"), Kind::kDate},
    {L("TIL"), L("to"), Kind::kDate},
    {L("PENSJONSTYPE"), L("board"), Kind::kInteger},
    {L("PRISTYPE"), L("priceType"), Kind::kText},
    {L("PRIS_U"), L("weekPrice"), Kind::kDecimal},
    {L("PRIS_H"), L("weekendPrice"), Kind::kDecimal},
};

const InputField kPaymentTypesIn[] = {
    Integer("ANLEGGSNR", From::kQuery, "facility", true),
};
const OutputField kPaymentTypesOut[] = {
    {L("KORT"), L("code"), Kind::kText},
    {L("TEKST"), L("text"), Kind::kText},
    {L("GYLDIG"), L("valid"), Kind::kFlag},
};

const InputField kRentalTypesIn[] = {
    Integer("ANLEGGSNR", From::kQuery, "facility", true),
};
const OutputField kRentalTypesOut[] = {
    {L("UTYPE"), L("type"), Kind::kInteger},
    {L("KODE"), L("code"), Kind::kText},
    {L("BESKR"), L("description"), Kind::kText},
    {L("KAPASITET"), L("units"), Kind::kInteger},
};

const InputField kAvailabilityIn[] = {
    // Absent: every facility, as -1 says.
    {L("ANLEGGSNR"), From::kQuery, L("facility"), Kind::kInteger, false, L("-1")},
    Integer("UTYPE", From::kQuery, "type", false),
    Fixed("UTL_OBJ", "*"),
    Integer("PENSJONSTYPE", From::kQuery, "board", false),
    Date("ANKOMST", From::kQuery, "arrival"),
    Date("AVREISE", From::kQuery, "departure"),
};
const OutputField kAvailabilityOut[] = {
    {L("UTYPE"), L("type"), Kind::kInteger},
    {L("ANKOMST"), L("arrival"), Kind::kDate},
    {L("AVREISE"), L("departure"), Kind::kDate},
    {L("PENSJONSTYPE"), L("board"), Kind::kInteger},
    {L("LEDIG"), L("free"), Kind::kInteger},
    {L("PRIS"), L("price"), Kind::kDecimal},
};

const InputField kMatrixIn[] = {
    Integer("ANLEGGSNR", From::kQuery, "facility", true),
    Integer("UTYPE", From::kQuery, "type", false),
    Fixed("UTL_OBJ", "*"),
    Integer("AGENT", From::kQuery, "agent", false),
    Date("FRA", From::kQuery, "from"),
    Date("TIL", From::kQuery, "to"),
};
const OutputField kMatrixOut[] = {
    {L("ANLEGGSNR"), L("facility"), Kind::kInteger},
    {L("UTYPE"), L("type"), Kind::kInteger},
    {L("DATO"), L("date"), Kind::kDate},
    {L("LEDIG"), L("free"), Kind::kInteger},
    {L("ALLOTMENT"), L("allotment"), Kind::kInteger},
    {L("TILBUD"), L("offer"), Kind::kInteger},
};

const InputField kReservationIn[] = {
    Integer("ANLEGGSNR", From::kBody, "facility", true),
    Integer("UTYPE", From::kBody, "type", true),
    Fixed("UTL_OBJ", "*"),
    Date("ANKOMST", From::kBody, "arrival"),
    Date("AVREISE", From::kBody, "departure"),
    Integer("PENSJONSTYPE", From::kBody, "board", true),
    Integer("ANTALL", From::kBody, "units", true, 1, 1000),
    Integer("ANT_PERSONER", From::kBody, "persons", true, 0, 1000),
    Integer("AGENT", From::kBody, "agent", true),
    // Absent: the price list's price.
    {L("PRIS"), From::kBody, L("price"), Kind::kDecimal, false, L("")},
    Refnr(From::kBody),
    // A time-out of 0 would hold the units for ever.
    Integer("TIMEOUT", From::kBody, "timeout", true, 1, 86400),
};
const OutputField kReservationOut[] = {
    {L("REFNR"), L("refnr"), Kind::kInteger},
    {L("UTYPE"), L("type"), Kind::kInteger},
    {L("ANKOMST"), L("arrival"), Kind::kDate},
    {L("AVREISE"), L("departure"), Kind::kDate},
    {L("ANTALL"), L("units"), Kind::kInteger},
    {L("ANT_PERSONER"), L("persons"), Kind::kInteger},
    {L("AGENT"), L("agent"), Kind::kInteger},
    {L("PRIS"), L("price"), Kind::kDecimal},
    {L("TIMEOUT"), L("timeout"), Kind::kInteger},
};

// The booker's texts are bounded by their columns in the database.
const InputField kBookerIn[] = {
    Refnr(From::kPath),
    Integer("AGENT", From::kBody, "agent", true),
    Text("NASJON", "nation", 20, true),
    Text("ENAVN", "surname", 50, true),
    Text("FNAVN", "firstName", 50),
    Text("ADRESSE1", "address1", 100),
    Text("ADRESSE2", "address2", 100),
    // Stored as a number: without one the booker cannot be written.
    {L("POSTNR"), From::kBody, L("postcode"), Kind::kDigits, true, L(""), 0, 0, 10},
    Text("POSTSTED", "place", 50),
    Text("TELEFON", "phone", 30),
    Text("FAKS", "fax", 30),
    {L("EPOST"), From::kBody, L("email"), Kind::kEmail, false, L(""), 0, 0, 100},
    Text("ANMERKNING", "remark", 1000),
    // The language the guest booked in, for the mails; not one of the instruction's columns.
    Text("SPRAAK", "language", 8),
};
const OutputField kBookerOut[] = {
    {L("REFNR"), L("refnr"), Kind::kInteger},
};

const InputField kBookingIn[] = {Refnr(From::kPath)};
// The key of the guest's mail: 24 characters, a few more allowed for a longer key later.
const InputField kConfirmIn[] = {Refnr(From::kPath), Text("NOKKEL", "token", 64, true)};
const OutputField kBookingOut[] = {
    {L("UTYPE"), L("type"), Kind::kInteger},
    {L("UTL_OBJ"), L("unit"), Kind::kInteger},
    {L("ANKOMST"), L("arrival"), Kind::kDate},
    {L("AVREISE"), L("departure"), Kind::kDate},
    {L("PENSJONSTYPE"), L("board"), Kind::kInteger},
    {L("ANTALL"), L("units"), Kind::kInteger},
    {L("ANT_PERSONER"), L("persons"), Kind::kInteger},
    {L("AGENT"), L("agent"), Kind::kInteger},
    {L("PRIS"), L("price"), Kind::kDecimal},
};

const OutputField kFacilitiesOut[] = {
    {L("ANLEGGSNR"), L("facility"), Kind::kInteger},
    {L("ANLEGGSNAVN"), L("name"), Kind::kText},
};

const OutputField kCancellationOut[] = {
    {L("REFNR"), L("refnr"), Kind::kInteger},
};

const Endpoint kEndpoints[] = {
    {Method::Get, L("/api/v1/facilities"), L("ANLEGG"), L("facilities"), {}, kFacilitiesOut},
    {Method::Get, L("/api/v1/prices"), L("PRIS"), L("prices"), kPricesIn, kPricesOut},
    {Method::Get, L("/api/v1/payment-types"), L("KORT"), L("paymentTypes"), kPaymentTypesIn,
     kPaymentTypesOut},
    {Method::Get, L("/api/v1/rental-types"), L("UTYPE"), L("rentalTypes"), kRentalTypesIn,
     kRentalTypesOut},
    {Method::Get, L("/api/v1/availability"), L("LEDIG"), L("availability"), kAvailabilityIn,
     kAvailabilityOut, Shape::kList, 200, Access::kRead, Dates::kStay},
    {Method::Get, L("/api/v1/availability-matrix"), L("LEDIGMATRISE"), L("days"), kMatrixIn,
     kMatrixOut, Shape::kList, 200, Access::kRead, Dates::kSpan},
    {Method::Post, L("/api/v1/reservations"), L("RESERVER"), L(""), kReservationIn,
     kReservationOut, Shape::kFirstRow, 201, Access::kPlaceHold, Dates::kStay},
    {Method::Put, L("/api/v1/reservations/{refnr}/booker"), L("BOOKING"), L(""), kBookerIn,
     kBookerOut, Shape::kFirstRow, 200, Access::kChangeBooking},
    {Method::Post, L("/api/v1/reservations/{refnr}/confirm"), L("BEKREFT"), L(""), kConfirmIn,
     kCancellationOut, Shape::kFirstRow, 200, Access::kChangeBooking},
    {Method::Get, L("/api/v1/reservations/{refnr}"), L("HENTBOOK"), L("lines"), kBookingIn,
     kBookingOut, Shape::kList, 200, Access::kReadBooking},
    {Method::Delete, L("/api/v1/reservations/{refnr}"), L("AVBESTILL"), L(""), kBookingIn,
     kCancellationOut, Shape::kCancellation, 200, Access::kChangeBooking},
};

}  // namespace

std::span<const Endpoint> Endpoints() { return kEndpoints; }

QLatin1String MethodName(QHttpServerRequest::Method method) {
  switch (method) {
    case Method::Get:
      return L("GET");
    case Method::Put:
      return L("PUT");
    case Method::Delete:
      return L("DELETE");
    case Method::Post:
      return L("POST");
    case Method::Head:
      return L("HEAD");
    case Method::Options:
      return L("OPTIONS");
    case Method::Patch:
      return L("PATCH");
    case Method::Connect:
      return L("CONNECT");
    case Method::Trace:
      return L("TRACE");
    default:
      return L("UNKNOWN");
  }
}

}  // namespace taurelin
