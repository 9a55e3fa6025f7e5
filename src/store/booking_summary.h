#pragma once

// What a booking is, as the mails about it tell it: its facility, its stays (one per rental
// line: the rental type by name, the dates, units, persons, the price) and its booker. Read
// from the booking's own rows, on the caller's connection, inside its transaction when it has
// one, so a mail written with a change tells the booking as that change leaves it.

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

namespace taurelin {

class Connection;

struct BookedStay {
  int type = 0;
  QString typeName;  // the type's description, else its code
  QDate arrival;
  QDate departure;
  int units = 0;
  int persons = 0;
  double price = 0;  // the line's price, as the reservation wrote it
  int nights() const { return static_cast<int>(arrival.daysTo(departure)); }
};

struct BookingSummary {
  qint64 refnr = 0;
  int facility = 0;
  QString facilityName;
  bool cancelled = false;
  QList<BookedStay> stays;  // by arrival
  // The booker, when one is linked.
  QString surname, firstName, mail, phone, nation, remark;
  double price() const;
  int persons() const;
};

// The booking `refnr`; nothing when there is none. With `bestnr`, the booker is that one
// instead of the linked one (a booker written but not linked yet, that awaits its guest's
// confirmation). Throws DatabaseError.
std::optional<BookingSummary> ReadBookingSummary(Connection& connection, qint64 refnr,
                                                 std::optional<qint64> bestnr = std::nullopt);

// The name a facility is shown by, and a rental type's (its description, else its code);
// empty for none. Throw DatabaseError.
QString FacilityName(Connection& connection, int facility);
QString RentalTypeName(Connection& connection, int type);

}  // namespace taurelin
