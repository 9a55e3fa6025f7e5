#pragma once

// The mid-size business that the benchmarks measure: a booking database with 10 facilities
// and their wings, 12 rental types, 2,000 rental objects, boards and web prices, agents,
// allotments and a booking history, made deterministically from a seed.
//
// The business books at a steady rate: 150,000 rental lines (rows of LEIE, written as 'U'
// and 'O' pairs under booking headers) over three years back and one year ahead of today,
// and 500 allotment lines at the same rate. Asking for more lines does not crowd the
// calendar: the history reaches further back at the same rate, while the year ahead stays
// exactly as it is, so that two databases of one seed answer every stay that starts more
// than 60 days ahead alike, whatever their history.
//
// The business may also sell further ahead or faster (daysAhead, aheadFactor), at a rate
// that its units cannot hold: at ten times the base rate most nights are taken. It then
// simply sells fewer stays than the rate asks for; once as many stays have found no free
// unit as were asked for, the calendar counts as full.
//
// No unit is ever sold twice: every stay and every held allotment unit takes a real object
// for its nights, so no night of any facility and type holds more than its objects. A stay
// that finds no free object is not sold.

#include <QDate>
#include <QString>

namespace taurelin::bench {

// The rental lines of the base business and of its year ahead.
inline constexpr qint64 kBaseRentalLines = 150'000;
inline constexpr qint64 kYearAheadRentalLines = kBaseRentalLines / 4;

struct BookingDataOptions {
  quint64 seed = 1;
  // Rows of LEIE at the base rate: an even number, at least the year ahead's; the rest is
  // history. Ten times the base reaches 39 years back.
  qint64 rentalLines = kBaseRentalLines;
  // Arrivals run this many days ahead of today (1 to 3650), at this many times the base
  // rate (1 to 100); the history is the same whatever these are.
  int daysAhead = 365;
  int aheadFactor = 1;
  QDate today = QDate::currentDate();
};

struct BookingDataCounts {
  qint64 facilities = 0;
  qint64 rentalTypes = 0;
  qint64 rentalObjects = 0;
  qint64 rentalLines = 0;      // rows of LEIE, as made
  qint64 cancelledLines = 0;   // of those, STATUS 'A'
  qint64 bookings = 0;         // rows of BOOKING
  qint64 bookers = 0;          // rows of BESTILL
  qint64 allotmentLines = 0;   // rows of ALLOTLINJE
  qint64 allotmentUses = 0;    // rows of LEIE_ALLOT
  qint64 priceLines = 0;       // rows of PRISLINJE
  QDate firstArrival;          // where the history begins
};

// Creates the SQLite database `file`, which must not exist yet, with the schema and the
// business. False, with `error` set and the file removed, when it cannot.
bool GenerateBookingData(const QString& file, const BookingDataOptions& options,
                         BookingDataCounts* counts, QString* error);

}  // namespace taurelin::bench
