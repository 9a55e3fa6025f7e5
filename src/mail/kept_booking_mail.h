#pragma once

// A booking's mail as the outbox keeps it: what it tells (the booking as the change that
// called for it left it, read in that change's transaction), to whom, in which language, with
// which values of its own, its id and its date. It is rendered from the templates and written
// as a message only when it is sent, on the courier's thread: the change's transaction pays
// for a row of a few hundred bytes, not for the rendering.
//
// Promises: BookingMailOfKept(KeepBookingMail(mail)) gives back every field as it was (prices
// to the last digit, dates, the booker's words as typed); a kept mail of another form (a mail
// kept as rendered content, or as its bytes) gives nothing; one of this form that cannot be
// read throws MailError. The form is binary, marked and versioned; one build reads what an
// earlier one kept.

#include "mail/mail_content.h"
#include "mail/mail_event.h"
#include "mail/template_text.h"
#include "store/booking_summary.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace taurelin {

struct KeptBookingMail {
  MailEvent event = MailEvent::kBookingConfirmed;
  QString recipient;
  QString recipientName;
  QString language;
  bool calendar = false;   // the stay goes with it as a calendar file
  MailValues extra;        // values beside the booking's
  BookingSummary booking;  // as the change that called for the mail left it
  QString id;              // the outbox row's: the left side of the Message-ID
  QDateTime date;          // when it was written: the mail's Date
};

QByteArray KeepBookingMail(const KeptBookingMail& mail);
std::optional<KeptBookingMail> BookingMailOfKept(const QByteArray& kept);

}  // namespace taurelin
