#pragma once

// What a change to a booking calls for beyond the booking itself, such as the mails that tell
// the guest and the business of it. It is told inside the change's own transaction, on its
// connection, so that what it writes commits or rolls back with the change: a booking that
// commits has its mails, one that rolls back has none. Whatever it throws rolls the change
// back, and the change fails as any failed write does.

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace taurelin {

class Connection;

class BookingEvents {
 public:
  virtual ~BookingEvents() = default;

  // A booker was attached to the booking `refnr`: its first (`first`), or new details of one
  // it had. `language` is the one the guest booked in; empty when the request named none.
  virtual void BookerAttached(Connection& connection, qint64 refnr, bool first,
                              const QString& language) = 0;
  // A booker `bestnr` was written for the hold `refnr` and waits for its guest to confirm
  // the booking with `key` before it is linked; the hold now ends at `holdEnds` (when known).
  virtual void ConfirmationAwaited(Connection& connection, qint64 refnr, qint64 bestnr,
                                   const QString& language, const QString& key,
                                   const std::optional<QDateTime>& holdEnds) {
    (void)connection, (void)refnr, (void)bestnr, (void)language, (void)key, (void)holdEnds;
  }
  // Units were added to the booking `refnr`, which has a booker or not.
  virtual void UnitsAdded(Connection& connection, qint64 refnr) = 0;
  // The booking `refnr`, which had a booker, was cancelled (a booking without one, a hold,
  // is deleted, and calls for nothing).
  virtual void Cancelled(Connection& connection, qint64 refnr) = 0;
  // The booking `refnr` that channel `channel`'s calendar brought in sells its type beyond
  // its units on nights that the bookings `others` hold too: a new overbooking.
  virtual void Overbooked(Connection& connection, const QString& channel, qint64 refnr,
                          const QList<qint64>& others) {
    (void)connection, (void)channel, (void)refnr, (void)others;
  }
};

}  // namespace taurelin
