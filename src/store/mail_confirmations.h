#pragma once

// Holds that wait for their guest to confirm the booking from a mail (GuestConfirmByMail):
// the booker is written, but linked to the booking only when the guest opens the mail's link,
// so until then the booking is a hold to every program that reads the database, and runs out
// as a hold does when the guest never confirms. The table is BEKREFT_VENTER; this is the only
// place that reads or writes it.
//
// Promises: a hold waits for one key at a time, kept as a digest only, so the database never
// holds what opens it; a key confirms once (its row goes with the confirmation, in the
// caller's transaction); rows left by holds that ran out are cleared as new ones are written.

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace taurelin {

class Connection;

class MailConfirmations {
 public:
  explicit MailConfirmations(Connection& connection);

  // A new single-use key, fit for a link: 144 random bits in base64url.
  static QString NewKey();

  struct Waiting {
    qint64 bestnr = 0;  // the booker to link
    QString agent;      // the agent to link with it
    QString language;   // the language the guest booked in
  };

  // Inside the caller's write transaction: hold `refnr` waits for `key` to link `waiting`.
  // A key it waited for before is replaced. True when it waited for none before. Throws
  // DatabaseError.
  bool Await(qint64 refnr, const QString& key, const Waiting& waiting, const QDateTime& now);

  // Whether hold `refnr` waits for its guest's confirmation. Throws DatabaseError.
  bool Awaits(qint64 refnr);

  enum class Outcome { kConfirmed, kWrongKey, kNotWaiting };
  // Inside the caller's write transaction: takes `key` for hold `refnr`; when it is the one
  // awaited, the row goes and what it waited to link is in `waiting`. Throws DatabaseError.
  Outcome Confirm(qint64 refnr, const QString& key, Waiting* waiting);

 private:
  Connection& connection_;
};

}  // namespace taurelin
