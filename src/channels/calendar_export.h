#pragma once

// The iCalendar text (RFC 5545) of an exported feed: the busy runs of one rental type at one
// facility as all-day events, which booking platforms read to close those nights. Where the
// type has a single unit (the common cabin) the feed is simply that unit's calendar.
//
// Promises: one VEVENT per run, DTSTART and an exclusive DTEND as DATE values; an event's UID
// is made of the facility, the type and the run's dates alone, so a platform sees the same
// run as the same event on every fetch; nothing in the text depends on the clock but DTSTAMP,
// which is the `stamp` given, so the same runs, summary and stamp give the same bytes. Lines
// end in CRLF and are folded at 75 octets, never inside a UTF-8 character.

#include "channels/busy_nights.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace taurelin {

struct FeedContent {
  int facility = 0;
  int type = 0;
  QList<BusyRun> runs;
  QString summary;   // of every event: the business's words for "not available"
  QDateTime stamp;   // DTSTAMP: when this content was first served
};

QByteArray CalendarText(const FeedContent& content);

}  // namespace taurelin
