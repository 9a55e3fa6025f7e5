// The booking mails through the built server: a guest who books on the HTTP face gets a
// confirmation in the language booked in, the business a note of it, both as files in the
// pickup folder (the embedded default), and a booking over the line protocol mails nobody
// unless the business asks for it.

#include "http_client.h"
#include "server_process.h"

#include "mail/test_smtp_server.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QThread>

namespace taurelin {
namespace {

bool Until(const std::function<bool()>& done, int ms = 20000) {
  QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QThread::msleep(100);
  }
  return true;
}

// The .eml files in `folder`, read by Python's email package: per mail its To, its subject
// and its text part.
QList<QJsonObject> Mails(const QString& folder) {
  const QStringList files = QDir(folder).entryList({QStringLiteral("*.eml")}, QDir::Files);
  if (files.isEmpty()) return {};
  QStringList paths;
  for (const QString& file : files) paths << QDir(folder).filePath(file);
  QProcess python;
  python.start(QStringLiteral("python3"), QStringList{QStringLiteral("-c"), QStringLiteral(R"(
import email, email.policy, json, sys
out = []
for name in sys.argv[1:]:
    with open(name, 'rb') as f:
        m = email.message_from_binary_file(f, policy=email.policy.default)
    out.append({'to': str(m['to']), 'subject': m['subject'],
                'text': m.get_body(('plain',)).get_content()})
print(json.dumps(out))
)")} + paths);
  python.waitForFinished(20000);
  QList<QJsonObject> mails;
  for (const QJsonValue& mail : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
    mails << mail.toObject();
  }
  return mails;
}

TEST(MailTest, AGuestsBookingOnThePageIsMailedToTheGuestAndTheBusiness) {
  TestDatabase database(true);
  ServerProcess server(database);
  server.setConfiguration(QStringLiteral("MailBusinessAddress"),
                          QStringLiteral("post@fjellheim.example"));
  server.setConfiguration(QStringLiteral("HttpPublicUrl"),
                          QStringLiteral("https://booking.fjellheim.example"));
  ASSERT_TRUE(server.start({"--http", "0", "--http-keys",
                            TestKeys::Write(server.directory().path())}))
      << server.standardError().toStdString();
  const QString pickup = server.directory().filePath(QStringLiteral("mail"));

  // Over the line protocol, a booker attached mails nobody: the web shop sends its own.
  const QJsonObject hold{{"facility", 1}, {"type", 1},  {"arrival", Iso(30)},
                         {"departure", Iso(33)}, {"board", 1}, {"units", 1},
                         {"persons", 2}, {"agent", 1}, {"timeout", 600}};
  const HttpAnswer lineHold = Call(server.httpPort(), "POST", "/api/v1/reservations", hold);
  ASSERT_EQ(lineHold.status, 201) << lineHold.body.constData();
  auto client = server.connect();
  client->write(QStringLiteral("messageID=m&count=1&header=INSTRUKSJON;REFNR;AGENT;NASJON;ENAVN;"
                               "POSTNR;EPOST&data=BOOKING;%1;1;N;Olsen;0150;ola@example.no\n")
                    .arg(lineHold.json()["refnr"].toInteger())
                    .toLatin1());
  QByteArray answer;
  while (!answer.contains('\n') && client->waitForReadyRead(10000)) answer += client->readAll();
  ASSERT_TRUE(answer.contains("&data=BOOKING;")) << answer.constData();

  const HttpAnswer held = Call(server.httpPort(), "POST", "/api/v1/reservations", hold);
  ASSERT_EQ(held.status, 201) << held.body.constData();
  const qint64 refnr = held.json()["refnr"].toInteger();
  const QString code = held.json()["bookingCode"].toString();
  const QJsonObject booker{{"agent", 1},          {"nation", "norge"},
                           {"surname", "Hansen"},  {"firstName", "Kari"},
                           {"postcode", "0150"},   {"email", "kari@example.no"},
                           {"language", "en"}};
  const HttpAnswer booked =
      Call(server.httpPort(), "PUT", QStringLiteral("/api/v1/reservations/%1/booker").arg(refnr),
           booker, {{"Booking-Code", code.toLatin1()}});
  ASSERT_EQ(booked.status, 200) << booked.body.constData();

  QList<QJsonObject> mails;
  QDeadlineTimer deadline(20000);
  while ((mails = Mails(pickup)).size() < 2 && !deadline.hasExpired()) QThread::msleep(100);
  QThread::msleep(300);  // a third would have come with them
  mails = Mails(pickup);
  ASSERT_EQ(mails.size(), 2) << server.standardError().toStdString();
  const QJsonObject guest =
      mails[0]["to"].toString().contains(u"kari") ? mails[0] : mails[1];
  const QJsonObject business = guest == mails[0] ? mails[1] : mails[0];
  EXPECT_TRUE(guest["to"].toString().contains(u"Kari Hansen <kari@example.no>"));
  EXPECT_TRUE(guest["subject"].toString().contains(QString::number(refnr)));
  const QString text = guest["text"].toString();
  EXPECT_TRUE(text.contains(code)) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("https://booking.fjellheim.example/#ref=%1&code=%2")
                                .arg(refnr)
                                .arg(code)))
      << text.toStdString();
  EXPECT_TRUE(text.contains(u"Thank")) << text.toStdString();  // in the language booked in
  EXPECT_EQ(business["to"].toString(), "post@fjellheim.example");
  EXPECT_FALSE(business["text"].toString().contains(code));

  // The day log names each mail's event, booking and the recipient's domain, never more.
  const QStringList sent = server.logMessages().filter(QStringLiteral("Mail: "));
  EXPECT_EQ(sent.filter(QStringLiteral(" sent")).size(), 2) << sent.join(u'\n').toStdString();
  EXPECT_TRUE(sent.filter(QStringLiteral("kari@")).isEmpty());
  EXPECT_TRUE(sent.filter(code).isEmpty());

  // The outbox as a manage key sees it; a guest sees nothing of it.
  const Headers manage = TestKeys::Bearer(TestKeys::kManage);
  EXPECT_EQ(Call(server.httpPort(), "GET", "/api/v1/mail").status, 401);
  const HttpAnswer listed = Call(server.httpPort(), "GET", "/api/v1/mail?state=sent",
                                 std::nullopt, manage);
  ASSERT_EQ(listed.status, 200) << listed.body.constData();
  const QJsonArray outbox = listed.json()["mails"].toArray();
  ASSERT_EQ(outbox.size(), 2);
  EXPECT_EQ(outbox[0]["refnr"].toInteger(), refnr);
  EXPECT_EQ(Call(server.httpPort(), "GET", "/api/v1/mail?state=lost", std::nullopt, manage).status,
            400);
  const QString sentId = outbox[0]["id"].toString();
  EXPECT_EQ(Call(server.httpPort(), "POST", QStringLiteral("/api/v1/mail/%1/retry").arg(sentId),
                 std::nullopt, manage)
                .status,
            409);  // it went; only a failed mail is tried again
  EXPECT_EQ(Call(server.httpPort(), "POST", "/api/v1/mail/no-such-mail/retry", std::nullopt,
                 manage)
                .status,
            404);
  const HttpAnswer metrics = Call(server.httpPort(), "GET", "/metrics", std::nullopt, manage);
  EXPECT_TRUE(metrics.body.contains("taurelin_mail_sent_total 2\n")) << metrics.body.constData();
  EXPECT_TRUE(metrics.body.contains("taurelin_mail_waiting 0\n"));
  server.stop();
}

// A business's own template folder that is missing or broken stops start-up, naming it: the
// shipped templates are never used instead without a word.
TEST(MailTest, AMissingOrBrokenTemplateFolderStopsStartUpNamingIt) {
  TestDatabase database(true);
  ServerProcess server(database);
  const QString folder = server.directory().filePath(QStringLiteral("templates"));
  server.setConfiguration(QStringLiteral("MailTemplates"), folder);
  EXPECT_FALSE(server.start());
  EXPECT_TRUE(server.standardError().contains(folder)) << server.standardError().toStdString();

  // A copy of the shipped templates with one value its event does not have.
  for (const QString& language : {QStringLiteral("nb"), QStringLiteral("en")}) {
    const QDir from(QStringLiteral(TAURELIN_MAIL_TEMPLATES "/") + language);
    ASSERT_TRUE(QDir().mkpath(folder + u'/' + language));
    for (const QString& file : from.entryList(QDir::Files)) {
      ASSERT_TRUE(QFile::copy(from.filePath(file), folder + u'/' + language + u'/' + file));
    }
  }
  QFile broken(folder + QStringLiteral("/en/booking-cancelled.txt"));
  ASSERT_TRUE(broken.open(QIODevice::Append));
  broken.write("\nYour card {{card_number}}\n");
  broken.close();
  EXPECT_FALSE(server.start());
  EXPECT_TRUE(server.standardError().contains(u"booking-cancelled.txt:"))
      << server.standardError().toStdString();
  EXPECT_TRUE(server.standardError().contains(u"card_number"));
}

// The operator sees a mail as it would go out, and tries the road the mails take.
TEST(MailTest, APreviewShowsTheMailAndATestMailSaysWhereItWent) {
  TestDatabase database(true);
  ServerProcess server(database);
  ASSERT_TRUE(server.start()) << server.standardError().toStdString();  // its configuration
  server.stop();
  int status = -1;
  const QByteArray preview =
      server.runOnce({"--mail-preview", "booking-cancelled", "--language", "en", "1001"}, &status);
  EXPECT_EQ(status, 0) << preview.constData();
  EXPECT_TRUE(preview.contains("To: Kari Nordby <kari.nordby@example.no>")) << preview.constData();
  EXPECT_TRUE(preview.contains("1001"));
  EXPECT_EQ(server.runOnce({"--mail-preview", "booking-cancelled", "99999"}, &status).isEmpty(),
            true);
  EXPECT_EQ(status, 1);  // no such booking
  server.runOnce({"--mail-preview", "no-such-event", "1001"}, &status);
  EXPECT_EQ(status, 2);

  const QByteArray tried = server.runOnce({"--mail-test", "ola@example.no"}, &status);
  EXPECT_EQ(status, 0) << tried.constData();
  EXPECT_TRUE(tried.startsWith("sent: written to ")) << tried.constData();
  EXPECT_TRUE(QFile::exists(QString::fromUtf8(tried.mid(17).trimmed())));
}

// Killed after the booking committed and before its mail was delivered (the mail server was
// down): the mail is in the outbox, and the next server delivers it, once.
TEST(MailTest, AMailOutlivesAKilledServer) {
  if (TestSmtpServer::Python().isEmpty()) GTEST_SKIP() << "no python3 with aiosmtpd";
  int port = 0;
  {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    port = probe.serverPort();
  }
  TestDatabase database(true);
  ServerProcess server(database);
  server.setConfiguration(QStringLiteral("MailSmtpUrl"),
                          QStringLiteral("smtp://127.0.0.1:%1").arg(port));
  ASSERT_TRUE(server.start({"--http", "0"})) << server.standardError().toStdString();
  const QJsonObject hold{{"facility", 1}, {"type", 1},  {"arrival", Iso(40)},
                         {"departure", Iso(42)}, {"board", 1}, {"units", 1},
                         {"persons", 2}, {"agent", 1}, {"timeout", 600}};
  const HttpAnswer held = Call(server.httpPort(), "POST", "/api/v1/reservations", hold);
  ASSERT_EQ(held.status, 201) << held.body.constData();
  const QJsonObject booker{{"agent", 1}, {"nation", "N"}, {"surname", "Berg"},
                           {"postcode", "0150"}, {"email", "ola@example.no"}};
  ASSERT_EQ(Call(server.httpPort(), "PUT",
                 QStringLiteral("/api/v1/reservations/%1/booker")
                     .arg(held.json()["refnr"].toInteger()),
                 booker, {{"Booking-Code", held.json()["bookingCode"].toString().toLatin1()}})
                .status,
            200);
  // The courier tried at once and found no mail server.
  ASSERT_TRUE(Until([&] {
    return server.logMessages().filter(QStringLiteral("not sent yet")).size() >= 1;
  })) << server.logMessages().join(u'\n').toStdString();
  server.kill();

  // Its next try was a minute away; it is due now, as after a long enough outage.
  database.run(QStringLiteral("UPDATE EPOST_UT SET NESTE_FORSOK = 0"));
  TestSmtpServer smtp;
  ASSERT_TRUE(smtp.start({QStringLiteral("--port"), QString::number(port)}).isEmpty());
  ServerProcess next(database);
  next.setConfiguration(QStringLiteral("MailSmtpUrl"),
                        QStringLiteral("smtp://127.0.0.1:%1").arg(port));
  ASSERT_TRUE(next.start()) << next.standardError().toStdString();
  ASSERT_TRUE(Until([&] { return smtp.received().size() >= 1; }))
      << next.logMessages().join(u'\n').toStdString();
  QThread::msleep(500);
  next.stop();
  ASSERT_EQ(smtp.received().size(), 1);
  EXPECT_TRUE(smtp.received()[0].envelope[QStringLiteral("to")].toArray().contains(
      QStringLiteral("ola@example.no")));
}

// An outbox that cannot be written (a full disk) fails the booking as any failed write does:
// never a booking without its mail.
TEST(MailTest, AnOutboxThatCannotBeWrittenFailsTheBooking) {
  TestDatabase database(true);
  ServerProcess server(database);
  ASSERT_TRUE(server.start({"--http", "0"})) << server.standardError().toStdString();
  // A booking writes its mails into the outbox's intake.
  database.run(QStringLiteral("CREATE TRIGGER EPOST_NY_FULL BEFORE INSERT ON EPOST_NY "
                              "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END;"));
  const QJsonObject hold{{"facility", 1}, {"type", 1},  {"arrival", Iso(60)},
                         {"departure", Iso(62)}, {"board", 1}, {"units", 1},
                         {"persons", 2}, {"agent", 1}, {"timeout", 600}};
  const HttpAnswer held = Call(server.httpPort(), "POST", "/api/v1/reservations", hold);
  ASSERT_EQ(held.status, 201) << held.body.constData();
  const QString booking =
      QStringLiteral("/api/v1/reservations/%1").arg(held.json()["refnr"].toInteger());
  const Headers code{{"Booking-Code", held.json()["bookingCode"].toString().toLatin1()}};
  const QJsonObject booker{{"agent", 1}, {"nation", "N"}, {"surname", "Berg"},
                           {"postcode", "0150"}, {"email", "ola@example.no"}};
  const HttpAnswer refused = Call(server.httpPort(), "PUT", booking + "/booker", booker, code);
  EXPECT_GE(refused.status, 400) << refused.body.constData();
  const HttpAnswer after = Call(server.httpPort(), "GET", booking, std::nullopt, code);
  EXPECT_EQ(after.json()["status"].toString(), "held");
  database.run(QStringLiteral("DROP TRIGGER EPOST_NY_FULL"));
  EXPECT_EQ(Call(server.httpPort(), "PUT", booking + "/booker", booker, code).status, 200);
  server.stop();
}

// A database upgraded before the outbox had its intake is still answered as before: each
// mail goes straight into the outbox, and out, and the server says what upgrade adds.
TEST(MailTest, ADatabaseWithoutTheIntakeStillMailsItsBookings) {
  TestDatabase database(true);
  database.run(QStringLiteral("DROP TABLE EPOST_NY"));
  ServerProcess server(database);
  ASSERT_TRUE(server.start({"--http", "0"})) << server.standardError().toStdString();
  const QJsonObject hold{{"facility", 1}, {"type", 1},  {"arrival", Iso(60)},
                         {"departure", Iso(62)}, {"board", 1}, {"units", 1},
                         {"persons", 2}, {"agent", 1}, {"timeout", 600}};
  const HttpAnswer held = Call(server.httpPort(), "POST", "/api/v1/reservations", hold);
  ASSERT_EQ(held.status, 201) << held.body.constData();
  const QJsonObject booker{{"agent", 1}, {"nation", "N"}, {"surname", "Berg"},
                           {"postcode", "0150"}, {"email", "ola@example.no"}};
  const HttpAnswer booked = Call(
      server.httpPort(), "PUT",
      QStringLiteral("/api/v1/reservations/%1/booker").arg(held.json()["refnr"].toInteger()),
      booker, {{"Booking-Code", held.json()["bookingCode"].toString().toLatin1()}});
  EXPECT_EQ(booked.status, 200) << booked.body.constData();
  const QString pickup = server.directory().filePath(QStringLiteral("mail"));
  EXPECT_TRUE(Until([&] { return Mails(pickup).size() == 1; }))
      << server.standardError().toStdString();
  EXPECT_TRUE(server.standardError().contains(u"lacks the outbox's intake EPOST_NY"));
  server.stop();
}

// With GuestConfirmByMail, a guest's booker does not make the booking: the hold is kept longer
// and the guest is mailed a link; the booking is made when the link's token comes back, once.
TEST(MailTest, WithConfirmationByMailOnlyTheLinkOfTheMailMakesTheBooking) {
  TestDatabase database(true);
  ServerProcess server(database);
  server.setConfiguration(QStringLiteral("GuestConfirmByMail"), QStringLiteral("true"));
  server.setConfiguration(QStringLiteral("MailBusinessAddress"),
                          QStringLiteral("post@fjellheim.example"));
  // Without the page's address there is no link to confirm with: start-up says so.
  EXPECT_FALSE(server.start({"--http", "0"}));
  EXPECT_TRUE(server.standardError().contains(u"HttpPublicUrl"))
      << server.standardError().toStdString();
  server.setConfiguration(QStringLiteral("HttpPublicUrl"),
                          QStringLiteral("https://booking.fjellheim.example/"));
  ASSERT_TRUE(server.start({"--http", "0"})) << server.standardError().toStdString();
  const QString pickup = server.directory().filePath(QStringLiteral("mail"));

  const QJsonObject hold{{"facility", 1}, {"type", 1},  {"arrival", Iso(70)},
                         {"departure", Iso(72)}, {"board", 1}, {"units", 1},
                         {"persons", 2}, {"agent", 1}, {"timeout", 300}};
  const HttpAnswer held = Call(server.httpPort(), "POST", "/api/v1/reservations", hold);
  ASSERT_EQ(held.status, 201) << held.body.constData();
  const qint64 refnr = held.json()["refnr"].toInteger();
  const QString booking = QStringLiteral("/api/v1/reservations/%1").arg(refnr);
  const Headers code{{"Booking-Code", held.json()["bookingCode"].toString().toLatin1()}};
  const QDateTime holdEnds = QDateTime::fromString(
      Call(server.httpPort(), "GET", booking, std::nullopt, code).json()["holdEnds"].toString(),
      Qt::ISODate);

  QJsonObject booker{{"agent", 1}, {"nation", "N"}, {"surname", "Berg"}, {"postcode", "0150"}};
  const HttpAnswer noAddress = Call(server.httpPort(), "PUT", booking + "/booker", booker, code);
  EXPECT_EQ(noAddress.status, 400);
  EXPECT_EQ(noAddress.json()["error"].toObject()["field"].toString(), "email")
      << noAddress.body.constData();
  booker.insert(QStringLiteral("email"), QStringLiteral("ola@example.no"));
  const HttpAnswer awaiting = Call(server.httpPort(), "PUT", booking + "/booker", booker, code);
  ASSERT_EQ(awaiting.status, 202) << awaiting.body.constData();
  EXPECT_EQ(awaiting.json()["status"].toString(), "awaiting_confirmation");
  const QJsonObject shown = Call(server.httpPort(), "GET", booking, std::nullopt, code).json();
  EXPECT_EQ(shown["status"].toString(), "awaiting_confirmation");
  // Kept half an hour longer than the hold was to last.
  EXPECT_EQ(holdEnds.secsTo(QDateTime::fromString(shown["holdEnds"].toString(), Qt::ISODate)),
            1800);

  // The guest alone is mailed, with the link; the business hears of no booking yet.
  ASSERT_TRUE(Until([&] { return Mails(pickup).size() >= 1; }));
  QThread::msleep(300);
  QList<QJsonObject> mails = Mails(pickup);
  ASSERT_EQ(mails.size(), 1);
  const QString text = mails[0]["text"].toString();
  const QRegularExpressionMatch link =
      QRegularExpression(QStringLiteral("https://booking\\.fjellheim\\.example/#confirm=(\\d+)"
                                        "&code=([\\w-]+)&token=([\\w-]+)"))
          .match(text);
  ASSERT_TRUE(link.hasMatch()) << text.toStdString();
  EXPECT_EQ(link.captured(1).toLongLong(), refnr);
  EXPECT_EQ(link.captured(2).toLatin1(), code[0].second);

  const auto confirm = [&](const QString& token) {
    return Call(server.httpPort(), "POST", booking + "/confirm", QJsonObject{{"token", token}},
                {{"Booking-Code", link.captured(2).toLatin1()}});
  };
  EXPECT_EQ(Call(server.httpPort(), "POST", booking + "/confirm",
                 QJsonObject{{"token", link.captured(3)}})
                .status,
            404);  // without the booking's code, as if there were no booking
  EXPECT_EQ(confirm(QStringLiteral("not-the-token")).status, 403);
  const HttpAnswer confirmed = confirm(link.captured(3));
  ASSERT_EQ(confirmed.status, 200) << confirmed.body.constData();
  EXPECT_EQ(confirmed.json()["refnr"].toInteger(), refnr);
  EXPECT_EQ(Call(server.httpPort(), "GET", booking, std::nullopt, code).json()["status"],
            "booked");
  EXPECT_EQ(confirm(link.captured(3)).status, 409);  // a token confirms once

  // Now the booking's own mails go: the guest's confirmation and the business's note.
  ASSERT_TRUE(Until([&] { return Mails(pickup).size() >= 3; }))
      << server.standardError().toStdString();
  server.stop();
}

}  // namespace
}  // namespace taurelin
