#include "mail/mail_event.h"

namespace taurelin {

QString MailEventName(MailEvent event) {
  switch (event) {
    case MailEvent::kBookingConfirmed: return QStringLiteral("booking-confirmed");
    case MailEvent::kBookingChanged: return QStringLiteral("booking-changed");
    case MailEvent::kBookingCancelled: return QStringLiteral("booking-cancelled");
    case MailEvent::kReminder: return QStringLiteral("reminder");
    case MailEvent::kConfirmRequest: return QStringLiteral("confirm-request");
    case MailEvent::kBusinessNewBooking: return QStringLiteral("business-new-booking");
    case MailEvent::kBusinessCancellation: return QStringLiteral("business-cancellation");
    case MailEvent::kBusinessOverbooking: return QStringLiteral("business-overbooking");
    case MailEvent::kBusinessChannelTrouble: return QStringLiteral("business-channel-trouble");
    case MailEvent::kTest: return QStringLiteral("test");
  }
  return {};
}

std::optional<MailEvent> MailEventFromName(QStringView name) {
  for (MailEvent event : kMailEvents) {
    if (MailEventName(event) == name) return event;
  }
  return std::nullopt;
}

const QStringList& MailPlaceholders(MailEvent event) {
  static const QStringList kStay = {"facility", "types",   "arrival", "departure",
                                    "nights",   "persons", "refnr"};
  static const QStringList kGuest =
      kStay + QStringList{"guest_name", "price", "code", "link", "contact"};
  static const QStringList kCancelled = kStay + QStringList{"guest_name", "contact"};
  static const QStringList kConfirmRequest =
      kStay + QStringList{"guest_name", "price", "link", "expires", "contact"};
  static const QStringList kNewBooking =
      kStay + QStringList{"price", "guest_name", "guest_email", "guest_phone", "remark"};
  static const QStringList kCancellation =
      kStay + QStringList{"guest_name", "guest_email", "guest_phone"};
  static const QStringList kOverbooking = {"facility", "types",   "arrival",     "departure",
                                           "nights",   "refnr",   "channel", "other_refnrs"};
  static const QStringList kChannelTrouble = {"facility", "types", "channel", "problem",
                                              "since"};
  static const QStringList kTestMail = {"facility", "sent"};
  switch (event) {
    case MailEvent::kBookingConfirmed:
    case MailEvent::kBookingChanged:
    case MailEvent::kReminder:
      return kGuest;
    case MailEvent::kBookingCancelled: return kCancelled;
    case MailEvent::kConfirmRequest: return kConfirmRequest;
    case MailEvent::kBusinessNewBooking: return kNewBooking;
    case MailEvent::kBusinessCancellation: return kCancellation;
    case MailEvent::kBusinessOverbooking: return kOverbooking;
    case MailEvent::kBusinessChannelTrouble: return kChannelTrouble;
    case MailEvent::kTest: return kTestMail;
  }
  return kTestMail;
}

}  // namespace taurelin
