#include "mail/mail_courier.h"

#include "mail/compose_mail.h"
#include "mail/test_smtp_server.h"
#include "store/connection.h"
#include "store/postgres/postgres_test_database.h"
#include "store/test_database.h"
#include "store/write_transaction.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSet>
#include <QTcpServer>

#include <functional>
#include <memory>

namespace taurelin {
namespace {

bool Until(const std::function<bool()>& done, int ms = 20000) {
  QDeadlineTimer deadline(ms);
  while (!done() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return done();
}

// The courier on each backend (true: PostgreSQL), with mails written as a booking writes them.
class MailCourierTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      if (!PostgresTestDatabase::Available()) GTEST_SKIP() << PostgresTestDatabase::kSkip;
      postgres_ = std::make_unique<PostgresTestDatabase>();
    } else {
      sqlite_ = std::make_unique<TestDatabase>();
    }
    QString error;
    ASSERT_TRUE(connection_.open(alias(), &error)) << error.toStdString();
  }

  DatabaseAlias alias() const { return postgres_ ? postgres_->alias() : sqlite_->alias(); }

  // Writes `count` mails, one to each of guest0@..., as one change.
  QStringList Write(int count, const QString& domain = QStringLiteral("example.no")) {
    QStringList ids;
    WriteTransaction transaction(connection_);
    for (int i = 0; i < count; ++i) {
      const QString id = MailOutbox::NewId();
      MailContent content;
      content.from = {QStringLiteral("Fjellstua"), QStringLiteral("booking@fjellstua.example")};
      content.to = {{QStringLiteral("Gjest %1").arg(i),
                     QStringLiteral("guest%1@%2").arg(i).arg(domain)}};
      content.subject = QStringLiteral("Bekreftelse på bestilling %1").arg(1000 + i);
      content.text = QStringLiteral("Takk for bestillingen.\n");
      content.messageId = id + QStringLiteral("@fjellstua.example");
      content.date = QDateTime::currentDateTimeUtc();
      outbox_.Enqueue({QStringLiteral("booking-confirmed"), 1000 + i, content.to[0].address,
                       QStringLiteral("nb"), content.messageId, ComposeMail(content), {}},
                      QDateTime::currentDateTimeUtc(), 10, id);
      ids << id;
    }
    transaction.commit();
    return ids;
  }

  MailCourier::Settings Settings() const {
    MailCourier::Settings settings;
    settings.database = alias();
    settings.envelopeFrom = QStringLiteral("booking@fjellstua.example");
    settings.pollSeconds = 1;
    settings.firstPauseSeconds = 1;
    settings.batch = 5;
    return settings;
  }

  std::unique_ptr<TestDatabase> sqlite_;
  std::unique_ptr<PostgresTestDatabase> postgres_;
  Connection connection_{QStringLiteral("courier_test")};
  MailOutbox outbox_{connection_};
};

// The embedded default: each mail a file in the pickup folder, and the log names the domain
// alone.
TEST_P(MailCourierTest, MailsGoIntoThePickupFolderAndTheLogNamesOnlyTheirDomain) {
  QTemporaryDir pickup;
  MailCourier::Settings settings = Settings();
  settings.pickupFolder = pickup.filePath(QStringLiteral("mail"));
  MailCourier courier(settings);
  QStringList logged;
  QObject::connect(&courier, &MailCourier::logged, [&](const QString& line) { logged << line; });
  int waiting = -1;
  QObject::connect(&courier, &MailCourier::countsChanged, [&](int now, int) { waiting = now; });
  courier.start();
  const QStringList ids = Write(3);
  courier.wake();
  ASSERT_TRUE(Until([&] { return outbox_.Counts(QDateTime::currentDateTimeUtc()).sent == 3; }));
  courier.stop();
  for (const QString& id : ids) {
    QFile file(settings.pickupFolder + u'/' + id + QStringLiteral(".eml"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << id.toStdString();
    EXPECT_EQ(file.readAll(), outbox_.Find(id)->message);
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(waiting, 0);
  EXPECT_EQ(logged.filter(QStringLiteral("sent")).size(), 3) << logged.join(u'\n').toStdString();
  EXPECT_TRUE(logged.filter(QStringLiteral("guest0")).isEmpty());
  EXPECT_EQ(logged.filter(QStringLiteral("booking-confirmed of booking 1000 to a recipient at "
                                         "example.no")).size(), 1);
}

// The mail server is down, then back: every mail arrives once; one it refuses for good fails
// with its answer and stays in the outbox.
TEST_P(MailCourierTest, AServerDownThenBackGetsEveryMailOnceAndARefusalFails) {
  if (TestSmtpServer::Python().isEmpty()) GTEST_SKIP() << "no python3 with aiosmtpd";
  int port = 0;
  {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    port = probe.serverPort();
  }
  MailCourier::Settings settings = Settings();
  SmtpSettings smtp;
  smtp.url = QUrl(QStringLiteral("smtp://127.0.0.1:%1").arg(port));
  smtp.timeoutSeconds = 5;
  settings.smtp = smtp;
  MailCourier courier(settings);
  courier.start();
  Write(4);
  courier.wake();
  // Refused: nothing listens yet; each mail waits with the reason.
  ASSERT_TRUE(Until([&] {
    const QList<OutboxMail> mails = outbox_.List(MailState::kWaiting, 10);
    return mails.size() == 4 && !mails[0].answer.isEmpty();
  }));
  TestSmtpServer server;
  ASSERT_TRUE(server.start({QStringLiteral("--port"), QString::number(port),
                            QStringLiteral("--reject"), QStringLiteral("guest2@example.no")})
                  .isEmpty());
  ASSERT_TRUE(Until([&] {
    const OutboxCounts counts = outbox_.Counts(QDateTime::currentDateTimeUtc());
    return counts.sent == 3 && counts.failed == 1;
  }));
  courier.stop();
  QSet<QByteArray> ids;
  for (const TestSmtpServer::Received& received : server.received()) {
    const QByteArray headers = received.message.toLower();
    const qsizetype at = headers.indexOf("message-id: <");
    ASSERT_GE(at, 0);
    ids.insert(headers.mid(at, headers.indexOf('>', at) - at));
  }
  EXPECT_EQ(server.received().size(), 3);
  EXPECT_EQ(ids.size(), 3);
  const OutboxMail refused = outbox_.List(MailState::kFailed, 10).value(0);
  EXPECT_EQ(refused.recipient, "guest2@example.no");
  EXPECT_TRUE(refused.answer.startsWith(u"550")) << refused.answer.toStdString();
  EXPECT_FALSE(outbox_.Find(refused.id)->message.isEmpty());  // kept, with its reason
}

// Two servers send from one outbox: 200 mails, each received exactly once.
TEST_P(MailCourierTest, TwoCouriersOnOneOutboxSendEachMailOnce) {
  if (TestSmtpServer::Python().isEmpty()) GTEST_SKIP() << "no python3 with aiosmtpd";
  TestSmtpServer server;
  ASSERT_TRUE(server.start({}).isEmpty());
  MailCourier::Settings settings = Settings();
  SmtpSettings smtp;
  smtp.url = server.url();
  settings.smtp = smtp;
  Write(200);
  MailCourier one(settings);
  MailCourier two(settings);
  one.start();
  two.start();
  ASSERT_TRUE(Until([&] { return outbox_.Counts(QDateTime::currentDateTimeUtc()).sent == 200; },
                    120000));
  one.stop();
  two.stop();
  QSet<QByteArray> recipients;
  for (const TestSmtpServer::Received& received : server.received()) {
    const QJsonValue to = received.envelope[QStringLiteral("to")];
    recipients.insert(to.toVariant().toStringList().join(u',').toUtf8());
  }
  EXPECT_EQ(server.received().size(), 200);
  EXPECT_EQ(recipients.size(), 200);
}

INSTANTIATE_TEST_SUITE_P(Backends, MailCourierTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Postgres" : "Sqlite"; });

}  // namespace
}  // namespace taurelin

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
