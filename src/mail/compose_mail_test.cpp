#include "mail/compose_mail.h"

#include "mail/gmime_library.h"
#include "mail/kept_mail.h"
#include "mail/stay_calendar.h"

#include <gmime/gmime.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimeZone>

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace taurelin {
namespace {

struct Unref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using Owned = std::unique_ptr<T, Unref>;

// The message as a mail program reads it.
Owned<GMimeMessage> Parsed(const QByteArray& bytes) {
  EnsureGMime();
  const Owned<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.constData(),
                                                                    bytes.size()));
  const Owned<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  return Owned<GMimeMessage>(g_mime_parser_construct_message(parser.get(), nullptr));
}

// The tree of the message's parts by type: "multipart/mixed(text/plain,text/calendar)".
std::string Shape(GMimeObject* part) {
  const std::unique_ptr<char, decltype(&g_free)> type(
      g_mime_content_type_get_mime_type(g_mime_object_get_content_type(part)), &g_free);
  std::string shape = type.get();
  if (GMIME_IS_MULTIPART(part)) {
    for (int i = 0; i < g_mime_multipart_get_count(GMIME_MULTIPART(part)); ++i) {
      shape += (i == 0 ? "(" : ",") + Shape(g_mime_multipart_get_part(GMIME_MULTIPART(part), i));
    }
    shape += ")";
  }
  return shape;
}

GMimeObject* Part(GMimeMessage* message, std::initializer_list<int> path) {
  GMimeObject* part = g_mime_message_get_mime_part(message);
  for (int i : path) part = g_mime_multipart_get_part(GMIME_MULTIPART(part), i);
  return part;
}

QByteArray Decoded(GMimeObject* part) {
  const Owned<GMimeStream> out(g_mime_stream_mem_new());
  g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(GMIME_PART(part)), out.get());
  const GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
  return QByteArray(reinterpret_cast<const char*>(bytes->data), qsizetype(bytes->len));
}

QString Lines(const QString& text) {
  return QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

// "Name <address>" of each, decoded.
QStringList Mailboxes(InternetAddressList* list) {
  QStringList mailboxes;
  for (int i = 0; i < internet_address_list_length(list); ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    mailboxes.append(QStringLiteral("%1 <%2>").arg(
        QString::fromUtf8(internet_address_get_name(address)),
        QString::fromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)))));
  }
  return mailboxes;
}

// The names of the message's own headers, as they stand in its bytes.
std::set<std::string> HeaderNames(const QByteArray& bytes) {
  std::set<std::string> names;
  for (const QByteArray& line : bytes.left(bytes.indexOf("\r\n\r\n")).split('\n')) {
    if (!line.startsWith(' ') && !line.startsWith('\t')) {
      names.insert(line.left(line.indexOf(':')).toStdString());
    }
  }
  return names;
}

MailContent Content() {
  MailContent mail;
  mail.from = {QStringLiteral("Fjellstua på Ås"), QStringLiteral("booking@fjellstua.example")};
  mail.replyTo = MailAddress{QString(), QStringLiteral("post@fjellstua.example")};
  mail.to = {{QStringLiteral("Kåre Ødegård"), QStringLiteral("kare@example.no")}};
  mail.subject = QStringLiteral("Bekreftelse på bestilling 1005 – Fjellstua på Ås, blåbærtur");
  mail.text = QStringLiteral("Hei Kåre!\n\nVelkommen til Fjellstua.\n");
  mail.html = QStringLiteral("<p>Hei Kåre!</p>\n<p>Velkommen til Fjellstua.</p>\n");
  mail.messageId = QStringLiteral("outbox-17.1733822000@booking.example");
  mail.date = QDateTime(QDate(2026, 12, 10), QTime(9, 30), QTimeZone(3600));
  CalendarStay stay;
  stay.refnr = 1005;
  stay.domain = QStringLiteral("booking.example");
  stay.arrival = QDate(2027, 1, 15);
  stay.departure = QDate(2027, 1, 18);
  stay.stamp = mail.date;
  mail.calendar = StayCalendar(stay);
  mail.calendarName = QStringLiteral("bestilling-1005.ics");
  return mail;
}

TEST(ComposeMailTest, AMailReadsBackWithItsPartsAndHeaders) {
  const MailContent content = Content();
  const QByteArray bytes = ComposeMail(content);
  EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n"));
  for (char c : bytes) ASSERT_EQ(c & 0x80, 0) << "8-bit byte in the message";
  EXPECT_EQ(ComposeMail(content), bytes);
  const QByteArray headers = "\r\n" + bytes.left(bytes.indexOf("\r\n\r\n") + 2);
  EXPECT_TRUE(headers.contains("\r\nDate: Thu, 10 Dec 2026 09:30:00 +0100\r\n"));

  const Owned<GMimeMessage> message = Parsed(bytes);
  ASSERT_TRUE(message);
  EXPECT_EQ(QString::fromUtf8(g_mime_message_get_subject(message.get())), content.subject);
  EXPECT_STREQ(g_mime_message_get_message_id(message.get()),
               "outbox-17.1733822000@booking.example");
  EXPECT_EQ(Mailboxes(g_mime_message_get_from(message.get())),
            QStringList{QStringLiteral("Fjellstua på Ås <booking@fjellstua.example>")});
  EXPECT_EQ(Mailboxes(g_mime_message_get_to(message.get())),
            QStringList{QStringLiteral("Kåre Ødegård <kare@example.no>")});
  EXPECT_EQ(Mailboxes(g_mime_message_get_reply_to(message.get())),
            QStringList{QStringLiteral(" <post@fjellstua.example>")});

  ASSERT_EQ(Shape(g_mime_message_get_mime_part(message.get())),
            "multipart/mixed(multipart/alternative(text/plain,text/html),text/calendar)");
  GMimeObject* plain = Part(message.get(), {0, 0});
  EXPECT_STREQ(g_mime_object_get_content_type_parameter(plain, "charset"), "utf-8");
  EXPECT_EQ(Lines(QString::fromUtf8(Decoded(plain))), content.text);
  EXPECT_EQ(Lines(QString::fromUtf8(Decoded(Part(message.get(), {0, 1})))), content.html);
  GMimeObject* calendar = Part(message.get(), {1});
  EXPECT_STREQ(g_mime_object_get_content_type_parameter(calendar, "method"), "PUBLISH");
  EXPECT_STREQ(g_mime_object_get_content_type_parameter(calendar, "charset"), "utf-8");
  EXPECT_TRUE(g_mime_part_is_attachment(GMIME_PART(calendar)));
  EXPECT_STREQ(g_mime_part_get_filename(GMIME_PART(calendar)), "bestilling-1005.ics");
  EXPECT_EQ(Decoded(calendar), content.calendar);
}

// Norwegian text is mostly ASCII (quoted-printable) but may be mostly not (base64); either
// way the text arrives as it was, with CRLF line ends.
TEST(ComposeMailTest, ATextOnlyMailIsOnePartInEitherEncoding) {
  for (const QString& text : {QStringLiteral("Hei Kåre!\r\nVelkommen.\n"),
                              QStringLiteral("Ærø, Åsgårdstrand, Bø\n").repeated(8)}) {
    MailContent content = Content();
    content.html.clear();
    content.calendar.clear();
    content.text = text;
    const Owned<GMimeMessage> message = Parsed(ComposeMail(content));
    ASSERT_TRUE(message);
    EXPECT_EQ(Shape(g_mime_message_get_mime_part(message.get())), "text/plain");
    EXPECT_EQ(QString::fromUtf8(Decoded(Part(message.get(), {}))),
              Lines(text).replace(QLatin1String("\n"), QLatin1String("\r\n")));
  }
}

TEST(ComposeMailTest, WhatAGuestTypedAddsNoHeaderAndNoRecipient) {
  const QString hostile =
      QStringLiteral("Kari, Ola <ola@example.com>\r\nBcc: evil@example.com\r\n\r\nX-Evil: 1");
  MailContent content = Content();
  content.replyTo.reset();
  content.to = {{hostile, QStringLiteral("kari@example.no")}};
  content.from.name = hostile;
  content.subject = QStringLiteral("Ærend ") + hostile;
  content.calendarName = hostile;
  const QByteArray bytes = ComposeMail(content);
  EXPECT_EQ(HeaderNames(bytes), (std::set<std::string>{"From", "To", "Subject", "Date",
                                                        "Message-Id", "MIME-Version",
                                                        "Content-Type"}));

  const Owned<GMimeMessage> message = Parsed(bytes);
  ASSERT_TRUE(message);
  const Owned<InternetAddressList> recipients(g_mime_message_get_all_recipients(message.get()));
  const QStringList mailboxes = Mailboxes(recipients.get());
  ASSERT_EQ(mailboxes.size(), 1);
  EXPECT_TRUE(mailboxes[0].endsWith(QStringLiteral(" <kari@example.no>")));
  EXPECT_EQ(Shape(g_mime_message_get_mime_part(message.get())),
            "multipart/mixed(multipart/alternative(text/plain,text/html),text/calendar)");
  // What was typed is kept, on one line.
  const QString subject = QString::fromUtf8(g_mime_message_get_subject(message.get()));
  EXPECT_TRUE(mailboxes[0].contains(QStringLiteral("Bcc: evil@example.com")));
  EXPECT_TRUE(subject.contains(QStringLiteral("X-Evil: 1")));
  for (const QString& text : {mailboxes[0], subject}) {
    EXPECT_FALSE(text.contains(u'\r') || text.contains(u'\n')) << text.toStdString();
  }
}

TEST(ComposeMailTest, WhatCannotBeAMailThrows) {
  const auto refused = [](const std::function<void(MailContent&)>& change) {
    MailContent content = Content();
    change(content);
    try {
      ComposeMail(content);
    } catch (const MailError&) {
      return true;
    }
    return false;
  };
  for (const QString& address :
       {QString(), QStringLiteral("kari"), QStringLiteral("kari@"),
        QStringLiteral("kari@example.no\r\nBcc: evil@example.com"),
        QStringLiteral("kari@example.no, evil@example.com"),
        QStringLiteral("Kari <kari@example.no>"), QStringLiteral("kari@@example.no"),
        QStringLiteral("kari@example..no"), QStringLiteral("ka ri@example.no")}) {
    EXPECT_TRUE(refused([&](MailContent& c) { c.to[0].address = address; }));
    EXPECT_TRUE(refused([&](MailContent& c) { c.from.address = address; }));
    EXPECT_TRUE(refused([&](MailContent& c) { c.replyTo->address = address; }));
  }
  EXPECT_TRUE(refused([](MailContent& c) { c.to.clear(); }));
  EXPECT_TRUE(refused([](MailContent& c) { c.messageId.clear(); }));
  EXPECT_TRUE(refused([](MailContent& c) { c.messageId = QStringLiteral("<a@b>"); }));
  EXPECT_TRUE(refused([](MailContent& c) { c.date = QDateTime(); }));
  EXPECT_FALSE(
      refused([](MailContent& c) { c.to[0].address = QStringLiteral(" kari@example.no "); }));
}

TEST(ComposeMailTest, MailsAreComposedOnManyThreadsAtOnce) {
  const MailContent content = Content();
  const QByteArray expected = ComposeMail(content);
  std::atomic<int> same = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) same += ComposeMail(content) == expected;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(same, 200);
}

// Another reader than GMime: Python's email package, strict about what it finds.
TEST(ComposeMailTest, PythonsEmailPackageReadsTheMailWithoutDefects) {
  const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
  if (python.isEmpty()) GTEST_SKIP() << "python3 is not installed";
  const MailContent content = Content();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile file(dir.filePath(QStringLiteral("mail.eml")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(ComposeMail(content));
  file.close();

  const QString script = QStringLiteral(R"(
import sys
from email import message_from_binary_file, policy
with open(sys.argv[1], 'rb') as f:
    m = message_from_binary_file(f, policy=policy.default)
defects = [d for part in m.walk() for d in part.defects]
print([type(d).__name__ for d in defects])
print([part.get_content_type() for part in m.walk()])
print(m['subject'] == sys.argv[2], m['to'].addresses[0].display_name == sys.argv[3])
print(repr(m.get_body(('plain',)).get_content()))
)");
  QProcess process;
  process.start(python, {QStringLiteral("-c"), script, file.fileName(), content.subject,
                         content.to[0].name});
  ASSERT_TRUE(process.waitForFinished(30000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()),
            QStringLiteral("[]\n"
                           "['multipart/mixed', 'multipart/alternative', 'text/plain', "
                           "'text/html', 'text/calendar']\n"
                           "True True\n"
                           "'Hei Kåre!\\n\\nVelkommen til Fjellstua.\\n'\n"));
}

// The outbox keeps a mail's content and writes its message when it is sent: the very bytes
// the content composes to, with the calendar written from the stay, at every attempt; a
// message kept as its bytes goes as it stands.
TEST(ComposeMailTest, AKeptMailIsSentAsTheSameBytesEveryTime) {
  MailContent content = Content();
  CalendarStay stay;
  stay.refnr = 1005;
  stay.domain = QStringLiteral("booking.example");
  stay.arrival = QDate(2027, 1, 15);
  stay.departure = QDate(2027, 1, 18);
  stay.facility = QStringLiteral("Fjellstua på Ås");
  stay.sequence = 7;
  stay.stamp = content.date;
  content.calendar.clear();
  content.stay = stay;
  const QByteArray kept = KeepMail(content);
  EXPECT_EQ(MessageOfKept(kept), ComposeMail(content));
  EXPECT_EQ(MessageOfKept(kept), MessageOfKept(kept));
  content.calendar = StayCalendar(stay);
  content.stay.reset();
  EXPECT_EQ(MessageOfKept(kept), ComposeMail(content));
  const QByteArray bytes = ComposeMail(content);
  EXPECT_EQ(MessageOfKept(bytes), bytes);
  EXPECT_THROW(MessageOfKept("{\"to\": [], broken"), MailError);
}

}  // namespace
}  // namespace taurelin
