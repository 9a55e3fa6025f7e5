#include "mail/kept_mail.h"

#include "mail/compose_mail.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace taurelin {
namespace {

QJsonObject Address(const MailAddress& address) {
  return {{QStringLiteral("name"), address.name}, {QStringLiteral("address"), address.address}};
}

MailAddress AddressOf(const QJsonValue& value) {
  const QJsonObject object = value.toObject();
  return {object.value(QStringLiteral("name")).toString(),
          object.value(QStringLiteral("address")).toString()};
}

// With its offset, so that the Date written from it is the one the content had.
QString Moment(const QDateTime& moment) { return moment.toString(Qt::ISODateWithMs); }

QDateTime MomentOf(const QJsonValue& value) {
  return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

QJsonObject Stay(const CalendarStay& stay) {
  return {{QStringLiteral("refnr"), stay.refnr},
          {QStringLiteral("domain"), stay.domain},
          {QStringLiteral("arrival"), stay.arrival.toString(Qt::ISODate)},
          {QStringLiteral("departure"), stay.departure.toString(Qt::ISODate)},
          {QStringLiteral("facility"), stay.facility},
          {QStringLiteral("description"), stay.description},
          {QStringLiteral("location"), stay.location},
          {QStringLiteral("sequence"), stay.sequence},
          {QStringLiteral("stamp"), Moment(stay.stamp)}};
}

CalendarStay StayOf(const QJsonObject& object) {
  CalendarStay stay;
  stay.refnr = object.value(QStringLiteral("refnr")).toInteger();
  stay.domain = object.value(QStringLiteral("domain")).toString();
  stay.arrival = QDate::fromString(object.value(QStringLiteral("arrival")).toString(), Qt::ISODate);
  stay.departure =
      QDate::fromString(object.value(QStringLiteral("departure")).toString(), Qt::ISODate);
  stay.facility = object.value(QStringLiteral("facility")).toString();
  stay.description = object.value(QStringLiteral("description")).toString();
  stay.location = object.value(QStringLiteral("location")).toString();
  stay.sequence = object.value(QStringLiteral("sequence")).toInt();
  stay.stamp = MomentOf(object.value(QStringLiteral("stamp")));
  return stay;
}

}  // namespace

QByteArray KeepMail(const MailContent& content) {
  QJsonArray to;
  for (const MailAddress& address : content.to) to.append(Address(address));
  QJsonObject kept{{QStringLiteral("from"), Address(content.from)},
                   {QStringLiteral("to"), to},
                   {QStringLiteral("subject"), content.subject},
                   {QStringLiteral("text"), content.text},
                   {QStringLiteral("html"), content.html},
                   {QStringLiteral("messageId"), content.messageId},
                   {QStringLiteral("date"), Moment(content.date)}};
  if (content.replyTo) kept.insert(QStringLiteral("replyTo"), Address(*content.replyTo));
  if (!content.calendar.isEmpty()) {
    kept.insert(QStringLiteral("calendar"), QString::fromLatin1(content.calendar.toBase64()));
  }
  if (content.stay) kept.insert(QStringLiteral("stay"), Stay(*content.stay));
  if (!content.calendarName.isEmpty()) {
    kept.insert(QStringLiteral("calendarName"), content.calendarName);
  }
  return QJsonDocument(kept).toJson(QJsonDocument::Compact);
}

QByteArray MessageOfKept(const QByteArray& kept) {
  // A message's first line is a header, never a brace.
  if (!kept.startsWith('{')) return kept;
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(kept, &error);
  if (!document.isObject()) {
    throw MailError(QStringLiteral("the kept mail cannot be read: ") + error.errorString());
  }
  const QJsonObject object = document.object();
  MailContent content;
  content.from = AddressOf(object.value(QStringLiteral("from")));
  if (object.contains(QStringLiteral("replyTo"))) {
    content.replyTo = AddressOf(object.value(QStringLiteral("replyTo")));
  }
  for (const QJsonValue& address : object.value(QStringLiteral("to")).toArray()) {
    content.to << AddressOf(address);
  }
  content.subject = object.value(QStringLiteral("subject")).toString();
  content.text = object.value(QStringLiteral("text")).toString();
  content.html = object.value(QStringLiteral("html")).toString();
  content.messageId = object.value(QStringLiteral("messageId")).toString();
  content.date = MomentOf(object.value(QStringLiteral("date")));
  content.calendar =
      QByteArray::fromBase64(object.value(QStringLiteral("calendar")).toString().toLatin1());
  if (object.contains(QStringLiteral("stay"))) {
    content.stay = StayOf(object.value(QStringLiteral("stay")).toObject());
  }
  content.calendarName = object.value(QStringLiteral("calendarName")).toString();
  return ComposeMail(content);
}

}  // namespace taurelin
