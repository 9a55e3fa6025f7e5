#pragma once

// One e-mail as plain data: who sends it to whom, its subject, its text (and HTML) and an
// optional calendar file (or the stay to write one of), before it is written as a message.
// The outbox keeps these values (KeepMail); ComposeMail turns them into the bytes that are
// sent.

#include "mail/stay_calendar.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>
#include <stdexcept>

namespace taurelin {

struct MailAddress {
  QString name;     // shown beside the address; may be empty and may hold anything a guest typed
  QString address;  // one address, "kari@example.no"
};

struct MailContent {
  MailAddress from;
  std::optional<MailAddress> replyTo;
  QList<MailAddress> to;
  QString subject;
  QString text;
  QString html;          // empty: the mail is text only
  QByteArray calendar;   // an iCalendar file to attach; empty: none, or the stay's below
  std::optional<CalendarStay> stay;  // with no calendar: the stay whose file to attach
  QString calendarName;  // its file name, "booking-1005.ics"
  // Without <>, e.g. "outbox-17.1733822000@booking.example". Chosen once, when the mail is
  // queued, so that a mail sent again is known as the same mail.
  QString messageId;
  QDateTime date;
};

// The content cannot be written as a mail: an address that is none, no recipient, a missing
// Message-ID or date, a stay that ends before it begins.
class MailError : public std::runtime_error {
 public:
  explicit MailError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

}  // namespace taurelin
