#pragma once

// The database side of importing a channel's calendar: the bookings that its events became,
// as the table KANAL_BOOKING lists them (the channel, the event's UID, the booking's
// reference number, the dates last seen, the bookings it is in conflict with, and whether
// it was kept although withdrawn). This is the only place that reads or writes that table.
//
// Promises: each call that changes anything is one write transaction under the reservation
// lock of the channel's facility and rental type, and looks the event's row up inside it,
// so an event is never booked twice, by this server or another on the same database. Only
// bookings that the table lists for the channel are ever changed. A new event becomes a
// booking as a reservation does (header, rental-type line, object line, one unit, price 0)
// under the channel's agent, confirmed, with a booker that names the calendar, so that it
// counts as booked and the expiry sweep never touches it. A booking that someone cancelled or
// deleted here is never booked again for its event. A booking whose nights the type has sold
// beyond its units stays, and its row names the other bookings on those nights until that
// is resolved. "Ended" means departing today or earlier: an event that has ended is never
// added, and a booking that has ended is never cancelled for being gone from its calendar
// (platforms drop past events).

#include <QDate>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace taurelin {

class Connection;
class TdmBook;

// A booking of a channel that shares nights with other bookings beyond its type's units.
struct StoredConflict {
  QString uid;
  qint64 refnr = 0;
  QList<qint64> others;  // the other bookings of the type on those nights
  QDate arrival;
  QDate departure;
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

  enum class Outcome {
    kAdded,
    kMoved,
    kUnchanged,
    kCancelled,
    kKept,     // withdrawn, kept as the channel says
    kSkipped,  // ended before it was booked, or cancelled before it was booked
    kDropped,  // its row let go without touching the booking: ended, or cancelled by hand
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

  // On the data module's connection. Every call throws DatabaseError when the database fails;
  // what it began is then rolled back.
  ChannelBookings(TdmBook& module, Channel channel);

  // Whether the channel's facility sells its rental type (has units of it).
  bool SellsType();

  // An event of the calendar that is not cancelled, with the stay it now holds (arrival
  // before departure): booked when new, moved when its dates changed, its conflict looked at
  // again. Notes go to `notes`.
  Outcome Apply(const QString& uid, const QDate& arrival, const QDate& departure,
                const QDate& today, QStringList* notes);
  // An event cancelled in the calendar, or a row whose event the calendar no longer holds.
  Outcome Withdraw(const QString& uid, Withdrawal why, const QDate& today, QStringList* notes);

  // The UIDs of the channel's rows.
  QStringList Uids();
  // Looks again at each row in conflict that is not among `checked`, and clears what is
  // resolved.
  void RecheckConflicts(const QSet<QString>& checked, const QDate& today, QStringList* notes);
  // The channel's rows in conflict, by arrival.
  QList<StoredConflict> Conflicts();

 private:
  struct Row;
  enum class BookingFate { kLive, kGoneHere };

  std::optional<Row> FindRow(const QString& uid);
  BookingFate FateOf(qint64 refnr);
  qint64 NewBooking(const QString& uid, const QDate& arrival, const QDate& departure);
  // The other bookings on the stay's nights when the type is sold beyond its units there;
  // nothing when it is not (or the stay has ended).
  std::optional<QList<qint64>> Conflict(qint64 refnr, const QDate& arrival,
                                        const QDate& departure, const QDate& today);
  void NoteConflictChange(const Row& row, const std::optional<QList<qint64>>& now,
                          QStringList* notes) const;
  void DeleteRow(const QString& uid);

  TdmBook& module_;
  Connection& connection_;
  Channel channel_;
};

}  // namespace taurelin
