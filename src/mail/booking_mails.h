#pragma once

// The mails that changes to bookings call for, written into the outbox inside those changes'
// transactions: to the guest (booking confirmed, changed, cancelled, and the link that
// finishes a booking that waits for the guest to confirm it) in the language the
// guest booked in, with the stay as a calendar file and the link to the booking on the
// booking page; and to the business (a new booking, a cancellation), in its own language.
//
// Promises: a mail is written only through the connection and transaction it is given, so it
// commits or rolls back with the change, and tells the booking as that change left it, however
// the booking changes before it is sent (it is kept as what it tells and rendered when it is
// sent: MessageOf); a mail to an address that is none is written as failed with its reason,
// and never fails the booking, while an outbox that cannot be written does (what the database
// refuses is thrown); the booking code appears only in the guest's own mails; a booking
// without a guest address has no guest mails, and without a business address there are no
// business mails; after a mail is written, `written` is called, once the change's transaction
// has ended (on the event loop), so the courier looks.

#include "mail/mail_content.h"
#include "mail/mail_event.h"
#include "mail/mail_templates.h"
#include "store/booking_events.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

namespace taurelin {

struct BookingSummary;

struct BookingMailSettings {
  MailTemplates templates;
  MailAddress from;                    // MailFrom
  std::optional<MailAddress> replyTo;  // MailReplyTo
  QString businessAddress;             // MailBusinessAddress; empty: no business mails
  QString businessLanguage = QStringLiteral("nb");
  QString defaultLanguage = QStringLiteral("nb");  // MailDefaultLanguage
  QString publicUrl;  // HttpPublicUrl: the booking page's address; empty: no link
  QString contact;    // MailContact: how a guest reaches the business
  int perBookingPerHour = 10;  // MailPerBookingPerHour
};

class BookingMails : public BookingEvents {
 public:
  // `codeFor` gives a booking's code (the booking page's key to it); `written` is told after
  // a mail was written (see above).
  BookingMails(BookingMailSettings settings, std::function<QString(qint64)> codeFor,
               std::function<void()> written);

  void BookerAttached(Connection& connection, qint64 refnr, bool first,
                      const QString& language) override;
  // To the guest: the link that finishes the booking, with when the hold ends.
  void ConfirmationAwaited(Connection& connection, qint64 refnr, qint64 bestnr,
                           const QString& language, const QString& key,
                           const std::optional<QDateTime>& holdEnds) override;
  void UnitsAdded(Connection& connection, qint64 refnr) override;
  void Cancelled(Connection& connection, qint64 refnr) override;
  // To the guest: the stay of booking `refnr` begins soon (in the caller's transaction).
  void Remind(Connection& connection, qint64 refnr);
  // To the business: a channel's calendar overbooked a stay (in the import's transaction).
  void Overbooked(Connection& connection, const QString& channel, qint64 refnr,
                  const QList<qint64>& others) override;
  // To the business: a channel's calendar `channel` (for `type` at `facility`) cannot be read
  // or believed, since `since`; in a transaction of its own.
  void ChannelTrouble(Connection& connection, const QString& channel, int facility, int type,
                      const QString& problem, const QDateTime& since);

  // The mail of `event` about booking `refnr` as it would go to its guest (or, for the
  // business's events, to the business), composed; nothing when there is no such booking.
  std::optional<QByteArray> Preview(Connection& connection, MailEvent event, qint64 refnr,
                                    const QString& language);

  // The message of an outbox row's kept mail, as it goes out: a booking's mail rendered from
  // the templates, a mail kept in another form as it was kept. Throws MailError when it cannot
  // be written (a kept mail that cannot be read, a template that cannot render it). Safe on
  // any thread: it reads the settings only.
  QByteArray MessageOf(const QByteArray& kept) const;

  const BookingMailSettings& settings() const { return settings_; }
  // Whether the database has the outbox's intake (MailOutbox::HasIntake); set before the
  // first mail.
  void useIntake(bool intake) { intake_ = intake; }

 private:
  struct Mail {
    MailEvent event;
    QString recipient;
    QString recipientName;
    QString language;
    bool calendar = false;
    MailValues extra = {};  // values beside the booking's
  };
  MailContent compose(const BookingSummary& booking, const Mail& mail, const QString& id,
                      const QDateTime& now) const;
  void write(Connection& connection, const BookingSummary& booking, const Mail& mail);
  // The guest's mail of `event`, in the language given, else the one the guest's earlier
  // mails were in, else the default.
  void toGuest(Connection& connection, const BookingSummary& booking, MailEvent event,
               const QString& language);
  void toBusiness(Connection& connection, const BookingSummary& booking, MailEvent event);

  BookingMailSettings settings_;
  std::function<QString(qint64)> codeFor_;
  std::function<void()> written_;
  bool intake_ = true;
  QString domain_;  // of the sender: the right side of Message-IDs and calendar UIDs
};

}  // namespace taurelin
