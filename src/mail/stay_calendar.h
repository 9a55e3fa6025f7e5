#pragma once

// A booked stay as an iCalendar file (RFC 5545) to attach to the guest's mails, so that the
// guest's calendar program adds the stay in one tap.
//
// Promises: a VCALENDAR with METHOD:PUBLISH and one all-day VEVENT from the arrival to the
// departure (an exclusive DTEND, as DATE values); its UID is made of the reference number and
// the domain alone, so the mail of a changed booking carries the same event (with a higher
// SEQUENCE) and a calendar program moves the stay instead of adding a second one; SUMMARY is
// the facility and the reference number; DESCRIPTION and LOCATION as given (no LOCATION when
// empty). Nothing depends on the clock but DTSTAMP, which is `stamp`. Lines end in CRLF and
// are folded at 75 octets. A departure not after the arrival, a domain that is not one, or a
// stamp that is not valid throws MailError. Callable from any thread at once.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>

namespace taurelin {

struct CalendarStay {
  qint64 refnr = 0;
  QString domain;     // the UID's right side, "booking.example"
  QDate arrival;
  QDate departure;
  QString facility;   // the facility's name
  QString description;
  QString location;   // empty: none
  int sequence = 0;   // how many times the booking was changed
  QDateTime stamp;    // DTSTAMP: when this version of the stay was written
};

QByteArray StayCalendar(const CalendarStay& stay);

}  // namespace taurelin
