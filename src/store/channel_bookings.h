#pragma once

// The database side of importing a channel's calendar: the bookings that its events became,
// as the table KANAL_BOOKING lists them (the channel, the event's UID, the booking's
// reference number, the dates last seen, the bookings it is in conflict with, and whether
// it was kept although withdrawn), the events that its reads no longer hold (KANAL_BORTE:
// since when, and whether their bookings were cancelled for it), and whether the calendar is
// held as suspect (KANAL_STATUS). This is the only place that reads or writes those tables.
//
// Promises: each call that changes anything is one write transaction under the reservation
// lock of the channel's facility and rental type, and looks the event's row up inside it,
// so an event is never booked twice, by this server or another on the same database. Only
// bookings that the table lists for the channel are ever changed. A new event becomes a
// booking as a reservation does (header, rental-type line, object line, one unit, price 0)
// under the channel's agent, confirmed, with a booker that names the calendar, so that it
// counts as booked and the expiry sweep never touches it. A row stays until its booking has
// ended, so a UID once booked keeps its reference number: a booking that the import
// cancelled is given back when its event returns, and one that someone cancelled or deleted
// here is never booked again for its event. A booking whose nights the type has sold beyond
// its units stays, and its row names the other bookings on those nights until that is
// resolved. "Ended" means departing today or earlier: an event that has ended is never
// added, and a booking that has ended is never cancelled for being gone from its calendar
// (platforms drop past events).

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace taurelin {

class BookingEvents;
class BookingStore;
class Connection;
class DatabaseSession;

// A booking of a channel that shares nights with other bookings beyond its type's units.
struct StoredConflict {
  QString uid;
  qint64 refnr = 0;
  QList<qint64> others;  // the other bookings of the type on those nights
  QDate arrival;
  QDate departure;
};

// A calendar held as suspect: a read dropped `dropped` of its `of` future events at once,
// and it has kept the shape `shape` since `since`.
struct ChannelSuspicion {
  QDateTime since;
  QString shape;
  int dropped = 0;
  int of = 0;

  bool operator==(const ChannelSuspicion&) const = default;
};

class ChannelBookings {
 public:
  struct Channel {
    QString name;  // what its rows are known by
    int facility = 0;
    int type = 0;
    int agent = 0;
    bool keepWithdrawn = false;  // keep (and note) bookings whose events were withdrawn
  };

  // What became of a row's booking.
  enum class Fate {
    kLive,
    kCancelledForIt,  // cancelled by the import because its event was withdrawn
    kGoneHere,        // cancelled or deleted here, by hand or by another program
  };

  // A row as the import plans with it.
  struct Row {
    QString uid;
    qint64 refnr = 0;
    QDate arrival;
    QDate departure;
    std::optional<QList<qint64>> conflict;
    bool kept = false;       // withdrawn, kept as the channel says
    bool seenToday = false;  // its sighting is written for today
    QDateTime goneSince;     // the first read that lacked it; invalid while reads hold it
    Fate fate = Fate::kLive;
  };

  enum class Outcome {
    kAdded,
    kMoved,
    kMatched,   // a new UID taken for a vanished event moved: its booking followed it
    kRestored,  // its event returned: its cancelled booking is booked again
    kUnchanged,
    kCancelled,
    kKept,     // withdrawn, kept as the channel says
    kSkipped,  // ended before it was booked, or cancelled before it was booked
    kDropped,  // its row let go without touching the booking: ended
  };
  enum class Withdrawal { kCancelled, kGone };

  // While it lives, no other import of the channel runs on the same database; `held` says
  // whether it was taken (else another session holds it). Released on destruction.
  class Lock {
   public:
    Lock(Connection& connection, const QString& channel);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    bool held() const { return held_; }

   private:
    Connection& connection_;
    QString channel_;
    bool held_ = false;
  };

  // On the session's booking store and its connection; throws DatabaseError when it is not
  // connected. Every call throws DatabaseError when the database fails; what it began is then
  // rolled back. `events` (may be null) is told of a new overbooking inside the transaction
  // that finds it.
  ChannelBookings(DatabaseSession& session, Channel channel, BookingEvents* events = nullptr);

  // Whether the channel's facility sells its rental type (has units of it).
  bool SellsType();

  // Every row of the channel, with its booking's fate; `now` tells which were seen today.
  QList<Row> Rows(const QDateTime& now);

  // An event of the calendar that is not cancelled, with the stay it now holds (arrival
  // before departure): booked when new, moved when its dates changed, booked again when the
  // import had cancelled it; whatever marked it gone is cleared. Notes go to `notes`.
  Outcome Apply(const QString& uid, const QDate& arrival, const QDate& departure,
                const QDateTime& now, QStringList* notes);
  // A new event taken for the event `oldUid` moved (a platform gave the same stay a new UID):
  // the row and its booking follow the new UID to its dates. When the old row is no longer
  // live, or the new UID has a row already, this is Apply of the new event.
  Outcome Adopt(const QString& oldUid, const QString& uid, const QDate& arrival,
                const QDate& departure, const QDateTime& now, QStringList* notes);
  // A read lacked the row's event: remembered from `now`, unless remembered already.
  void MarkGone(const QString& uid, const QDateTime& now);
  // An event cancelled in the calendar, or one gone from it for long enough: its booking is
  // cancelled (its row stays, to give it back if the event returns) or kept as the channel
  // says; a row whose booking has ended is let go.
  Outcome Withdraw(const QString& uid, Withdrawal why, const QDateTime& now,
                   QStringList* notes);
  // Lets go of a row whose booking has ended, or was cancelled, and whose event is gone.
  void Forget(const QString& uid);

  // Works out again whether the row's booking (as Rows read it) is sold beyond the type's
  // units, and writes it when that changed. Notes go to `notes`.
  void CheckConflict(const Row& row, const QDate& today, QStringList* notes);
  // The channel's rows in conflict, by arrival.
  QList<StoredConflict> Conflicts();

  // Whether the calendar is held as suspect, and the change of that.
  std::optional<ChannelSuspicion> Suspicion();
  void SetSuspicion(const std::optional<ChannelSuspicion>& suspicion);

 private:
  std::optional<Row> FindRow(const QString& uid, const QDateTime& now);
  // The channel's rows, or its row of `uid` when given.
  QList<Row> Select(const QDateTime& now, const QString* uid);
  qint64 NewBooking(const QString& uid, const QDate& arrival, const QDate& departure,
                    const QDateTime& now);
  void MoveBooking(qint64 refnr, const QDate& arrival, const QDate& departure);
  // The other bookings on the stay's nights when the type is sold beyond its units there;
  // nothing when it is not (or the stay has ended).
  std::optional<QList<qint64>> Conflict(qint64 refnr, const QDate& arrival,
                                        const QDate& departure, const QDate& today);
  void NoteConflictChange(const Row& row, const std::optional<QList<qint64>>& now,
                          QStringList* notes) const;
  void ClearGone(const QString& uid);
  void DeleteRow(const QString& uid);

  BookingStore& store_;
  Connection& connection_;
  Channel channel_;
  BookingEvents* events_;
};

}  // namespace taurelin
