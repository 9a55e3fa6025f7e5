// What the booking mails cost the server, in three measurements, each printed beside its target.
//
//   mail_bench [--requests N] [--mails N] [--sections 123]   (the sections to run)
//
// 1. A booker's mail. Two servers, each on a fresh demo database and delivering into its
//    pickup folder: one with MailLineProtocolBookings = true, so that a booker attached over
//    the line protocol writes the guest's confirmation into the outbox in the booking's
//    transaction, and one without. On each, a hold of one unit (RESERVER, untimed) is given
//    its booker with an address (BOOKING, timed), N times (300 by default) after a warm-up,
//    alternating between the servers in blocks. Twice: back to back, so that the courier's
//    delivery of one mail overlaps the next booking, and with a pause after each booking long
//    enough for the courier to be done, which leaves the outbox row and its composition
//    alone. Between the blocks, a bare durable write transaction on the same disk is timed as
//    a yardstick. Every answer is checked, and at the end the mailing server's outbox must
//    hold one booking-confirmed row for each booking made on it, all sent, and the other's
//    none.
// 2. Delivery under load. MAILS mails (1,000 by default; confirmations with HTML and a
//    calendar, a few KB each) are written into the outbox of a fresh demo database, due only
//    far ahead, before the server starts with MailSmtpUrl naming the test mail server
//    (test_smtp_server.py) on 127.0.0.1 and MailLineProtocolBookings on. One blocking client
//    asks LEDIG (facility 1, 7 nights) every 10 ms from the start: the same stay each time,
//    whose answer the server keeps while the database is unchanged, and a stay not asked for
//    lately, whose answer it computes; each goes first every other time. After a warm-up,
//    quiet before: 500 of these. Then the mails are made due and a booking over the line
//    protocol writes one more mail, which wakes the courier. Busy: the requests sent from the
//    first mail's arrival until every mail is sent (the bench reads the outbox's counts every
//    100 ms on a connection of its own); quiet after: as many (300 to 1,000), half a second
//    later. The busy median is held against both quiet ones. Every mail must arrive at the
//    mail server once.
// 3. A booker's mail over HTTP. Three servers with their HTTP face, each on a fresh demo
//    database and delivering into its pickup folder, and a web shop's key (reserve) so that a
//    guest's limits do not stop the loop. On each, a hold of one unit (POST
//    /api/v1/reservations, untimed) is given its booker (PUT .../booker with its
//    Booking-Code, timed), N times each way as in 1, on one keep-alive connection a server:
//    without an address, so that no mail is written; with one, so that the guest's
//    confirmation is; and with one on a server with MailBusinessAddress, so that the
//    business's note is written beside it, as in a business's own setup. At the end the
//    outboxes must hold one booking-confirmed row for each booking with an address, one
//    business-new-booking row beside each on the third server, all sent, and the first none.

#include "booking_requests.h"
#include "demo_database.h"
#include "durable_write.h"
#include "loopback.h"

#include "mail/compose_mail.h"
#include "mail/stay_calendar.h"
#include "mail/test_smtp_server.h"
#include "protocol/reply_envelope.h"
#include "store/alias_list.h"
#include "store/connection.h"
#include "store/mail_outbox.h"
#include "store/statement.h"
#include "store/write_transaction.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using namespace taurelin;
using namespace taurelin::bench;
using Clock = std::chrono::steady_clock;

constexpr double kBookingTarget = 1.1;   // mail ÷ no mail, medians
constexpr double kRateTarget = 50;       // mails a second
constexpr double kAvailabilityTarget = 1.2;  // busy ÷ quiet, medians
constexpr int kWarmUp = 20;
constexpr int kBlock = 25;
// After a booking, time for the courier to claim, write and settle its mail.
constexpr auto kPause = std::chrono::milliseconds(60);
constexpr auto kSpacing = std::chrono::milliseconds(10);
constexpr auto kPollEvery = std::chrono::milliseconds(100);
// Delivery under load: LEDIG asked before the quiet measured before the mails go out, and
// how many of those are measured.
constexpr size_t kWarmTicks = 500;
constexpr size_t kQuietBefore = 500;
// More than the server keeps answers of one kind for (512).
constexpr int kFreshStays = 600;
// Arrivals every third day from two weeks ahead, within the demo's two years of prices; two
// rental types of facility 1, of 10 and 6 units, so that a stay is booked at most six times.
constexpr int kFirstArrival = 14;
constexpr int kArrivalSlots = 230;
constexpr int kMostBookings = 2 * kArrivalSlots * 6;

QString LineDay(const QDate& day) { return day.toString(u"yyyy.MM.dd"); }

QByteArray LineRequest(const QByteArray& columns, const QString& values) {
  return "messageID=bench&count=1&header=INSTRUKSJON;" + columns + "&data=" + values.toLatin1() +
         "\n";
}

DatabaseAlias SqliteAlias(const QString& file) {
  DatabaseAlias alias;
  alias.name = QStringLiteral("bench");
  alias.database = file;
  return alias;
}

// The rows of `sql` on a connection of its own; false, with the reason printed, when the
// database cannot be read.
bool Query(const QString& file, const QString& sql, const std::function<void(QSqlQuery&)>& row) {
  QString error;
  Connection connection(QStringLiteral("bench-read"));
  if (!connection.open(SqliteAlias(file), &error, false)) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(file), qPrintable(error));
    return false;
  }
  QSqlQuery query(connection.database());
  if (!query.exec(sql)) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(sql), qPrintable(query.lastError().text()));
    return false;
  }
  while (query.next()) row(query);
  return true;
}

struct Summary {
  double median = 0, p99 = 0;  // ms
};

Summary Summarize(const std::vector<double>& microseconds) {
  return {Percentile(microseconds, 0.5) / 1000, Percentile(microseconds, 0.99) / 1000};
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

// ---- 1. a booker's mail ------------------------------------------------------------------

struct Side {
  Side(const char* label, QString file) : name(label), databaseFile(std::move(file)) {}
  const char* name;
  QString databaseFile;
  ServerUnderTest* server = nullptr;
  int fd = -1;
  int made = 0;  // bookings so far, which also picks the next stay
  bool email = true;  // whether its bookers give an address
  QSet<qint64> refnrs;
  std::vector<double> backToBack, paced;  // the booker's round trips, microseconds
};

// One hold given its booker; the BOOKING round trip goes to `times` when given. False, with
// the answer printed, when either is no success.
bool BookOne(Side& side, std::vector<double>* times) {
  const int i = side.made++;
  const int type = 1 + i % 2;
  const QDate arrival =
      QDate::currentDate().addDays(kFirstArrival + 3 * ((i / 2) % kArrivalSlots));
  QByteArray answer;
  const QByteArray hold = LineRequest(
      "ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;AVREISE;PENSJONSTYPE;ANTALL;ANT_PERSONER;AGENT;PRIS;"
      "REFNR;TIMEOUT",
      QStringLiteral("RESERVER;1;%1;*;%2;%3;1;1;2;1;;*;600")
          .arg(type)
          .arg(LineDay(arrival), LineDay(arrival.addDays(2))));
  QString refnr;
  if (RoundTrip(side.fd, hold, &answer) >= 0 && Reply(answer).startsWith(u"&count=1&") &&
      !answer.contains("errorcode")) {
    refnr = ReplyEnvelope::GetReplyValue(Reply(answer), QStringLiteral("REFNR"));
  }
  if (refnr.isEmpty()) {
    std::fprintf(stderr, "%s: RESERVER failed: %s\n", side.name, answer.constData());
    return false;
  }
  const QByteArray booker = LineRequest(
      "REFNR;AGENT;NASJON;FNAVN;ENAVN;ADRESSE1;POSTNR;POSTSTED;TELEFON;EPOST",
      QStringLiteral("BOOKING;%1;1;N;Kari;Nordby;Storgata %2;2680;Vaga;+47 412 34 567;"
                     "kari.nordby%2@example.no")
          .arg(refnr)
          .arg(i));
  const double rt = RoundTrip(side.fd, booker, &answer);
  if (rt < 0 || !Reply(answer).startsWith(u"&count=1&") || answer.contains("errorcode") ||
      !answer.contains("&data=BOOKING;" + refnr.toLatin1() + ";")) {
    std::fprintf(stderr, "%s: BOOKING failed: %s\n", side.name, answer.constData());
    return false;
  }
  side.refnrs.insert(refnr.toLongLong());
  if (times != nullptr) times->push_back(rt);
  side.server->standardError();  // keeps its pipe drained
  return true;
}

// The outbox's rows of a new booking, the guest's and the business's: their reference
// numbers; and how many rows of any kind there are and how many of them are sent.
struct OutboxRows {
  QList<qint64> confirmed, business;
  int all = 0, sent = 0;
};

std::optional<OutboxRows> ReadOutbox(const QString& file) {
  OutboxRows rows;
  if (!Query(file,
             QStringLiteral("SELECT REFNR, HENDELSE FROM EPOST_UT WHERE HENDELSE IN "
                            "('booking-confirmed', 'business-new-booking')"),
             [&](QSqlQuery& q) {
               (q.value(1).toString() == u"booking-confirmed" ? rows.confirmed : rows.business)
                   << q.value(0).toLongLong();
             }) ||
      !Query(file,
             // With the intake's, so that a mail not yet moved on is not settled.
             QStringLiteral("SELECT COUNT(*), SUM(CASE WHEN TILSTAND = 'sent' THEN 1 ELSE 0 END) "
                            "FROM (SELECT TILSTAND FROM EPOST_UT "
                            "UNION ALL SELECT TILSTAND FROM EPOST_NY) O"),
             [&](QSqlQuery& q) {
               rows.all = q.value(0).toInt();
               rows.sent = q.value(1).toInt();
             })) {
    return std::nullopt;
  }
  return rows;
}

// The outbox once the courier is done with it, or after ten seconds.
std::optional<OutboxRows> SettledOutbox(const QString& file) {
  std::optional<OutboxRows> rows;
  for (int i = 0; i < 100; ++i) {
    rows = ReadOutbox(file);
    if (!rows || rows->sent == rows->all) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return rows;
}

// The mails a server has written into its pickup folder.
int PickedUp(const ServerUnderTest& server) {
  return static_cast<int>(QDir(QDir(server.directory()).filePath(QStringLiteral("mail")))
                              .entryList({QStringLiteral("*.eml")}, QDir::Files)
                              .size());
}

int MeasureBookings(int requests) {
  QTemporaryDir dir;
  Side quiet("without mail", dir.filePath(QStringLiteral("quiet.db")));
  Side mailing("with mail", dir.filePath(QStringLiteral("mailing.db")));
  if (!InstallDemo(quiet.databaseFile) || !InstallDemo(mailing.databaseFile)) return 1;
  ServerUnderTest quietServer(quiet.databaseFile);
  ServerUnderTest mailingServer(mailing.databaseFile);
  mailingServer.setConfiguration(QStringLiteral("MailLineProtocolBookings"), QStringLiteral("true"));
  quiet.server = &quietServer;
  mailing.server = &mailingServer;
  for (Side* side : {&quiet, &mailing}) {
    const int port = side->server->start();
    side->fd = port < 0 ? -1 : ConnectLoopback(port);
    if (side->fd < 0) return 1;
  }

  // The yardstick: a bare durable write transaction beside the databases, on the same disk.
  DatabaseAlias scratch;
  scratch.database = dir.filePath(QStringLiteral("durable-write-scratch.db"));
  DurableWrite write(scratch);
  QString error;
  if (!write.open(&error)) {
    std::fprintf(stderr, "durable write transaction: %s\n", qPrintable(error));
    return 1;
  }
  std::vector<double> writes;

  for (int i = 0; i < kWarmUp; ++i) {
    if (!BookOne(quiet, nullptr) || !BookOne(mailing, nullptr) || write.once() < 0) return 1;
  }
  // Blocks alternate, and so does which server goes first in a block.
  for (int done = 0, block = 0; done < requests; done += kBlock, ++block) {
    const int count = std::min(kBlock, requests - done);
    Side* order[2] = {&quiet, &mailing};
    if (block % 2 == 1) std::swap(order[0], order[1]);
    for (Side* side : order) {
      for (int i = 0; i < count; ++i) {
        if (!BookOne(*side, &side->backToBack)) return 1;
      }
      for (int i = 0; i < count; ++i) {
        if (!BookOne(*side, &side->paced)) return 1;
        std::this_thread::sleep_for(kPause);
      }
    }
    for (int i = 0; i < count; ++i) {
      const double rt = write.once();
      if (rt < 0) {
        std::fprintf(stderr, "durable write transaction: %s\n", qPrintable(write.error()));
        return 1;
      }
      writes.push_back(rt);
    }
  }
  ::close(quiet.fd);
  ::close(mailing.fd);

  // The courier has had its pause after the last booking; it gets a few seconds more.
  const std::optional<OutboxRows> mailed = SettledOutbox(mailing.databaseFile);
  const std::optional<OutboxRows> unmailed = ReadOutbox(quiet.databaseFile);
  if (!mailed || !unmailed) return 1;
  const QSet<qint64> confirmed(mailed->confirmed.cbegin(), mailed->confirmed.cend());
  const int pickedUp = PickedUp(mailingServer);
  if (mailed->confirmed.size() != mailing.made || confirmed != mailing.refnrs ||
      mailed->all != mailing.made || mailed->sent != mailing.made || pickedUp != mailing.made ||
      unmailed->all != 0) {
    std::fprintf(stderr,
                 "the outboxes are not as the bookings call for: %d bookings with mail, %lld "
                 "booking-confirmed rows (%lld bookings), %d rows, %d sent, %d files; %d rows "
                 "without mail\n",
                 mailing.made, static_cast<long long>(mailed->confirmed.size()),
                 static_cast<long long>(confirmed.size()), mailed->all, mailed->sent, pickedUp,
                 unmailed->all);
    return 1;
  }

  std::printf("1. A booker's mail: BOOKING over the line protocol (a hold of one unit given its "
              "booker, with an address), %d on each server and way, after %d to warm up; "
              "blocks of %d\n",
              requests, kWarmUp, kBlock);
  std::printf("   %-44s %10s %10s\n", "", "median ms", "p99 ms");
  const auto row = [](const QByteArray& name, const std::vector<double>& times) {
    const Summary s = Summarize(times);
    std::printf("   %-44s %10.3f %10.3f\n", name.constData(), s.median, s.p99);
    return s;
  };
  const Summary quietBack = row("back to back, without mail", quiet.backToBack);
  const Summary mailBack = row("back to back, with mail", mailing.backToBack);
  const QByteArray paced = QByteArray::number(static_cast<int>(kPause.count())) + " ms after each";
  const Summary quietPaced = row(paced + ", without mail", quiet.paced);
  const Summary mailPaced = row(paced + ", with mail", mailing.paced);
  const Summary durable = row("durable write transaction (yardstick)", writes);
  const double backRatio = mailBack.median / quietBack.median;
  const double pacedRatio = mailPaced.median / quietPaced.median;
  std::printf("   ratio of medians, mail / no mail: back to back %.3f (p99 %.3f), paced %.3f "
              "(p99 %.3f); target <= %.1f: back to back %s, paced %s\n",
              backRatio, mailBack.p99 / quietBack.p99, pacedRatio, mailPaced.p99 / quietPaced.p99,
              kBookingTarget, Verdict(backRatio <= kBookingTarget),
              Verdict(pacedRatio <= kBookingTarget));
  std::printf("   the mail adds (medians): back to back %.3f ms, paced %.3f ms; %.2f and %.2f "
              "durable write transactions (%s)\n",
              mailBack.median - quietBack.median, mailPaced.median - quietPaced.median,
              (mailBack.median - quietBack.median) / durable.median,
              (mailPaced.median - quietPaced.median) / durable.median,
              qPrintable(write.durability()));
  std::printf("   outbox with mail: %d booking-confirmed rows, one for each booking, all sent "
              "(%d files); without mail: none\n",
              mailed->all, pickedUp);
  std::fflush(stdout);
  return 0;
}

// ---- 2. delivery under load ------------------------------------------------------------

// LEDIG round trips, microseconds: of one stay asked again and again, and of a stay not
// asked for lately.
struct Series {
  std::vector<double> same, fresh;
};

// A guest's confirmation as the server writes one: text and HTML, and the stay's calendar.
QByteArray Confirmation(int i, const QString& id, const QDateTime& now) {
  const qint64 refnr = 200000 + i;
  const QDate arrival = QDate::currentDate().addDays(20 + i % 300);
  const QDate departure = arrival.addDays(3);
  const QString guest = QStringLiteral("Kari Nordby");
  const QString facility = QStringLiteral("Fjellheim Hyttegrend");
  const QString code = QStringLiteral("K7Q%1X").arg(i, 4, 10, QLatin1Char('0'));
  const QString link = QStringLiteral("https://booking.fjellheim.example/#ref=%1&code=%2")
                           .arg(refnr)
                           .arg(code);
  const QString price = QStringLiteral("NOK 4 350,00");
  const QString types = QStringLiteral("1 × Hytte 4 senger (2 voksne, 1 barn), frokost");
  struct Field {
    QString label, value;
  };
  const QList<Field> fields = {
      {QStringLiteral("Sted"), facility},
      {QStringLiteral("Bestilt"), types},
      {QStringLiteral("Ankomst"), arrival.toString(u"dd.MM.yyyy") + QStringLiteral(" fra kl. 15")},
      {QStringLiteral("Avreise"), departure.toString(u"dd.MM.yyyy") + QStringLiteral(" før kl. 12")},
      {QStringLiteral("Netter"), QStringLiteral("3")},
      {QStringLiteral("Gjester"), QStringLiteral("3")},
      {QStringLiteral("Pris"), price},
      {QStringLiteral("Referansenummer"), QString::number(refnr)},
      {QStringLiteral("Bestillingskode"), code},
  };
  QString text = QStringLiteral("Hei %1,\n\nTakk for bestillingen! Dette har du bestilt:\n\n").arg(guest);
  QString html = QStringLiteral(
                     "<!DOCTYPE html>\n<html lang=\"nb\">\n<head>\n<meta charset=\"utf-8\">\n"
                     "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                     "<title>Bestillingen er bekreftet</title>\n</head>\n<body>\n<p>Hei %1,</p>\n"
                     "<p>Takk for bestillingen! Dette har du bestilt:</p>\n<table>\n")
                     .arg(guest);
  for (const Field& field : fields) {
    text += (field.label + u':').leftJustified(18) + field.value + u'\n';
    html += QStringLiteral("<tr><th scope=\"row\" style=\"text-align: left; padding-right: 1em\">"
                           "%1</th><td>%2</td></tr>\n")
                .arg(field.label, field.value.toHtmlEscaped());
  }
  const QString keep = QStringLiteral(
      "Ta vare på referansenummeret og bestillingskoden: med begge kan du se og avbestille "
      "bestillingen senere.");
  const QString contact = QStringLiteral(
      "Spørsmål? Ring oss på +47 61 23 45 67 eller svar på denne e-posten. Resepsjonen er åpen "
      "alle dager fra 08 til 20; kommer dere senere, ligger nøkkelen i nøkkelboksen ved døra.");
  text += QStringLiteral("\nSe eller avbestill bestillingen:\n%1\n\n%2\n\n%3\n\nVennlig hilsen\n%4\n")
              .arg(link, keep, contact, facility);
  html += QStringLiteral("</table>\n<p><a href=\"%1\">Se eller avbestill bestillingen</a></p>\n"
                         "<p>%2</p>\n<p>%3</p>\n<p>Vennlig hilsen<br>%4</p>\n</body>\n</html>\n")
              .arg(link.toHtmlEscaped(), keep, contact, facility);

  CalendarStay stay;
  stay.refnr = refnr;
  stay.domain = QStringLiteral("fjellheim.example");
  stay.arrival = arrival;
  stay.departure = departure;
  stay.facility = facility;
  stay.description = types + QStringLiteral("\nReferansenummer ") + QString::number(refnr) +
                     QStringLiteral("\n") + link;
  stay.location = QStringLiteral("Fjellheim Hyttegrend, Fjellvegen 12, 2680 Vågå");
  stay.stamp = now;

  MailContent mail;
  mail.from = {facility, QStringLiteral("booking@fjellheim.example")};
  mail.to = {{guest, QStringLiteral("guest%1@example.no").arg(i)}};
  mail.subject = QStringLiteral("Bestilling %1 hos %2 er bekreftet").arg(refnr).arg(facility);
  mail.text = text;
  mail.html = html;
  mail.calendar = StayCalendar(stay);
  mail.calendarName = QStringLiteral("booking-%1.ics").arg(refnr);
  mail.messageId = id + QStringLiteral("@fjellheim.example");
  mail.date = now;
  return ComposeMail(mail);
}

// The Message-ID of each .eml file in `folder`, and how many files there are.
QStringList ReceivedIds(const QString& folder, int* files) {
  static const QRegularExpression kMessageId(QStringLiteral("^Message-Id:\\s*<([^>]+)>"),
                                             QRegularExpression::CaseInsensitiveOption |
                                                 QRegularExpression::MultilineOption);
  const QStringList names = QDir(folder).entryList({QStringLiteral("*.eml")}, QDir::Files);
  *files = static_cast<int>(names.size());
  QStringList ids;
  for (const QString& name : names) {
    QFile file(QDir(folder).filePath(name));
    if (!file.open(QIODevice::ReadOnly)) continue;
    const QString head = QString::fromUtf8(file.read(8192));
    const QRegularExpressionMatch match = kMessageId.match(head.left(head.indexOf(u"\r\n\r\n")));
    if (match.hasMatch()) ids << match.captured(1);
  }
  return ids;
}

int MeasureDelivery(int mails) {
  if (TestSmtpServer::Python().isEmpty()) {
    std::fprintf(stderr, "no python3 with aiosmtpd for the test mail server "
                         "(TAURELIN_PYTHON names one)\n");
    return 1;
  }
  QTemporaryDir dir;
  const QString databaseFile = dir.filePath(QStringLiteral("outbox.db"));
  if (!InstallDemo(databaseFile)) return 1;

  // The waiting mails, written as a booking writes its mail.
  QSet<QString> messageIds;
  qint64 bytes = 0;
  const auto composeStart = Clock::now();
  try {
    QString error;
    Connection connection(QStringLiteral("bench-outbox"));
    if (!connection.open(SqliteAlias(databaseFile), &error, false)) {
      std::fprintf(stderr, "%s\n", qPrintable(error));
      return 1;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    WriteTransaction transaction(connection);
    MailOutbox outbox(connection);
    for (int i = 0; i < mails; ++i) {
      const QString id = MailOutbox::NewId();
      NewMail mail;
      mail.event = QStringLiteral("booking-confirmed");
      mail.refnr = 200000 + i;
      mail.recipient = QStringLiteral("guest%1@example.no").arg(i);
      mail.language = QStringLiteral("nb");
      mail.messageId = id + QStringLiteral("@fjellheim.example");
      mail.message = Confirmation(i, id, now);
      bytes += mail.message.size();
      messageIds.insert(mail.messageId);
      outbox.Enqueue(mail, now, 10, id);
    }
    // Moved on from the intake as the courier would, and held back until the server has been
    // asked for a while: its quiet comes first.
    outbox.MoveIntake();
    Statement held(connection);
    held.add(QStringLiteral("UPDATE EPOST_UT SET NESTE_FORSOK = :LATER"));
    held.bindInteger(QStringLiteral("LATER"), now.addYears(10).toSecsSinceEpoch());
    held.run();
    transaction.commit();
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "the outbox could not be filled: %s\n", failure.what());
    return 1;
  }
  const double composeSeconds = std::chrono::duration<double>(Clock::now() - composeStart).count();

  TestSmtpServer smtp;
  const QString smtpProblem = smtp.start({});
  if (!smtpProblem.isEmpty()) {
    std::fprintf(stderr, "%s\n", qPrintable(smtpProblem));
    return 1;
  }
  ServerUnderTest server(databaseFile);
  server.setConfiguration(QStringLiteral("MailSmtpUrl"), smtp.url().toString());
  server.setConfiguration(QStringLiteral("MailLineProtocolBookings"), true);

  QString error;
  Connection watch(QStringLiteral("bench-watch"));
  if (!watch.open(SqliteAlias(databaseFile), &error, false)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }
  const auto settled = [&watch](int* sent, int* failed) {
    QSqlQuery query(watch.database());
    if (!query.exec(QStringLiteral(
            "SELECT SUM(CASE WHEN TILSTAND = 'sent' THEN 1 ELSE 0 END), "
            "SUM(CASE WHEN TILSTAND = 'failed' THEN 1 ELSE 0 END) FROM EPOST_UT")) ||
        !query.next()) {
      return false;
    }
    *sent = query.value(0).toInt();
    *failed = query.value(1).toInt();
    return true;
  };

  const Clock::time_point started = Clock::now();
  const int port = server.start();
  const int fd = port < 0 ? -1 : ConnectLoopback(port);
  if (fd < 0) return 1;
  const auto ledig = [](int days) {
    const QDate arrival = QDate::currentDate().addDays(days);
    return LineRequest("ANLEGGSNR;UTYPE;UTL_OBJ;PENSJONSTYPE;ANKOMST;AVREISE",
                       QStringLiteral("LEDIG;1;*;*;*;%1;%2")
                           .arg(LineDay(arrival), LineDay(arrival.addDays(7))));
  };
  const QByteArray same = ledig(30);
  // More stays than the server keeps answers for, so that each is computed afresh.
  std::vector<QByteArray> fresh;
  for (int day = 0; day < kFreshStays; ++day) fresh.push_back(ledig(31 + day));

  // The mails are let go by making them due and booking one more, whose mail wakes the
  // courier: all of them go out together, from the next round on.
  const auto release = [&]() {
    QSqlQuery due(watch.database());
    if (!due.exec(QStringLiteral("UPDATE EPOST_UT SET NESTE_FORSOK = 0"))) {
      std::fprintf(stderr, "the mails could not be let go: %s\n",
                   qPrintable(due.lastError().text()));
      return false;
    }
    Side waker("delivery", databaseFile);
    waker.server = &server;
    waker.fd = fd;
    return BookOne(waker, nullptr);
  };

  enum class Phase { kWarm, kBefore, kReleased, kBusy, kSettle, kQuiet } phase = Phase::kWarm;
  const QString firstArrival = QDir(smtp.folder()).filePath(QStringLiteral("1.eml"));
  Series before, busy, quiet;
  Clock::time_point allSent, busyFrom, lastPoll = started, next = Clock::now();
  int sent = 0, failed = 0;
  QByteArray answer;
  for (size_t tick = 0;; ++tick) {
    std::this_thread::sleep_until(next);
    next = Clock::now() + kSpacing;
    // The first request after the pause finds what changed meanwhile: each kind goes first
    // every other time.
    double sameRt = 0, freshRt = 0;
    bool answered = true;
    for (int k = 0; k < 2; ++k) {
      const bool sameNow = (k == 0) == (tick % 2 == 0);
      const double rt = RoundTrip(fd, sameNow ? same : fresh[tick % fresh.size()], &answer);
      answered = answered && rt >= 0 && answer.contains("&data=LEDIG;0;");
      (sameNow ? sameRt : freshRt) = rt;
    }
    if (!answered) {
      std::fprintf(stderr, "LEDIG was not answered: %s\n", answer.constData());
      return 1;
    }
    if (phase == Phase::kBefore || phase == Phase::kBusy || phase == Phase::kQuiet) {
      Series& series = phase == Phase::kBefore ? before : phase == Phase::kBusy ? busy : quiet;
      series.same.push_back(sameRt);
      series.fresh.push_back(freshRt);
    }
    server.standardError();  // keeps its pipe drained
    if (phase == Phase::kWarm && tick + 1 >= kWarmTicks) phase = Phase::kBefore;
    if (phase == Phase::kBefore && before.same.size() >= kQuietBefore) {
      if (!release()) return 1;
      busyFrom = Clock::now();
      phase = Phase::kReleased;
      continue;
    }
    // Busy from the first mail's arrival: the courier looks a moment after it is woken.
    if (phase == Phase::kReleased && QFileInfo::exists(firstArrival)) phase = Phase::kBusy;
    if (phase == Phase::kReleased && Clock::now() - busyFrom > std::chrono::minutes(1)) {
      std::fprintf(stderr, "a minute after the mails were let go none has arrived\n%s\n",
                   qPrintable(server.standardError().right(2000)));
      return 1;
    }
    if (phase == Phase::kWarm || phase == Phase::kBefore || phase == Phase::kReleased) {
      continue;
    }
    const Clock::time_point now = Clock::now();
    if (phase == Phase::kBusy && now - lastPoll >= kPollEvery) {
      lastPoll = now;
      if (!settled(&sent, &failed)) {
        std::fprintf(stderr, "the outbox could not be read\n");
        return 1;
      }
      if (sent + failed >= mails + 1) {
        allSent = now;
        phase = Phase::kSettle;
      } else if (now - busyFrom > std::chrono::minutes(5)) {
        std::fprintf(stderr, "after 5 minutes %d of %d mails are sent, %d failed\n", sent,
                     mails + 1, failed);
        return 1;
      }
    }
    if (phase == Phase::kSettle && now - allSent > std::chrono::milliseconds(500)) {
      phase = Phase::kQuiet;
    }
    if (phase == Phase::kQuiet &&
        quiet.same.size() >= std::clamp<size_t>(busy.same.size(), 300, 1000)) {
      break;
    }
  }
  ::close(fd);
  // The mail server's last file is written before it answers; the bench saw the answer.
  const int total = mails + 1;  // and the booking's that woke the courier
  QSet<QString> written = messageIds;
  {
    QSqlQuery rows(watch.database());
    if (rows.exec(QStringLiteral("SELECT MELDING_ID FROM EPOST_UT"))) {
      while (rows.next()) written.insert(rows.value(0).toString());
    }
  }
  int files = 0;
  const QStringList ids = ReceivedIds(smtp.folder(), &files);
  const QSet<QString> distinct(ids.cbegin(), ids.cend());
  if (failed != 0 || sent != total || files != total || ids.size() != total ||
      written.size() != total || distinct != written) {
    std::fprintf(stderr,
                 "the mail server did not receive each mail once: %d sent, %d failed; %d files, "
                 "%lld Message-IDs (%lld distinct, %s the ones written)\n%s\n",
                 sent, failed, files, static_cast<long long>(ids.size()),
                 static_cast<long long>(distinct.size()),
                 distinct == written ? "alike" : "unlike",
                 qPrintable(server.standardError().right(2000)));
    return 1;
  }
  const double seconds = std::chrono::duration<double>(allSent - busyFrom).count();
  const QDateTime first =
      QFileInfo(QDir(smtp.folder()).filePath(QStringLiteral("1.eml"))).lastModified();
  const QDateTime last =
      QFileInfo(QDir(smtp.folder()).filePath(QStringLiteral("%1.eml").arg(total))).lastModified();
  const double arriving = static_cast<double>(first.msecsTo(last)) / 1000;
  const double rate = total / seconds;
  const Summary busySame = Summarize(busy.same), quietSame = Summarize(quiet.same);
  const Summary busyFresh = Summarize(busy.fresh), quietFresh = Summarize(quiet.fresh);
  const Summary beforeSame = Summarize(before.same), beforeFresh = Summarize(before.fresh);
  // Held against the quieter of the two quiet periods.
  const double ratio = busySame.median / std::min(beforeSame.median, quietSame.median);

  std::printf("2. Delivery under load: %d waiting mails (%.1f KB each on average, composed and "
              "written in %.2f s) and one booking's, to test_smtp_server.py on 127.0.0.1; every "
              "%lld ms LEDIG of one stay and of a stay not asked for lately, in turn first\n",
              mails, static_cast<double>(bytes) / mails / 1024, composeSeconds,
              static_cast<long long>(kSpacing.count()));
  std::printf("   all sent %.2f s after they were let go: %.1f mails/s (first to last arrival "
              "%.2f s: %.1f mails/s); target >= %.0f: %s\n",
              seconds, rate, arriving, arriving > 0 ? (total - 1) / arriving : 0.0, kRateTarget,
              Verdict(rate >= kRateTarget));
  std::printf("   %-44s %10s %10s %8s\n", "", "median ms", "p99 ms", "requests");
  const auto row = [](const char* name, const Summary& s, size_t count) {
    std::printf("   %-44s %10.3f %10.3f %8zu\n", name, s.median, s.p99, count);
  };
  row("LEDIG, one stay, before (quiet)", beforeSame, before.same.size());
  row("LEDIG, one stay, while the mails go out", busySame, busy.same.size());
  row("LEDIG, one stay, after (quiet)", quietSame, quiet.same.size());
  row("LEDIG, a new stay each, before (quiet)", beforeFresh, before.fresh.size());
  row("LEDIG, a new stay each, while the mails go", busyFresh, busy.fresh.size());
  row("LEDIG, a new stay each, after (quiet)", quietFresh, quiet.fresh.size());
  std::printf("   ratio busy / quiet, one stay: median %.3f (before %.3f, after %.3f), p99 %.3f "
              "(after); target <= %.1f (median, against the quieter): %s\n",
              ratio, busySame.median / beforeSame.median, busySame.median / quietSame.median,
              busySame.p99 / quietSame.p99, kAvailabilityTarget,
              Verdict(ratio <= kAvailabilityTarget));
  std::printf("   ratio busy / quiet, a new stay each: median before %.3f, after %.3f; p99 after "
              "%.3f\n",
              busyFresh.median / beforeFresh.median, busyFresh.median / quietFresh.median,
              busyFresh.p99 / quietFresh.p99);
  // What this machine's own noise is: two quiet periods of the same server, held together.
  std::printf("   quiet before / quiet after, medians: one stay %.3f, a new stay each %.3f\n",
              beforeSame.median / quietSame.median, beforeFresh.median / quietFresh.median);
  std::printf("   the mail server received %d messages, each mail once\n", files);
  std::fflush(stdout);
  return 0;
}

// ---- 3. a booker's mail over HTTP --------------------------------------------------------

// A web shop's key: a guest's limits would stop the loop. The server's key file keeps its
// SHA-256.
constexpr char kShopKey[] = "tk_mail_bench_shop_0123456789abcdef";
constexpr char kBusinessAddress[] = "post@fjellheim.example";

QByteArray HttpRequest(const QByteArray& method, const QByteArray& target,
                       const QJsonObject& json, const QByteArray& headers = {}) {
  const QByteArray body = QJsonDocument(json).toJson(QJsonDocument::Compact);
  return method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " +
         kShopKey + "\r\nContent-Type: application/json\r\nContent-Length: " +
         QByteArray::number(body.size()) + "\r\n" + headers + "\r\n" + body;
}

int Status(const QByteArray& head) { return head.mid(9, 3).toInt(); }

// A hold of one unit made over HTTP (untimed) and given its booker there, with an address
// when the side's bookers give one; the PUT's round trip goes to `times` when given. False,
// with the answer printed, when either is no success.
bool BookOverHttp(Side& side, std::vector<double>* times) {
  const int i = side.made++;
  const QDate arrival =
      QDate::currentDate().addDays(kFirstArrival + 3 * ((i / 2) % kArrivalSlots));
  const QJsonObject hold{{"facility", 1},
                         {"type", 1 + i % 2},
                         {"arrival", arrival.toString(Qt::ISODate)},
                         {"departure", arrival.addDays(2).toString(Qt::ISODate)},
                         {"board", 1},
                         {"units", 1},
                         {"persons", 1},
                         {"agent", 1},
                         {"timeout", 600}};
  QByteArray body, head;
  qint64 refnr = 0;
  QByteArray code;
  if (HttpRoundTrip(side.fd, HttpRequest("POST", "/api/v1/reservations", hold), &body, &head) >=
          0 &&
      Status(head) == 201) {
    const QJsonObject held = QJsonDocument::fromJson(body).object();
    refnr = held["refnr"].toInteger();
    code = held["bookingCode"].toString().toLatin1();
  }
  if (refnr <= 0 || code.isEmpty()) {
    std::fprintf(stderr, "%s: POST /api/v1/reservations failed: %s\n%s\n", side.name,
                 head.constData(), body.constData());
    return false;
  }
  QJsonObject booker{{"agent", 1},
                     {"nation", "N"},
                     {"firstName", "Kari"},
                     {"surname", "Nordby"},
                     {"address1", QStringLiteral("Storgata %1").arg(i)},
                     {"postcode", "2680"},
                     {"place", "Vaga"},
                     {"phone", "+47 412 34 567"},
                     {"language", "nb"}};
  if (side.email) booker["email"] = QStringLiteral("kari.nordby%1@example.no").arg(i);
  const QByteArray target = "/api/v1/reservations/" + QByteArray::number(refnr) + "/booker";
  const double rt = HttpRoundTrip(side.fd, HttpRequest("PUT", target, booker,
                                                       "Booking-Code: " + code + "\r\n"),
                                  &body, &head);
  if (rt < 0 || Status(head) != 200 ||
      QJsonDocument::fromJson(body).object()["refnr"].toInteger() != refnr) {
    std::fprintf(stderr, "%s: PUT %s failed: %s\n%s\n", side.name, target.constData(),
                 head.constData(), body.constData());
    return false;
  }
  side.refnrs.insert(refnr);
  if (times != nullptr) times->push_back(rt);
  side.server->standardError();  // keeps its pipe drained
  return true;
}

int MeasureHttpBookings(int requests) {
  QTemporaryDir dir;
  Side quiet("without mail", dir.filePath(QStringLiteral("quiet.db")));
  Side guest("guest's mail", dir.filePath(QStringLiteral("guest.db")));
  Side both("guest's and business's mail", dir.filePath(QStringLiteral("both.db")));
  quiet.email = false;
  if (!InstallDemo(quiet.databaseFile) || !InstallDemo(guest.databaseFile) ||
      !InstallDemo(both.databaseFile)) {
    return 1;
  }
  ServerUnderTest quietServer(quiet.databaseFile);
  ServerUnderTest guestServer(guest.databaseFile);
  ServerUnderTest bothServer(both.databaseFile);
  bothServer.setConfiguration(QStringLiteral("MailBusinessAddress"),
                              QString::fromLatin1(kBusinessAddress));
  quiet.server = &quietServer;
  guest.server = &guestServer;
  both.server = &bothServer;
  Side* const sides[] = {&quiet, &guest, &both};
  for (Side* side : sides) {
    const QString keyFile = QDir(side->server->directory()).filePath(QStringLiteral("api-keys"));
    QFile keys(keyFile);
    if (!keys.open(QIODevice::WriteOnly) ||
        keys.write("shop:reserve:" +
                   QCryptographicHash::hash(kShopKey, QCryptographicHash::Sha256).toHex() +
                   '\n') < 0) {
      std::fprintf(stderr, "%s: %s\n", qPrintable(keyFile), qPrintable(keys.errorString()));
      return 1;
    }
    keys.close();
    side->server->setConfiguration(QStringLiteral("KeyWritesPerMinute"), 1000000);
    const int port = side->server->start(
        {QStringLiteral("--http"), QStringLiteral("0"), QStringLiteral("--http-keys"), keyFile});
    const int httpPort = port < 0 ? -1 : side->server->httpPort();
    side->fd = httpPort < 0 ? -1 : ConnectLoopback(httpPort);
    if (side->fd < 0) {
      std::fprintf(stderr, "%s: no HTTP face: %s\n", side->name,
                   qPrintable(side->server->standardError()));
      return 1;
    }
  }

  DatabaseAlias scratch;
  scratch.database = dir.filePath(QStringLiteral("durable-write-scratch.db"));
  DurableWrite write(scratch);
  QString error;
  if (!write.open(&error)) {
    std::fprintf(stderr, "durable write transaction: %s\n", qPrintable(error));
    return 1;
  }
  std::vector<double> writes;

  for (int i = 0; i < kWarmUp; ++i) {
    for (Side* side : sides) {
      if (!BookOverHttp(*side, nullptr)) return 1;
    }
    if (write.once() < 0) return 1;
  }
  // Blocks alternate, and which server goes first turns with them.
  for (int done = 0, block = 0; done < requests; done += kBlock, ++block) {
    const int count = std::min(kBlock, requests - done);
    for (int k = 0; k < 3; ++k) {
      Side& side = *sides[(block + k) % 3];
      for (int i = 0; i < count; ++i) {
        if (!BookOverHttp(side, &side.backToBack)) return 1;
      }
      for (int i = 0; i < count; ++i) {
        if (!BookOverHttp(side, &side.paced)) return 1;
        std::this_thread::sleep_for(kPause);
      }
    }
    for (int i = 0; i < count; ++i) {
      const double rt = write.once();
      if (rt < 0) {
        std::fprintf(stderr, "durable write transaction: %s\n", qPrintable(write.error()));
        return 1;
      }
      writes.push_back(rt);
    }
  }
  for (Side* side : sides) ::close(side->fd);

  // One booking-confirmed row for each booking with an address, and a business-new-booking
  // row beside it where the business has an address; without either, no row at all.
  const std::optional<OutboxRows> guestRows = SettledOutbox(guest.databaseFile);
  const std::optional<OutboxRows> bothRows = SettledOutbox(both.databaseFile);
  const std::optional<OutboxRows> quietRows = ReadOutbox(quiet.databaseFile);
  if (!guestRows || !bothRows || !quietRows) return 1;
  const auto asSet = [](const QList<qint64>& list) {
    return QSet<qint64>(list.begin(), list.end());
  };
  const int guestFiles = PickedUp(guestServer), bothFiles = PickedUp(bothServer);
  const bool guestRight = guestRows->confirmed.size() == guest.made &&
                          asSet(guestRows->confirmed) == guest.refnrs &&
                          guestRows->business.isEmpty() && guestRows->all == guest.made &&
                          guestRows->sent == guest.made && guestFiles == guest.made;
  const bool bothRight = bothRows->confirmed.size() == both.made &&
                         asSet(bothRows->confirmed) == both.refnrs &&
                         bothRows->business.size() == both.made &&
                         asSet(bothRows->business) == both.refnrs &&
                         bothRows->all == 2 * both.made && bothRows->sent == 2 * both.made &&
                         bothFiles == 2 * both.made;
  if (!guestRight || !bothRight || quietRows->all != 0 || PickedUp(quietServer) != 0) {
    std::fprintf(stderr,
                 "the outboxes are not as the bookings call for (bookings, guest's rows, "
                 "business's rows, rows, sent, files): guest's mail %d, %lld, %lld, %d, %d, %d; "
                 "guest's and business's %d, %lld, %lld, %d, %d, %d; without mail %d rows\n",
                 guest.made, static_cast<long long>(guestRows->confirmed.size()),
                 static_cast<long long>(guestRows->business.size()), guestRows->all,
                 guestRows->sent, guestFiles, both.made,
                 static_cast<long long>(bothRows->confirmed.size()),
                 static_cast<long long>(bothRows->business.size()), bothRows->all,
                 bothRows->sent, bothFiles, quietRows->all);
    return 1;
  }

  std::printf("3. A booker's mail over HTTP: PUT /api/v1/reservations/{refnr}/booker (a hold "
              "of one unit, made by POST and untimed, given its booker, with its Booking-Code "
              "and a reserve key, one keep-alive connection a server), %d on each server and "
              "way, after %d to warm up; blocks of %d; three servers delivering into their "
              "pickup folders: the booker without an address, with one, and with one and "
              "MailBusinessAddress set\n",
              requests, kWarmUp, kBlock);
  std::printf("   %-52s %10s %10s\n", "", "median ms", "p99 ms");
  const auto row = [](const QByteArray& name, const std::vector<double>& times) {
    const Summary s = Summarize(times);
    std::printf("   %-52s %10.3f %10.3f\n", name.constData(), s.median, s.p99);
    return s;
  };
  const QByteArray paced = QByteArray::number(static_cast<int>(kPause.count())) + " ms after each";
  Summary back[3], after[3];
  for (int k = 0; k < 3; ++k) {
    back[k] = row(QByteArray("back to back, ") + sides[k]->name, sides[k]->backToBack);
  }
  for (int k = 0; k < 3; ++k) after[k] = row(paced + ", " + sides[k]->name, sides[k]->paced);
  const Summary durable = row("durable write transaction (yardstick)", writes);
  for (int k = 1; k < 3; ++k) {
    const double backRatio = back[k].median / back[0].median;
    const double pacedRatio = after[k].median / after[0].median;
    std::printf("   ratio of medians, %s / none: back to back %.3f (p99 %.3f), paced %.3f "
                "(p99 %.3f); target <= %.1f: back to back %s, paced %s\n",
                sides[k]->name, backRatio, back[k].p99 / back[0].p99, pacedRatio,
                after[k].p99 / after[0].p99, kBookingTarget, Verdict(backRatio <= kBookingTarget),
                Verdict(pacedRatio <= kBookingTarget));
    std::printf("   %s adds (medians): back to back %.3f ms, paced %.3f ms; %.2f and %.2f "
                "durable write transactions (%s)\n",
                sides[k]->name, back[k].median - back[0].median, after[k].median - after[0].median,
                (back[k].median - back[0].median) / durable.median,
                (after[k].median - after[0].median) / durable.median,
                qPrintable(write.durability()));
  }
  std::printf("   outboxes: guest's mail %d booking-confirmed rows, one for each booking, all sent "
              "(%d files); guest's and business's %d booking-confirmed and %d "
              "business-new-booking rows, all sent (%d files); without mail: none\n",
              guestRows->all, guestFiles, static_cast<int>(bothRows->confirmed.size()),
              static_cast<int>(bothRows->business.size()), bothFiles);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  int requests = 300;
  int mails = 1000;
  QString sections = QStringLiteral("123");
  const QStringList arguments = QCoreApplication::arguments();
  bool ok = arguments.size() % 2 == 1;
  for (qsizetype i = 1; ok && i + 1 < arguments.size(); i += 2) {
    if (arguments[i] == u"--requests") {
      requests = arguments[i + 1].toInt(&ok);
    } else if (arguments[i] == u"--mails") {
      mails = arguments[i + 1].toInt(&ok);
    } else if (arguments[i] == u"--sections") {
      sections = arguments[i + 1];
    } else {
      ok = false;
    }
  }
  // Each server books twice N and the warm-up, and each stay at most as often as it has units.
  if (!ok || requests < 1 || 2 * requests + kWarmUp > kMostBookings || mails < 1 ||
      !QRegularExpression(QRegularExpression::anchoredPattern(QStringLiteral("[123]+")))
           .match(sections)
           .hasMatch()) {
    std::fprintf(stderr,
                 "usage: mail_bench [--requests N] [--mails N] [--sections 123] (N at most %d "
                 "bookings; the sections to run, all three by default)\n",
                 (kMostBookings - kWarmUp) / 2);
    return 2;
  }
  std::printf("mail_bench: %u cores, load %s\n", std::thread::hardware_concurrency(),
              qPrintable(LoadAverage()));
  std::fflush(stdout);
  if (sections.contains(u'1')) {
    if (const int failed = MeasureBookings(requests)) return failed;
  }
  if (sections.contains(u'2')) {
    if (const int failed = MeasureDelivery(mails)) return failed;
  }
  return sections.contains(u'3') ? MeasureHttpBookings(requests) : 0;
}
