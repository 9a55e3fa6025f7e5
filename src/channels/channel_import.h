#pragma once

// Bringing one channel's bookings in step with its calendar as just read: each event of the
// calendar is a booking in the business's database (header, rental-type line and object line,
// made by the same booking creation as a reservation, under the channel's agent, with a booker
// that names the calendar, confirmed), known by the calendar's name and the event's UID in a
// table of our own. An event seen again with other dates moves its booking; one that is
// cancelled cancels it; one that is gone from the calendar cancels it only on evidence (or
// keeps it with a warning, as the channel file says); an event that ended before today is
// never added, and its booking is never cancelled for being gone (platforms drop past events).
//
// Platforms serve calendars that are briefly empty or half empty, and give a stay a new UID
// when its dates move. So:
// - An event gone from a read is cancelled only once it has been missing from at least two
//   successful reads spanning `removedAfterSeconds`, and never while the calendar is held as
//   suspect.
// - A read that drops all of the future events the last read held, or more than
//   `dropSharePercent` of at least four, holds the calendar as suspect: it adds and moves
//   what it holds and cancels nothing, until the calendar holds its events again or has kept
//   the same shape for `suspectSeconds`.
// - A new UID whose stay covers or touches the stay of an event that is gone from the same
//   calendar is that event moved: its booking follows it, and the log says it was matched.
// - An event whose booking the import cancelled gets that booking back when it returns.
// - Within one read, removals come before moves and moves before additions, and every
//   conflict is worked out again at the end, also after a read that brought nothing new.
//
// Promises: each event is one transaction under the reservation lock of the channel's
// facility and rental type, and the event's row is looked up inside it, so no event is booked
// twice, by this server or by another on the same database; only bookings that this table
// lists for the channel are ever changed; an event whose nights have no free unit left is
// still booked (the guest exists) and reported as a conflict with the bookings that hold
// those nights; a body that is no calendar changes nothing.

#include "channels/calendar_reading.h"  // CalendarFormatError
#include "channels/channel_file.h"
#include "channels/removal_rules.h"
#include "store/channel_bookings.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace taurelin {

class DatabaseSession;

// An imported booking that shares nights with bookings already there, so that the rental
// type is sold beyond its units on those nights.
struct ChannelConflict {
  QString uid;
  qint64 refnr = 0;       // the imported booking
  QList<qint64> others;   // the bookings that hold the same nights of the type
  QDate arrival;
  QDate departure;
};

struct ImportResult {
  // Another server on the same database was importing this channel: nothing was done here.
  bool heldElsewhere = false;
  // No calendar came (the read answered that nothing changed): the last one stands.
  bool unchangedRead = false;
  int events = 0;     // events in the calendar
  int added = 0;
  int moved = 0;
  int matched = 0;    // new UIDs taken for vanished events moved
  int restored = 0;   // returned events whose cancelled bookings were booked again
  int cancelled = 0;
  int unchanged = 0;  // its booking as it was (also: cancelled or deleted here by hand)
  int kept = 0;       // gone or cancelled, kept as the channel file says
  // Not booked: ended (departing today or before), cancelled before it was booked, or
  // without dates that can be booked.
  int skipped = 0;
  int waiting = 0;    // gone from the calendar, booked still until the evidence holds
  int heldBack = 0;   // gone or cancelled, booked still because the calendar is suspect
  // Set while the calendar is held as suspect.
  std::optional<ChannelSuspicion> suspicion;
  // Every booking of the channel that is in conflict now, old and new.
  QList<ChannelConflict> conflicts;
  // Lines for the log: what was kept, skipped, matched or found in conflict, and why.
  QStringList notes;
};

// An import done a slice at a time, so that the server answers its requests between slices
// (each event is a transaction of its own; a calendar may hold hundreds).
class ImportSteps {
 public:
  virtual ~ImportSteps() = default;
  // Does the next part for about `budgetMs` milliseconds, at least one event; true when the
  // import is done. Throws DatabaseError (what was done stays done).
  virtual bool step(int budgetMs) = 0;
  // What was done so far; whole once step() answered true.
  virtual const ImportResult& result() const = 0;
};

// Applies a calendar read whole (`reading`), or, without one, a read that found the calendar
// unchanged since the last, to the channel's bookings, a slice at a time. Throws
// DatabaseError when the database fails (the events applied before stay applied; the next
// read goes on from there). The channel lock is held from here until the import is done or
// dropped. The reading is shared, so that the caller may free it where it was made.
// `events` (may be null) is told of each new overbooking, inside its transaction.
std::unique_ptr<ImportSteps> StartImport(DatabaseSession& session, const ChannelFeed& feed,
                                         std::shared_ptr<const CalendarReading> reading,
                                         const QDateTime& now, const RemovalRules& rules,
                                         BookingEvents* events = nullptr);

// Reads `body` (as far ahead as the default) and imports it whole, in one call. Throws
// CalendarFormatError when the body is no calendar (nothing changed), DatabaseError when the
// database fails.
ImportResult ImportCalendar(DatabaseSession& session, const ChannelFeed& feed,
                            const QByteArray& body, const QDateTime& now,
                            const RemovalRules& rules = {});

// A read that found the calendar unchanged, whole, in one call.
ImportResult ConfirmCalendar(DatabaseSession& session, const ChannelFeed& feed,
                             const QDateTime& now, const RemovalRules& rules = {});

// The channel's bookings that are in conflict now, from the database. Throws DatabaseError.
QList<ChannelConflict> CurrentConflicts(DatabaseSession& session, const ChannelFeed& feed);

}  // namespace taurelin
