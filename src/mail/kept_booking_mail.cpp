#include "mail/kept_booking_mail.h"

#include <QByteArrayView>
#include <QDataStream>
#include <QIODevice>

namespace taurelin {
namespace {

// What a kept booking's mail begins with: never the first byte of a message (a header) nor of
// a kept rendered mail (a brace). The byte after it is the form's version.
constexpr char kMark[] = "\x01TBM";
constexpr qsizetype kMarkSize = 4;
constexpr quint8 kVersion = 1;
// Fixed, so that a mail written by one build is read by the next.
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_0;

QDataStream& operator<<(QDataStream& out, const BookedStay& stay) {
  return out << qint32(stay.type) << stay.typeName << stay.arrival << stay.departure
             << qint32(stay.units) << qint32(stay.persons) << stay.price;
}

QDataStream& operator>>(QDataStream& in, BookedStay& stay) {
  qint32 type = 0, units = 0, persons = 0;
  in >> type >> stay.typeName >> stay.arrival >> stay.departure >> units >> persons >>
      stay.price;
  stay.type = type;
  stay.units = units;
  stay.persons = persons;
  return in;
}

}  // namespace

// Written with QDataStream rather than as text: the booking's transaction pays for it, and a
// few microseconds there are worth more than a readable column.
QByteArray KeepBookingMail(const KeptBookingMail& mail) {
  QByteArray kept(kMark, kMarkSize);
  kept.reserve(512);
  QDataStream out(&kept, QIODevice::Append);
  out.setVersion(kStreamVersion);
  const BookingSummary& booking = mail.booking;
  out << kVersion << MailEventName(mail.event) << mail.recipient << mail.recipientName
      << mail.language << mail.calendar << mail.extra << qint64(booking.refnr)
      << qint32(booking.facility) << booking.facilityName << booking.cancelled
      << qint32(booking.stays.size());
  for (const BookedStay& stay : booking.stays) out << stay;
  out << booking.surname << booking.firstName << booking.mail << booking.phone << booking.nation
      << booking.remark << mail.id << mail.date;
  return kept;
}

std::optional<KeptBookingMail> BookingMailOfKept(const QByteArray& kept) {
  if (!kept.startsWith(QByteArrayView(kMark, kMarkSize))) return std::nullopt;
  QDataStream in(kept.sliced(kMarkSize));
  in.setVersion(kStreamVersion);
  quint8 version = 0;
  in >> version;
  if (version != kVersion) {
    throw MailError(QStringLiteral("the kept mail is of form %1, which this server cannot read")
                        .arg(version));
  }
  KeptBookingMail mail;
  BookingSummary& booking = mail.booking;
  QString eventName;
  qint64 refnr = 0;
  qint32 facility = 0;
  qint32 stays = 0;
  in >> eventName >> mail.recipient >> mail.recipientName >> mail.language >> mail.calendar >>
      mail.extra >> refnr >> facility >> booking.facilityName >> booking.cancelled >> stays;
  for (qint32 i = 0; i < stays && in.status() == QDataStream::Ok; ++i) {
    BookedStay stay;
    in >> stay;
    booking.stays << stay;
  }
  in >> booking.surname >> booking.firstName >> booking.mail >> booking.phone >>
      booking.nation >> booking.remark >> mail.id >> mail.date;
  if (in.status() != QDataStream::Ok || !in.atEnd()) {
    throw MailError(QStringLiteral("the kept mail cannot be read"));
  }
  const std::optional<MailEvent> event = MailEventFromName(eventName);
  if (!event) throw MailError(QStringLiteral("the kept mail's event %1 is unknown").arg(eventName));
  mail.event = *event;
  booking.refnr = refnr;
  booking.facility = facility;
  return mail;
}

}  // namespace taurelin
