#pragma once

// What guests have done, by client: the holds they placed that may still be live (until the
// moment each one ends), and the moments they attached a booker in the last 24 hours. It
// remembers; the face decides, and asks the booking database whether a remembered hold is
// still one, since a hold ends also by a booker, a cancellation or another program.
//
// Promises: pure, on the time it is given (milliseconds since the epoch); a client's holds
// that have ended and bookings older than a day are forgotten when that client is next
// looked at; at most `maxClients` clients are kept (past that, the ones seen longest ago go
// first), so a flood from many addresses cannot grow the server.

#include <QHash>
#include <QList>
#include <QString>

namespace taurelin {

class GuestLedger {
 public:
  static constexpr qint64 kDayMs = 24 * 3600 * 1000;

  explicit GuestLedger(int maxClients = 50000) : maxClients_(maxClients) {}

  struct Hold {
    qint64 refnr = 0;
    qint64 endsMs = 0;
  };

  // The holds of `client` that have not ended by `nowMs`, the earliest ending first.
  QList<Hold> liveHolds(const QString& client, qint64 nowMs);
  void addHold(const QString& client, qint64 refnr, qint64 endsMs, qint64 nowMs);
  // The hold `refnr` is a hold no more (booked or cancelled), whoever placed it.
  void dropHold(qint64 refnr);

  // The moments, in the last day, at which `client` attached a booker; oldest first.
  QList<qint64> bookings(const QString& client, qint64 nowMs);
  void addBooking(const QString& client, qint64 nowMs);

  int clients() const { return static_cast<int>(clients_.size()); }

 private:
  struct Client {
    QList<Hold> holds;
    QList<qint64> bookings;
    qint64 seenMs = 0;
  };
  // The client's entry, made when missing, with what has ended forgotten.
  Client& entry(const QString& client, qint64 nowMs);
  void makeRoom();

  int maxClients_;
  QHash<QString, Client> clients_;
  QHash<qint64, QString> holders_;  // refnr → client
};

}  // namespace taurelin
