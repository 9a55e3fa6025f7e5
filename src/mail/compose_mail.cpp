#include "mail/compose_mail.h"

#include "mail/gmime_library.h"
#include "mail/mail_address.h"
#include "mail/stay_calendar.h"

#include <gmime/gmime.h>

#include <QCryptographicHash>

#include <memory>

namespace taurelin {
namespace {

struct Unref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using Owned = std::unique_ptr<T, Unref>;

// A text for a header: what a guest typed may hold line breaks, and a line break there
// would begin a header of its own, so every control character becomes a blank (a CRLF one).
QString HeaderText(const QString& text) {
  QString flat = text;
  flat.replace(QLatin1String("\r\n"), QLatin1String(" "));
  for (QChar& c : flat) {
    const char16_t u = c.unicode();
    if (u < 0x20 || (u >= 0x7f && u < 0xa0) || u == 0x2028 || u == 0x2029) c = u' ';
  }
  return flat.trimmed();
}

QString WithoutBlanks(const QString& text) {
  qsizetype first = 0;
  qsizetype end = text.size();
  while (first < end && text[first] == u' ') ++first;
  while (end > first && text[end - 1] == u' ') --end;
  return text.sliced(first, end - first);
}

QByteArray CheckedAddress(const MailAddress& address, const char* role) {
  const QString text = WithoutBlanks(address.address);
  if (!IsMailAddress(text)) {
    throw MailError(QStringLiteral("the %1 address '%2' is no e-mail address")
                        .arg(QLatin1String(role), HeaderText(address.address)));
  }
  return text.toUtf8();
}

void AddMailbox(GMimeMessage* message, GMimeAddressType type, const MailAddress& address,
                const QByteArray& checked) {
  const Owned<InternetAddress> mailbox(
      internet_address_mailbox_new(HeaderText(address.name).toUtf8().constData(),
                                   checked.constData()));
  internet_address_set_charset(mailbox.get(), "utf-8");
  internet_address_list_add(g_mime_message_get_addresses(message, type), mailbox.get());
}

void SetContent(GMimePart* part, const QByteArray& bytes) {
  const Owned<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.constData(),
                                                                    bytes.size()));
  const Owned<GMimeDataWrapper> wrapper(
      g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(part, wrapper.get());
}

// Text in UTF-8 whatever it holds (GMime would pick ISO-8859-1 for Norwegian letters), in
// the transfer encoding GMime finds best for it. The message's line ends become CRLF as it
// is written, but inside base64 they are the content's own, so there they are CRLF already.
Owned<GMimeObject> TextPart(const char* subtype, const QString& text) {
  QString lines = text;
  lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  lines.replace(u'\r', u'\n');
  Owned<GMimeObject> part(GMIME_OBJECT(g_mime_text_part_new_with_subtype(subtype)));
  GMimePart* mime = GMIME_PART(part.get());
  SetContent(mime, lines.toUtf8());
  g_mime_text_part_set_charset(GMIME_TEXT_PART(mime), "utf-8");
  const GMimeContentEncoding encoding =
      g_mime_part_get_best_content_encoding(mime, GMIME_ENCODING_CONSTRAINT_7BIT);
  if (encoding == GMIME_CONTENT_ENCODING_BASE64) {
    SetContent(mime, lines.replace(u'\n', QLatin1String("\r\n")).toUtf8());
  }
  g_mime_part_set_content_encoding(mime, encoding);
  return part;
}

Owned<GMimeObject> CalendarPart(const QByteArray& calendar, const QString& name) {
  Owned<GMimeObject> part(GMIME_OBJECT(g_mime_part_new_with_type("text", "calendar")));
  g_mime_object_set_content_type_parameter(part.get(), "method", "PUBLISH");
  g_mime_object_set_content_type_parameter(part.get(), "charset", "utf-8");
  g_mime_object_set_disposition(part.get(), GMIME_DISPOSITION_ATTACHMENT);
  const QString file = HeaderText(name);
  g_mime_part_set_filename(GMIME_PART(part.get()),
                           (file.isEmpty() ? QStringLiteral("booking.ics") : file)
                               .toUtf8()
                               .constData());
  SetContent(GMIME_PART(part.get()), calendar);
  g_mime_part_set_content_encoding(GMIME_PART(part.get()), GMIME_CONTENT_ENCODING_BASE64);
  return part;
}

// Boundaries from the Message-ID, so that the same mail is the same bytes each time it is
// written. "=_" never occurs in quoted-printable or base64, the only encodings of the parts.
Owned<GMimeObject> Multipart(const char* subtype, const QString& messageId) {
  Owned<GMimeObject> multipart(GMIME_OBJECT(g_mime_multipart_new_with_subtype(subtype)));
  const QByteArray digest =
      QCryptographicHash::hash(messageId.toUtf8() + '/' + subtype, QCryptographicHash::Sha256);
  g_mime_multipart_set_boundary(GMIME_MULTIPART(multipart.get()),
                                ("=_" + digest.toHex().left(32)).constData());
  return multipart;
}

void Add(GMimeObject* multipart, const Owned<GMimeObject>& part) {
  g_mime_multipart_add(GMIME_MULTIPART(multipart), part.get());
}

Owned<GMimeObject> Body(const MailContent& content) {
  Owned<GMimeObject> text = TextPart("plain", content.text);
  if (!content.html.isEmpty()) {
    Owned<GMimeObject> alternative = Multipart("alternative", content.messageId);
    Add(alternative.get(), text);
    Add(alternative.get(), TextPart("html", content.html));
    text = std::move(alternative);
  }
  const QByteArray calendar = !content.calendar.isEmpty() ? content.calendar
                             : content.stay           ? StayCalendar(*content.stay)
                                                      : QByteArray();
  if (calendar.isEmpty()) return text;
  Owned<GMimeObject> mixed = Multipart("mixed", content.messageId);
  Add(mixed.get(), text);
  Add(mixed.get(), CalendarPart(calendar, content.calendarName));
  return mixed;
}

void SetDate(GMimeMessage* message, const QDateTime& date) {
  const std::unique_ptr<GTimeZone, decltype(&g_time_zone_unref)> zone(
      g_time_zone_new_offset(date.offsetFromUtc()), &g_time_zone_unref);
  const std::unique_ptr<GDateTime, decltype(&g_date_time_unref)> utc(
      g_date_time_new_from_unix_utc(date.toSecsSinceEpoch()), &g_date_time_unref);
  const std::unique_ptr<GDateTime, decltype(&g_date_time_unref)> local(
      g_date_time_to_timezone(utc.get(), zone.get()), &g_date_time_unref);
  g_mime_message_set_date(message, local.get());
}

}  // namespace

QByteArray ComposeMail(const MailContent& content) {
  // Every check before anything is built, so a refusal leaves nothing half made.
  const QByteArray from = CheckedAddress(content.from, "sender");
  QByteArray replyTo;
  if (content.replyTo) replyTo = CheckedAddress(*content.replyTo, "Reply-To");
  if (content.to.isEmpty()) throw MailError(QStringLiteral("the mail has no recipient"));
  QList<QByteArray> to;
  for (const MailAddress& recipient : content.to) {
    to.append(CheckedAddress(recipient, "recipient"));
  }
  if (!IsMailAddress(content.messageId)) {
    throw MailError(QStringLiteral("the Message-ID '%1' is not of the form left@right")
                        .arg(HeaderText(content.messageId)));
  }
  if (!content.date.isValid()) throw MailError(QStringLiteral("the mail has no date"));

  EnsureGMime();
  const Owned<GMimeMessage> message(g_mime_message_new(TRUE));
  AddMailbox(message.get(), GMIME_ADDRESS_TYPE_FROM, content.from, from);
  if (content.replyTo) {
    AddMailbox(message.get(), GMIME_ADDRESS_TYPE_REPLY_TO, *content.replyTo, replyTo);
  }
  for (qsizetype i = 0; i < to.size(); ++i) {
    AddMailbox(message.get(), GMIME_ADDRESS_TYPE_TO, content.to[i], to[i]);
  }
  g_mime_message_set_subject(message.get(), HeaderText(content.subject).toUtf8().constData(),
                             "utf-8");
  SetDate(message.get(), content.date);
  g_mime_message_set_message_id(message.get(), content.messageId.toUtf8().constData());
  g_mime_message_set_mime_part(message.get(), Body(content).get());

  const std::unique_ptr<GMimeFormatOptions, decltype(&g_mime_format_options_free)> options(
      g_mime_format_options_new(), &g_mime_format_options_free);
  g_mime_format_options_set_newline_format(options.get(), GMIME_NEWLINE_FORMAT_DOS);
  const Owned<GMimeStream> stream(g_mime_stream_mem_new());
  if (g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), options.get(), stream.get()) <
      0) {
    throw MailError(QStringLiteral("the mail could not be written"));
  }
  const GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
  return QByteArray(reinterpret_cast<const char*>(bytes->data), qsizetype(bytes->len));
}

}  // namespace taurelin
