#include "mail/booking_mails.h"

#include "mail/compose_mail.h"
#include "mail/kept_booking_mail.h"
#include "mail/kept_mail.h"
#include "mail/mail_address.h"
#include "store/booking_summary.h"
#include "store/mail_outbox.h"
#include "store/write_transaction.h"

#include <QLocale>
#include <QTimer>

#include <algorithm>

namespace taurelin {
namespace {

// 2026-01-01: the calendar's SEQUENCE counts minutes from here.
constexpr qint64 kSequenceEpoch = 1767225600;

QLocale LocaleOf(const QString& language) {
  if (language.startsWith(u"nb") || language.startsWith(u"no") || language.startsWith(u"nn")) {
    return QLocale(QLocale::NorwegianBokmal, QLocale::Norway);
  }
  if (language.startsWith(u"en")) return QLocale(QLocale::English, QLocale::UnitedKingdom);
  return QLocale(language);
}

// An amount in Norwegian crowns as the language writes it: "kr 3 650,00", "NOK 3,650.00".
QString PriceText(double price, const QLocale& locale) {
  if (locale.language() == QLocale::NorwegianBokmal) {
    return locale.toCurrencyString(price, QStringLiteral("kr"));
  }
  return QStringLiteral("NOK ") + locale.toString(price, 'f', 2);
}

// The booking page's address without the slashes it may end in.
QString PageBase(QString url) {
  while (url.endsWith(u'/')) url.chop(1);
  return url;
}

QString GuestName(const BookingSummary& booking) {
  return (booking.firstName + u' ' + booking.surname).simplified();
}

// The values of a booking's mail, as the mail's language writes them.
MailValues ValuesOf(const BookingSummary& booking, const QLocale& locale) {
  MailValues values;
  values.insert(QStringLiteral("facility"), booking.facilityName);
  values.insert(QStringLiteral("refnr"), QString::number(booking.refnr));
  QStringList types;
  QDate arrival, departure;
  for (const BookedStay& stay : booking.stays) {
    types << QStringLiteral("%1 × %2").arg(stay.units).arg(stay.typeName);
    if (!arrival.isValid() || stay.arrival < arrival) arrival = stay.arrival;
    if (!departure.isValid() || stay.departure > departure) departure = stay.departure;
  }
  values.insert(QStringLiteral("types"), types.join(QStringLiteral(", ")));
  values.insert(QStringLiteral("arrival"), locale.toString(arrival, QLocale::LongFormat));
  values.insert(QStringLiteral("departure"), locale.toString(departure, QLocale::LongFormat));
  values.insert(QStringLiteral("nights"),
                QString::number(std::max<qint64>(0, arrival.daysTo(departure))));
  values.insert(QStringLiteral("persons"), QString::number(booking.persons()));
  values.insert(QStringLiteral("price"), PriceText(booking.price(), locale));
  values.insert(QStringLiteral("guest_name"), GuestName(booking));
  values.insert(QStringLiteral("guest_email"), booking.mail);
  values.insert(QStringLiteral("guest_phone"), booking.phone);
  values.insert(QStringLiteral("remark"), booking.remark);
  return values;
}

}  // namespace

BookingMails::BookingMails(BookingMailSettings settings, std::function<QString(qint64)> codeFor,
                           std::function<void()> written)
    : settings_(std::move(settings)),
      codeFor_(std::move(codeFor)),
      written_(std::move(written)) {
  domain_ = settings_.from.address.mid(settings_.from.address.lastIndexOf(u'@') + 1);
}

void BookingMails::BookerAttached(Connection& connection, qint64 refnr, bool first,
                                  const QString& language) {
  const std::optional<BookingSummary> booking = ReadBookingSummary(connection, refnr);
  if (!booking) return;
  toGuest(connection, *booking,
          first ? MailEvent::kBookingConfirmed : MailEvent::kBookingChanged, language);
  if (first) toBusiness(connection, *booking, MailEvent::kBusinessNewBooking);
}

void BookingMails::ConfirmationAwaited(Connection& connection, qint64 refnr, qint64 bestnr,
                                       const QString& language, const QString& key,
                                       const std::optional<QDateTime>& holdEnds) {
  const std::optional<BookingSummary> booking = ReadBookingSummary(connection, refnr, bestnr);
  if (!booking || booking->mail.isEmpty()) return;
  const QString chosen = (language.isEmpty() ? settings_.defaultLanguage : language).toLower();
  MailValues extra;
  if (!settings_.publicUrl.isEmpty() && codeFor_) {
    extra.insert(QStringLiteral("link"), QStringLiteral("%1/#confirm=%2&code=%3&token=%4")
                                             .arg(PageBase(settings_.publicUrl))
                                             .arg(refnr)
                                             .arg(codeFor_(refnr), key));
  }
  if (holdEnds) {
    extra.insert(QStringLiteral("expires"),
                 LocaleOf(chosen).toString(holdEnds->toLocalTime(), QLocale::LongFormat));
  }
  write(connection, *booking,
        {MailEvent::kConfirmRequest, booking->mail, GuestName(*booking), chosen, false, extra});
}

void BookingMails::UnitsAdded(Connection& connection, qint64 refnr) {
  const std::optional<BookingSummary> booking = ReadBookingSummary(connection, refnr);
  // A hold without its booker yet has nobody to tell.
  if (!booking || booking->surname.isEmpty()) return;
  toGuest(connection, *booking, MailEvent::kBookingChanged, QString());
}

void BookingMails::Cancelled(Connection& connection, qint64 refnr) {
  const std::optional<BookingSummary> booking = ReadBookingSummary(connection, refnr);
  if (!booking) return;
  toGuest(connection, *booking, MailEvent::kBookingCancelled, QString());
  toBusiness(connection, *booking, MailEvent::kBusinessCancellation);
}

void BookingMails::Remind(Connection& connection, qint64 refnr) {
  const std::optional<BookingSummary> booking = ReadBookingSummary(connection, refnr);
  if (!booking || booking->cancelled) return;
  toGuest(connection, *booking, MailEvent::kReminder, QString());
}

void BookingMails::Overbooked(Connection& connection, const QString& channel, qint64 refnr,
                              const QList<qint64>& others) {
  if (settings_.businessAddress.isEmpty()) return;
  const std::optional<BookingSummary> booking = ReadBookingSummary(connection, refnr);
  if (!booking) return;
  QStringList numbers;
  for (const qint64 other : others) numbers << QString::number(other);
  write(connection, *booking,
        {MailEvent::kBusinessOverbooking, settings_.businessAddress, QString(),
         settings_.businessLanguage, false,
         {{QStringLiteral("channel"), channel},
          {QStringLiteral("other_refnrs"), numbers.join(QStringLiteral(", "))}}});
}

void BookingMails::ChannelTrouble(Connection& connection, const QString& channel, int facility,
                                  int type, const QString& problem, const QDateTime& since) {
  if (settings_.businessAddress.isEmpty()) return;
  WriteTransaction transaction(connection);
  BookingSummary about;  // no booking: the facility and the type alone
  about.facility = facility;
  about.facilityName = FacilityName(connection, facility);
  BookedStay stay;
  stay.typeName = RentalTypeName(connection, type);
  stay.units = 1;
  about.stays << stay;
  const QLocale locale = LocaleOf(settings_.businessLanguage);
  write(connection, about,
        {MailEvent::kBusinessChannelTrouble, settings_.businessAddress, QString(),
         settings_.businessLanguage, false,
         {{QStringLiteral("channel"), channel},
          {QStringLiteral("problem"), problem},
          {QStringLiteral("types"), stay.typeName},
          {QStringLiteral("since"), locale.toString(since.toLocalTime(), QLocale::LongFormat)}}});
  transaction.commit();
}

void BookingMails::toGuest(Connection& connection, const BookingSummary& booking,
                           MailEvent event, const QString& language) {
  if (booking.mail.isEmpty()) return;
  QString chosen = language;
  // A booking's confirmation is its guest's first mail but for the request to confirm it,
  // which was written in the language the confirmation is given: nothing earlier to ask.
  if (chosen.isEmpty() && event != MailEvent::kBookingConfirmed) {
    chosen = MailOutbox(connection, intake_).LanguageOf(booking.refnr, booking.mail);
  }
  if (chosen.isEmpty()) chosen = settings_.defaultLanguage;
  write(connection, booking,
        {event, booking.mail, GuestName(booking), chosen.toLower(),
         event != MailEvent::kBookingCancelled});
}

void BookingMails::toBusiness(Connection& connection, const BookingSummary& booking,
                              MailEvent event) {
  if (settings_.businessAddress.isEmpty()) return;
  write(connection, booking,
        {event, settings_.businessAddress, QString(), settings_.businessLanguage, false});
}

MailContent BookingMails::compose(const BookingSummary& booking, const Mail& mail,
                                  const QString& id, const QDateTime& now) const {
  MailValues values = ValuesOf(booking, LocaleOf(mail.language));
  values.insert(QStringLiteral("contact"), settings_.contact);
  for (auto extra = mail.extra.cbegin(); extra != mail.extra.cend(); ++extra) {
    values.insert(extra.key(), extra.value());
  }
  const bool guest = mail.event == MailEvent::kBookingConfirmed ||
                     mail.event == MailEvent::kBookingChanged ||
                     mail.event == MailEvent::kBookingCancelled ||
                     mail.event == MailEvent::kReminder ||
                     mail.event == MailEvent::kConfirmRequest;
  // The booking code opens the booking: it goes to the guest alone.
  if (guest && codeFor_) {
    const QString code = codeFor_(booking.refnr);
    values.insert(QStringLiteral("code"), code);
    // A mail's own link (the confirmation's) stands; else the booking's page.
    if (!settings_.publicUrl.isEmpty() && !mail.extra.contains(QStringLiteral("link"))) {
      values.insert(QStringLiteral("link"), QStringLiteral("%1/#ref=%2&code=%3")
                                                .arg(PageBase(settings_.publicUrl))
                                                .arg(booking.refnr)
                                                .arg(code));
    }
  }
  const RenderedMail rendered =
      settings_.templates.render(mail.event, mail.language, values, settings_.defaultLanguage);
  MailContent content;
  content.from = settings_.from;
  content.replyTo = settings_.replyTo;
  content.to = {{mail.recipientName, mail.recipient}};
  content.subject = rendered.subject;
  content.text = rendered.text;
  content.html = rendered.html;
  content.messageId = id + u'@' + domain_;
  content.date = now;
  if (mail.calendar && !booking.stays.isEmpty()) {
    CalendarStay stay;
    stay.refnr = booking.refnr;
    stay.domain = domain_;
    stay.arrival = booking.stays.first().arrival;
    stay.departure = booking.stays.first().departure;
    for (const BookedStay& more : booking.stays) {
      stay.departure = std::max(stay.departure, more.departure);
    }
    stay.facility = booking.facilityName;
    stay.description = values.value(QStringLiteral("types"));
    // Later versions of the stay count higher, so a calendar program takes the latest.
    stay.sequence = static_cast<int>((now.toSecsSinceEpoch() - kSequenceEpoch) / 60);
    stay.stamp = now;
    content.stay = stay;
    content.calendarName = QStringLiteral("booking-%1.ics").arg(booking.refnr);
  }
  return content;
}

void BookingMails::write(Connection& connection, const BookingSummary& booking,
                         const Mail& mail) {
  const QDateTime now = QDateTime::currentDateTimeUtc();
  const QString id = MailOutbox::NewId();
  NewMail row{MailEventName(mail.event),
              booking.refnr != 0 ? std::optional<qint64>(booking.refnr) : std::nullopt,
              mail.recipient, mail.language, id + u'@' + domain_, {}, {}};
  row.once = mail.event == MailEvent::kBookingConfirmed ||
             mail.event == MailEvent::kBusinessNewBooking;
  row.uniquePerBooking = mail.event == MailEvent::kReminder;
  if (IsMailAddress(mail.recipient)) {
    // Kept as what it tells: it is rendered and written as a message on the courier's thread.
    row.message = KeepBookingMail({mail.event, mail.recipient, mail.recipientName,
                                   mail.language, mail.calendar, mail.extra, booking, id, now});
  } else {
    // Ours to mend: the booking stands, the mail is there, failed.
    row.refusal = QStringLiteral("not composed: '%1' is not an e-mail address").arg(mail.recipient);
  }
  MailOutbox(connection, intake_).Enqueue(row, now, settings_.perBookingPerHour, id);
  if (written_) QTimer::singleShot(0, written_);
}

QByteArray BookingMails::MessageOf(const QByteArray& kept) const {
  const std::optional<KeptBookingMail> mail = BookingMailOfKept(kept);
  if (!mail) return MessageOfKept(kept);
  try {
    return ComposeMail(compose(mail->booking,
                               {mail->event, mail->recipient, mail->recipientName, mail->language,
                                mail->calendar, mail->extra},
                               mail->id, mail->date));
  } catch (const MailError&) {
    throw;
  } catch (const std::runtime_error& failure) {
    // A template that cannot render this mail: ours to mend, as the mail's reason.
    throw MailError(QString::fromUtf8(failure.what()));
  }
}

std::optional<QByteArray> BookingMails::Preview(Connection& connection, MailEvent event,
                                                qint64 refnr, const QString& language) {
  const std::optional<BookingSummary> booking = ReadBookingSummary(connection, refnr);
  if (!booking) return std::nullopt;
  const bool business = event == MailEvent::kBusinessNewBooking ||
                        event == MailEvent::kBusinessCancellation;
  const Mail mail{event,
                  business ? settings_.businessAddress : booking->mail,
                  business ? QString() : GuestName(*booking),
                  language.isEmpty() ? settings_.defaultLanguage : language,
                  event == MailEvent::kBookingConfirmed || event == MailEvent::kBookingChanged ||
                      event == MailEvent::kReminder};
  return ComposeMail(compose(*booking, mail, MailOutbox::NewId(),
                             QDateTime::currentDateTimeUtc()));
}

}  // namespace taurelin
