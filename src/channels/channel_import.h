#pragma once

// Bringing one channel's bookings in step with its calendar as just read: each event of the
// calendar is a booking in the business's database (header, rental-type line and object line,
// made by the same booking creation as a reservation, under the channel's agent, with a booker
// that names the calendar, confirmed), known by the calendar's name and the event's UID in a
// table of our own. An event seen again with other dates moves its booking; one that is
// cancelled, or gone from a calendar read whole, cancels it (or keeps it with a warning, as the
// channel file says); an event that ended before today is never added, and its booking is
// never cancelled for being gone (platforms drop past events from their calendars).
//
// Promises: each event is one transaction under the reservation lock of the channel's
// facility and rental type, and the event's row is looked up inside it, so no event is booked
// twice, by this server or by another on the same database; only bookings that this table
// lists for the channel are ever changed; an event whose nights have no free unit left is
// still booked (the guest exists) and reported as a conflict with the bookings that hold
// those nights; a body that is no calendar changes nothing.

#include "channels/calendar_reading.h"  // CalendarFormatError
#include "channels/channel_file.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace taurelin {

class DatabaseSession;
class TdmBook;

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
  int events = 0;     // events in the calendar
  int added = 0;
  int moved = 0;
  int cancelled = 0;
  int unchanged = 0;  // its booking as it was (also: cancelled or deleted here by hand)
  int kept = 0;       // gone or cancelled, kept as the channel file says
  // Not booked: ended (departing today or before), cancelled before it was booked, or
  // without dates that can be booked.
  int skipped = 0;
  // Every booking of the channel that is in conflict now, old and new.
  QList<ChannelConflict> conflicts;
  // Lines for the log: what was kept, skipped or found in conflict, and why.
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

// Reads `body` and applies it to the channel's bookings, a slice at a time. Throws
// CalendarFormatError when the body is no calendar (nothing changed), DatabaseError when the
// database fails (the events applied before stay applied; the next read goes on from there).
// The channel lock is held from here until the import is done or dropped.
std::unique_ptr<ImportSteps> StartImport(DatabaseSession& session, const ChannelFeed& feed,
                                         const QByteArray& body, const QDate& today);

// The same, whole, in one call.
ImportResult ImportCalendar(DatabaseSession& session, const ChannelFeed& feed,
                            const QByteArray& body, const QDate& today);

// The same on a data module of its own (a second connection, as another server has).
ImportResult ImportCalendar(TdmBook& module, const ChannelFeed& feed, const QByteArray& body,
                            const QDate& today);

// The channel's bookings that are in conflict now, from the database. Throws DatabaseError.
QList<ChannelConflict> CurrentConflicts(DatabaseSession& session, const ChannelFeed& feed);

}  // namespace taurelin
