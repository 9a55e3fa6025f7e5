#pragma once

// Reading the events of a calendar that another sales channel publishes (iCalendar text), as
// the stays they occupy: what the import books, moves and cancels.
//
// Promises: the body is read by libical, never by hand; a body that is no usable calendar is
// refused with CalendarFormatError, so that a half-read calendar never looks like one whose
// events are gone: not one whole VCALENDAR (an error page, HTML, JSON, nothing, a lone byte
// order mark, binary, a calendar cut short), no VERSION:2.0, or only entries other than
// events (tasks, journal entries, free/busy; time zones alone are an empty calendar).
//
// An event that does not repeat is listed once by its UID, in the calendar's order: an
// event without a UID gets one derived from its dates and summary (the same on every read),
// a UID too long to store is known by a digest of it, and of a UID given twice the first is
// kept. Dates are taken as the event writes them, in its own zone (UTC, a TZID or floating
// alike): the arrival is DTSTART's date; the departure DTEND's date (exclusive for all-day
// events), else DTSTART plus DURATION, else one night; a departure on the arrival day still
// books that one night. An event whose dates cannot be read, or that would run backwards or
// longer than kLongestStay nights, is listed without dates (it is there, but nothing can be
// booked for it), with a note.
//
// A repeating event (RRULE, RDATE) is listed as its occurrences, at the event's place in the
// calendar and in their order: those that have not ended by `today` and arrive by the
// horizon (today plus `daysAhead`); later ones are listed once the horizon reaches them. An
// occurrence is keyed by the UID, '#' and its start as the event's DTSTART writes it
// ("yyyyMMdd" for a date, "yyyyMMddThhmmss" for a date-time, in the event's own zone), so its
// key stays the same from read to read; a key longer than kLongestUid is known by a digest.
// Each keeps the event's length in nights; an EXDATE leaves its occurrence out; an override
// (the same UID with a RECURRENCE-ID) gives its occurrence its own dates and summary, and
// with STATUS:CANCELLED lists it cancelled; an override whose occurrence the rule does not
// give, or whose event is absent, is listed by its own dates all the same. An EXDATE, RDATE,
// RECURRENCE-ID or UNTIL in another zone than the event's is converted by the calendar's own
// VTIMEZONE. At most kMostOccurrences occurrences of an event are listed and its rule is
// followed a bounded number of steps (with a note when cut short); a calendar whose repeats
// take too long to follow is refused: no rule, however hostile, holds the reading up.
//
// The work is one pass over the body; a body above kLargestBody is refused unread.

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <stdexcept>

namespace taurelin {

// The body read is no iCalendar text (an error page, HTML, garbage).
class CalendarFormatError : public std::runtime_error {
 public:
  explicit CalendarFormatError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

struct CalendarEvent {
  QString uid;
  QDate arrival;    // invalid: no dates that can be booked
  QDate departure;  // after arrival when both are valid
  bool cancelled = false;  // STATUS:CANCELLED
  QString summary;

  bool bookable() const { return arrival.isValid() && departure.isValid(); }
};

struct CalendarReading {
  QList<CalendarEvent> events;
  // The last day an occurrence of a repeating event may arrive to be listed.
  QDate horizon;
  // What was read otherwise than as written (a repeat cut short, a UID given twice,
  // unreadable dates).
  QStringList notes;
};

// Longest stay an event may book (about ten years): beyond it the dates are taken as a slip.
inline constexpr int kLongestStay = 3660;
// Longest UID kept as written; the table of imported bookings holds no more.
inline constexpr int kLongestUid = 255;
// Largest body read at all; the poller caps what it fetches well below it.
inline constexpr qsizetype kLargestBody = 64 * 1024 * 1024;
// How far ahead the occurrences of repeating events are listed (days).
inline constexpr int kDefaultDaysAhead = 730;
// Most occurrences of one repeating event listed; more are a slip or a hostile rule.
inline constexpr int kMostOccurrences = 1000;

// The events of `body` as of `today`, repeats listed up to `daysAhead` days on. Throws
// CalendarFormatError when it is no usable calendar.
CalendarReading ReadCalendar(const QByteArray& body, const QDate& today, int daysAhead);

}  // namespace taurelin
