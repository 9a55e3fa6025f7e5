#include "channels/channel_import.h"

#include "store/channel_bookings.h"
#include "store/data_module.h"
#include "store/database_error.h"
#include "store/database_session.h"

#include <QSet>

namespace taurelin {
namespace {

ChannelBookings::Channel ChannelOf(const ChannelFeed& feed) {
  return {feed.name, feed.facility, feed.type, feed.agent,
          feed.removal == ChannelFeed::Removal::kKeep};
}

TdmBook& ModuleOf(DatabaseSession& session) {
  if (session.dmBook() == nullptr) {
    throw DatabaseError(QStringLiteral("the booking database is not connected"),
                        DatabaseError::Cause::kConnection);
  }
  return *session.dmBook();
}

void Count(ChannelBookings::Outcome outcome, ImportResult& result) {
  using Outcome = ChannelBookings::Outcome;
  switch (outcome) {
    case Outcome::kAdded: ++result.added; break;
    case Outcome::kMoved: ++result.moved; break;
    case Outcome::kCancelled: ++result.cancelled; break;
    case Outcome::kKept: ++result.kept; break;
    case Outcome::kSkipped: ++result.skipped; break;
    case Outcome::kUnchanged:
    case Outcome::kDropped: ++result.unchanged; break;
  }
}

QList<ChannelConflict> Converted(const QList<StoredConflict>& stored) {
  QList<ChannelConflict> conflicts;
  for (const StoredConflict& c : stored) {
    conflicts.append({c.uid, c.refnr, c.others, c.arrival, c.departure});
  }
  return conflicts;
}

ImportResult Import(TdmBook& module, const ChannelFeed& feed, const CalendarReading& reading,
                    const QDate& today) {
  ImportResult result;
  ChannelBookings bookings(module, ChannelOf(feed));
  const ChannelBookings::Lock lock(module.connection(), feed.name);
  if (!lock.held()) {
    result.heldElsewhere = true;
    return result;
  }
  result.events = static_cast<int>(reading.events.size());
  result.notes = reading.notes;
  if (!bookings.SellsType()) {
    result.skipped = result.events;
    result.notes << QStringLiteral("facility %1 has no rental type %2 to sell: nothing of the "
                                   "calendar is booked")
                        .arg(feed.facility)
                        .arg(feed.type);
    return result;
  }

  QSet<QString> listed;
  QSet<QString> checked;
  for (const CalendarEvent& event : reading.events) {
    listed.insert(event.uid);
    if (event.cancelled) {
      Count(bookings.Withdraw(event.uid, ChannelBookings::Withdrawal::kCancelled, today,
                              &result.notes),
            result);
    } else if (!event.bookable()) {
      ++result.skipped;  // noted by the reading; its booking, if any, stays as it is
    } else {
      Count(bookings.Apply(event.uid, event.arrival, event.departure, today, &result.notes),
            result);
      checked.insert(event.uid);
    }
  }
  // The body was read whole: what it no longer holds is gone from the calendar.
  for (const QString& uid : bookings.Uids()) {
    if (listed.contains(uid)) continue;
    const ChannelBookings::Outcome outcome =
        bookings.Withdraw(uid, ChannelBookings::Withdrawal::kGone, today, &result.notes);
    if (outcome == ChannelBookings::Outcome::kCancelled) ++result.cancelled;
    if (outcome == ChannelBookings::Outcome::kKept) ++result.kept;
  }
  bookings.RecheckConflicts(checked, today, &result.notes);
  result.conflicts = Converted(bookings.Conflicts());
  return result;
}

}  // namespace

ImportResult ImportCalendar(TdmBook& module, const ChannelFeed& feed, const QByteArray& body,
                            const QDate& today) {
  const CalendarReading reading = ReadCalendar(body);
  return Import(module, feed, reading, today);
}

ImportResult ImportCalendar(DatabaseSession& session, const ChannelFeed& feed,
                            const QByteArray& body, const QDate& today) {
  // A body that is no calendar is refused before the database is asked anything.
  const CalendarReading reading = ReadCalendar(body);
  return Import(ModuleOf(session), feed, reading, today);
}

QList<ChannelConflict> CurrentConflicts(DatabaseSession& session, const ChannelFeed& feed) {
  return Converted(ChannelBookings(ModuleOf(session), ChannelOf(feed)).Conflicts());
}

}  // namespace taurelin
