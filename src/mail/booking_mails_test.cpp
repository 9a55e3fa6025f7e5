#include "mail/booking_mails.h"

#include "store/connection.h"
#include "store/database_error.h"
#include "store/mail_outbox.h"
#include "store/postgres/postgres_test_database.h"
#include "store/statement.h"
#include "store/test_database.h"
#include "store/write_transaction.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QMap>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

namespace taurelin {
namespace {

// A mail as Python's email package reads it back: headers decoded, the text part, and the
// names of its attachments.
struct Read {
  QString subject, to, text;
  QStringList attachments;
};

QList<Read> ReadBack(const QList<QByteArray>& messages) {
  QTemporaryDir dir;
  QStringList files;
  for (qsizetype i = 0; i < messages.size(); ++i) {
    QFile file(dir.filePath(QStringLiteral("%1.eml").arg(i)));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(messages[i]);
    files << file.fileName();
  }
  QProcess python;
  python.start(QStringLiteral("python3"),
               QStringList{QStringLiteral("-c"), QStringLiteral(R"(
import email, email.policy, json, sys
out = []
for name in sys.argv[1:]:
    with open(name, 'rb') as f:
        m = email.message_from_binary_file(f, policy=email.policy.default)
    out.append({'subject': m['subject'], 'to': str(m['to']),
                'text': m.get_body(('plain',)).get_content(),
                'attachments': [p.get_filename() for p in m.iter_attachments()]})
print(json.dumps(out))
)")} + files);
  python.waitForFinished(20000);
  QList<Read> read;
  for (const QJsonValue& mail : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
    const QJsonObject o = mail.toObject();
    QStringList attachments;
    for (const QJsonValue& a : o[QStringLiteral("attachments")].toArray()) {
      attachments << a.toString();
    }
    read.append({o[QStringLiteral("subject")].toString(), o[QStringLiteral("to")].toString(),
                 o[QStringLiteral("text")].toString(), attachments});
  }
  EXPECT_EQ(read.size(), messages.size()) << python.readAllStandardError().constData();
  return read;
}

// On the demo business: booking 1001 (Fjellheim, a week, booker Kari Nordby) on each backend.
class BookingMailsTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      if (!PostgresTestDatabase::Available()) GTEST_SKIP() << PostgresTestDatabase::kSkip;
      postgres_ = std::make_unique<PostgresTestDatabase>(PostgresTestDatabase::kDemo);
    } else {
      sqlite_ = std::make_unique<TestDatabase>(true);
    }
    QString error;
    ASSERT_TRUE(connection_.open(postgres_ ? postgres_->alias() : sqlite_->alias(), &error))
        << error.toStdString();
    BookingMailSettings settings;
    settings.templates = MailTemplates::Load(QStringLiteral(TAURELIN_MAIL_TEMPLATES));
    settings.from = {QStringLiteral("Fjellheim"), QStringLiteral("booking@fjellheim.example")};
    settings.businessAddress = QStringLiteral("post@fjellheim.example");
    settings.publicUrl = QStringLiteral("https://booking.fjellheim.example/");
    mails_ = std::make_unique<BookingMails>(
        settings, [](qint64 refnr) { return QStringLiteral("CODE%1").arg(refnr); }, nullptr);
  }

  // Runs `change` as one committed transaction.
  void InTransaction(const std::function<void()>& change) {
    WriteTransaction transaction(connection_);
    change();
    transaction.commit();
  }

  // The outbox's mails by event (one of each here), with their messages as they go out.
  QMap<QString, OutboxMail> Mails() {
    MailOutbox outbox(connection_);
    QMap<QString, OutboxMail> mails;
    for (const OutboxMail& listed : outbox.List(std::nullopt, 100)) {
      OutboxMail mail = *outbox.Find(listed.id);
      if (!mail.message.isEmpty()) mail.message = mails_->MessageOf(mail.message);
      mails.insert(listed.event, mail);
    }
    return mails;
  }

  std::unique_ptr<TestDatabase> sqlite_;
  std::unique_ptr<PostgresTestDatabase> postgres_;
  Connection connection_{QStringLiteral("mails_test")};
  std::unique_ptr<BookingMails> mails_;
};

TEST_P(BookingMailsTest, AGuestHearsInTheirLanguageAndTheBusinessWithoutTheCode) {
  InTransaction([&] { mails_->BookerAttached(connection_, 1001, true, QStringLiteral("en")); });
  // A mail tells the booking as its change left it, though it is rendered when it goes out.
  Statement later(connection_);
  later.add(QStringLiteral("UPDATE BESTILL SET FNAVN = 'Changed', ENAVN = 'Later' "
                           "WHERE BESTNR = 501"));
  later.run();
  QMap<QString, OutboxMail> mails = Mails();
  ASSERT_EQ(mails.keys(), QStringList({"booking-confirmed", "business-new-booking"}));
  const OutboxMail guest = mails.value(QStringLiteral("booking-confirmed"));
  const OutboxMail business = mails.value(QStringLiteral("business-new-booking"));
  EXPECT_EQ(guest.recipient, "kari.nordby@example.no");
  EXPECT_EQ(guest.language, "en");
  EXPECT_EQ(business.recipient, "post@fjellheim.example");
  EXPECT_EQ(business.language, "nb");
  QList<Read> read = ReadBack({guest.message, business.message});
  EXPECT_TRUE(read[0].subject.contains(u"1001")) << read[0].subject.toStdString();
  EXPECT_TRUE(read[0].to.contains(u"Kari Nordby <kari.nordby@example.no>"));
  EXPECT_TRUE(read[0].text.contains(u"CODE1001"));
  EXPECT_TRUE(read[0].text.contains(u"https://booking.fjellheim.example/#ref=1001&code=CODE1001"))
      << read[0].text.toStdString();
  EXPECT_TRUE(read[0].text.contains(u"Fjellheim"));
  EXPECT_EQ(read[0].attachments, QStringList{"booking-1001.ics"});
  EXPECT_FALSE(read[1].text.contains(u"CODE1001"));  // the code is the guest's alone
  EXPECT_TRUE(read[1].text.contains(u"Kari Nordby"));
  // A kept mail cut short is refused (the courier marks it failed), never sent garbled.
  const QByteArray kept = MailOutbox(connection_).Find(guest.id)->message;
  EXPECT_THROW(mails_->MessageOf(kept.left(kept.size() - 3)), MailError);

  // The cancellation is in the language the guest booked in; it carries no calendar.
  InTransaction([&] { mails_->Cancelled(connection_, 1001); });
  mails = Mails();
  ASSERT_EQ(mails.size(), 4);
  EXPECT_EQ(mails.value(QStringLiteral("booking-cancelled")).language, "en");
  read = ReadBack({mails.value(QStringLiteral("booking-cancelled")).message});
  EXPECT_TRUE(read[0].attachments.isEmpty());
  EXPECT_TRUE(mails.contains(QStringLiteral("business-cancellation")));
}

TEST_P(BookingMailsTest, ARolledBackChangeHasNoMailAndABadAddressNeverFailsTheBooking) {
  {
    WriteTransaction transaction(connection_);
    mails_->BookerAttached(connection_, 1001, true, QString());
  }  // rolled back
  EXPECT_TRUE(Mails().isEmpty());

  // What a guest typed over the line protocol: no address, and a name meant to add a header.
  Statement typed(connection_);
  typed.add(QStringLiteral("UPDATE BESTILL SET MAIL = :MAIL, FNAVN = :FNAVN WHERE BESTNR = 501"));
  typed.bindText(QStringLiteral("MAIL"), QStringLiteral("kari at example"));
  typed.bindText(QStringLiteral("FNAVN"), QStringLiteral("Kari\r\nBcc: all@evil.example"));
  typed.run();
  InTransaction([&] { mails_->BookerAttached(connection_, 1001, true, QString()); });
  const QMap<QString, OutboxMail> mails = Mails();
  const OutboxMail guest = mails.value(QStringLiteral("booking-confirmed"));
  EXPECT_EQ(guest.state, MailState::kFailed);
  EXPECT_TRUE(guest.answer.contains(u"not an e-mail address")) << guest.answer.toStdString();
  const OutboxMail business = mails.value(QStringLiteral("business-new-booking"));
  EXPECT_EQ(business.state, MailState::kWaiting);
  EXPECT_FALSE(business.message.contains("\nBcc:"));
}

TEST_P(BookingMailsTest, TheBusinessHearsOfAnOverbookingAndOfACalendarInTrouble) {
  InTransaction([&] { mails_->Overbooked(connection_, QStringLiteral("platform-cabin"), 1001,
                                         {1003, 1004}); });
  mails_->ChannelTrouble(connection_, QStringLiteral("platform-cabin"), 1, 1,
                         QStringLiteral("its calendar has not been read for over 3600 s"),
                         QDateTime(QDate(2026, 12, 10), QTime(4, 0), Qt::UTC));
  const QMap<QString, OutboxMail> mails = Mails();
  ASSERT_EQ(mails.keys(),
            QStringList({"business-channel-trouble", "business-overbooking"}));
  const QList<Read> read = ReadBack({mails.value(QStringLiteral("business-overbooking")).message,
                                     mails.value(QStringLiteral("business-channel-trouble")).message});
  EXPECT_TRUE(read[0].text.contains(u"platform-cabin")) << read[0].text.toStdString();
  EXPECT_TRUE(read[0].text.contains(u"1003, 1004"));
  EXPECT_TRUE(read[0].text.contains(u"1001"));
  EXPECT_TRUE(read[1].text.contains(u"has not been read for over 3600 s"))
      << read[1].text.toStdString();
  EXPECT_TRUE(read[1].text.contains(u"Fjellheim"));
  for (const OutboxMail& mail : mails) EXPECT_EQ(mail.recipient, "post@fjellheim.example");
}

// A guest is reminded once, some days before arrival, in the language booked in; a booking
// made after the reminder's day (its confirmation fresh) is not.
TEST_P(BookingMailsTest, AReminderIsWrittenOnceBeforeArrival) {
  InTransaction([&] { mails_->BookerAttached(connection_, 1001, true, QStringLiteral("en")); });
  MailOutbox outbox(connection_);
  InTransaction([&] { outbox.MoveIntake(); });  // as the courier's next look does
  const QDate today = QDate::currentDate();  // the demo's booking 1001 arrives on day 14
  EXPECT_TRUE(outbox.DueReminders(today, 14).isEmpty());             // booked on the day
  EXPECT_TRUE(outbox.DueReminders(today.addDays(2), 11).isEmpty());  // not yet
  ASSERT_EQ(outbox.DueReminders(today.addDays(2), 13), QList<qint64>{1001});
  InTransaction([&] { mails_->Remind(connection_, 1001); });
  const OutboxMail reminder = Mails().value(QStringLiteral("reminder"));
  EXPECT_EQ(reminder.recipient, "kari.nordby@example.no");
  EXPECT_EQ(reminder.language, "en");
  EXPECT_TRUE(outbox.DueReminders(today.addDays(2), 13).isEmpty());
  // A second server that wrote the same reminder at the same moment is refused.
  EXPECT_THROW(InTransaction([&] { mails_->Remind(connection_, 1001); }), DatabaseError);
  EXPECT_EQ(outbox.List(std::nullopt, 100).size(), 3);
}

INSTANTIATE_TEST_SUITE_P(Backends, BookingMailsTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Postgres" : "Sqlite"; });

}  // namespace
}  // namespace taurelin
