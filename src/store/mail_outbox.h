#pragma once

// The outbox: the mails that changes to bookings call for, as rows of the table EPOST_UT,
// until a mail server has taken them (or refused them for good). A change writes its mails
// into the intake EPOST_NY, a table without indexes, and each claim moves them on first: the
// change's commit writes a page for its mail, not four. This is the only place that reads or
// writes those tables.
//
// Promises: a mail is written by Enqueue inside the caller's own write transaction, so it
// commits or rolls back with the change that calls for it; nothing of a mail is kept only in
// memory. Every read but DueReminders sees a mail from its commit on, wherever it is; each
// mail is moved from the intake once, with its key. A mail is claimed before it is sent, by
// one statement that moves it from waiting to sending and holds the claim until a time, so
// that several servers on one database never claim one mail twice (a claim that a killed
// server left runs out, and the mail is claimed again then). Every change of a claimed mail
// names its claim, so a server whose claim ran out changes nothing. One guest address gets at
// most `perHour` mails for one booking in any hour: the rest wait, with their time to go, and
// are never dropped.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace taurelin {

class Connection;

enum class MailState { kWaiting, kSending, kSent, kFailed };

// The name of a state as it is stored and shown ("waiting", "sending", "sent", "failed"), and
// back (nothing for a name that is none).
QString MailStateName(MailState state);
std::optional<MailState> MailStateNamed(const QString& name);

// A mail to write.
struct NewMail {
  QString event;                // what it is for, e.g. "booking-confirmed"
  std::optional<qint64> refnr;  // the booking it is about
  QString recipient;            // the address
  QString language;
  QString messageId;            // kept on every attempt, so a resend is known for one
  QByteArray message;           // as composed
  // Set when the mail could not be composed (an address that is none): it is written as
  // failed, with this as its reason, so the outbox shows it and nothing tries to send it.
  QString refusal;
  // A mail that its booking calls for once (the confirmation, the business's note of it):
  // at most the request to confirm went to the recipient before it, so only a limit of one
  // mail an hour can hold it back.
  bool once = false;
  // A mail of which a booking has one (the reminder), which the outbox's own index keeps so
  // when two servers write it at once: written straight into the outbox.
  bool uniquePerBooking = false;
};

// A mail as the outbox holds it.
struct OutboxMail {
  QString id;
  QString event;
  std::optional<qint64> refnr;
  QString recipient;
  QString language;
  MailState state = MailState::kWaiting;
  QString messageId;
  QByteArray message;  // empty once erased, and in lists
  int attempts = 0;
  QDateTime nextAttempt;
  QDateTime claimedUntil;  // invalid unless sending
  QString answer;          // the mail server's last answer
  QDateTime created;
  QDateTime sent;
};

// What the reports need: how many wait, for how long, and how many went or failed.
struct OutboxCounts {
  int waiting = 0;            // waiting or sending
  qint64 oldestWaitingSeconds = 0;
  qint64 sent = 0;
  qint64 failed = 0;
  qint64 failedLastDay = 0;
};

class MailOutbox {
 public:
  // `intake`: whether the database has the intake; one upgraded before it came has the
  // outbox alone, into which every mail then goes straight.
  explicit MailOutbox(Connection& connection, bool intake = true);

  // Whether the database of `connection` has the intake. Throws DatabaseError.
  static bool HasIntake(Connection& connection);

  // A new key for a mail, also the stem of its Message-ID.
  static QString NewId();

  // Writes `mail` as waiting, due at `now` (or later, as `perHour` says); in the caller's
  // open write transaction. Returns its key. Throws DatabaseError.
  QString Enqueue(const NewMail& mail, const QDateTime& now, int perHour, QString id = {});

  // Moves the intake's mails into the outbox; in the caller's open write transaction. Throws
  // DatabaseError.
  void MoveIntake();

  // Moves the intake's mails into the outbox, then claims up to `most` mails due at `now`
  // (waiting, or sending with a claim that ran out), oldest first, until `now` plus
  // `claimSeconds`; with their messages. In a transaction of its own. Throws DatabaseError.
  QList<OutboxMail> Claim(const QDateTime& now, int most, int claimSeconds);

  // What became of a claimed mail; each is one statement, and does nothing when the claim
  // (`claimedUntil` as Claim gave it) is no longer the mail's. Throw DatabaseError.
  void Sent(const OutboxMail& claimed, const QDateTime& now, const QString& answer);
  void TryAgain(const OutboxMail& claimed, const QDateTime& at, const QString& answer);
  void Failed(const OutboxMail& claimed, const QDateTime& now, const QString& answer);
  // A claimed mail that was not tried waits again as it did before its claim.
  void Release(const OutboxMail& claimed);

  // The mails in `state` (all when none), newest first, at most `most`, without their
  // messages. Throws DatabaseError.
  QList<OutboxMail> List(std::optional<MailState> state, int most);
  // The language of the latest mail to `recipient` about booking `refnr`; empty for none.
  QString LanguageOf(qint64 refnr, const QString& recipient);
  // One mail, with its message; nothing when there is none of that key.
  std::optional<OutboxMail> Find(const QString& id);
  // A failed mail waits again, due at `now`; false when it is no failed mail.
  bool Retry(const QString& id, const QDateTime& now);

  OutboxCounts Counts(const QDateTime& now);

  // The bookings whose guests are to be reminded of their stay on `today`: a stay that begins
  // after today and at most `days` days on, not cancelled, whose guest had a confirmation (or
  // a change) before the day the reminder falls on, and no reminder yet. Read from the outbox
  // alone: a confirmation counts from the courier's next claim, seconds after it was written,
  // and the reminders are looked for hourly. Throws DatabaseError.
  QList<qint64> DueReminders(const QDate& today, int days);

  // Erases the message of every mail sent before `before`: its row stays as the record that
  // it was sent. Returns how many.
  int EraseSent(const QDateTime& before);

 private:
  Connection& connection_;
  bool intake_;
};

}  // namespace taurelin
