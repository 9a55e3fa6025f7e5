#pragma once

// The occasions on which the server writes a mail, each with the values its templates may
// use. A template names a value as {{name}}; a value is a text the caller formats for the
// mail's language (dates, amounts); one not given is empty.
//
// The values (which event takes which is in MailPlaceholders):
//   facility      the facility's name
//   types         the rental types booked, by name and count: "2 × Hytte med fire senger"
//   arrival       the arrival date, as the language writes it
//   departure     the departure date
//   nights        the number of nights
//   persons       the number of persons
//   price         the total price with its currency: "4 250 kr"
//   refnr         the booking's reference number
//   code          the booking code that lets the guest look the booking up
//   link          the booking's page with its code; empty when the server has no public URL
//   expires       when an unfinished booking's hold ends (confirm-request)
//   contact       how a guest reaches the business ("post@fjellstua.no, 700 00 000"), from
//                 the settings; empty: the mail does not say
//   guest_name    the guest's name as booked
//   guest_email   the guest's e-mail address (business mails)
//   guest_phone   the guest's phone number (business mails)
//   remark        what the guest wrote as a remark (business mails)
//   channel       the name of a sales channel (a platform whose calendar is read)
//   other_refnrs  the reference numbers of the bookings a stay overbooks, listed
//   problem       what is wrong with a channel's calendar, in a sentence
//   since         since when a channel's calendar has been in trouble
//   sent          when the test mail was sent
//
// Promises: the file name of every event is its name in MailEventName, and MailEventFromName
// is its inverse; every event's placeholders are among the values listed above.

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <optional>

namespace taurelin {

enum class MailEvent {
  kBookingConfirmed,        // to the guest: the booking is made
  kBookingChanged,          // to the guest: the booking now reads so
  kBookingCancelled,        // to the guest: the booking is cancelled
  kReminder,                // to the guest: the stay is near
  kConfirmRequest,          // to the guest: a link to open to finish the booking
  kBusinessNewBooking,      // to the business: a guest booked
  kBusinessCancellation,    // to the business: a booking was cancelled
  kBusinessOverbooking,     // to the business: a stay was sold twice
  kBusinessChannelTrouble,  // to the business: a channel's calendar cannot be read or trusted
  kTest,                    // a mail the operator sends to try the mail settings
};

inline constexpr std::array kMailEvents = {
    MailEvent::kBookingConfirmed,     MailEvent::kBookingChanged,
    MailEvent::kBookingCancelled,     MailEvent::kReminder,
    MailEvent::kConfirmRequest,       MailEvent::kBusinessNewBooking,
    MailEvent::kBusinessCancellation, MailEvent::kBusinessOverbooking,
    MailEvent::kBusinessChannelTrouble, MailEvent::kTest,
};

// "booking-confirmed", "business-new-booking", ...
QString MailEventName(MailEvent event);
std::optional<MailEvent> MailEventFromName(QStringView name);

// The names a template of `event` may use.
const QStringList& MailPlaceholders(MailEvent event);

}  // namespace taurelin
