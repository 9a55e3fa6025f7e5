#include "store/mail_outbox.h"

#include "store/connection.h"
#include "store/database_error.h"
#include "store/postgres/postgres_test_database.h"
#include "store/test_database.h"
#include "store/write_transaction.h"

#include <gtest/gtest.h>

#include <QSet>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace taurelin {
namespace {

const QDateTime kNow = QDateTime(QDate(2030, 1, 1), QTime(12, 0), Qt::UTC);

// The outbox on a fresh database of each backend (true: PostgreSQL).
class MailOutboxTest : public ::testing::TestWithParam<bool> {
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

  QString Write(const QString& recipient, std::optional<qint64> refnr = 1001,
                const QDateTime& now = kNow, int perHour = 10, bool once = false) {
    WriteTransaction transaction(connection_);
    NewMail mail{QStringLiteral("booking-confirmed"), refnr, recipient, QStringLiteral("nb"),
                 QStringLiteral("m@test"), QByteArray("Subject: x\r\n\r\n\xC3\xA6\x00\xFF", 16),
                 {}};
    mail.once = once;
    const QString id = outbox_.Enqueue(mail, now, perHour);
    transaction.commit();
    return id;
  }

  std::unique_ptr<TestDatabase> sqlite_;
  std::unique_ptr<PostgresTestDatabase> postgres_;
  Connection connection_{QStringLiteral("outbox_test")};
  MailOutbox outbox_{connection_};
};

TEST_P(MailOutboxTest, AMailGoesWithItsTransactionAndWaitsUntilClaimed) {
  EXPECT_THROW(outbox_.Enqueue({QStringLiteral("test"), std::nullopt, QStringLiteral("a@b.no"),
                                QStringLiteral("nb"), QStringLiteral("m"), "x", {}},
                               kNow, 10),
               DatabaseError);  // only with a change
  {
    WriteTransaction transaction(connection_);
    outbox_.Enqueue({QStringLiteral("test"), std::nullopt, QStringLiteral("a@b.no"),
                     QStringLiteral("nb"), QStringLiteral("m"), "x", {}},
                    kNow, 10);
  }  // rolled back: no mail
  EXPECT_EQ(outbox_.Counts(kNow).waiting, 0);

  const QString id = Write(QStringLiteral("kari@example.no"));
  EXPECT_EQ(outbox_.Counts(kNow.addSecs(30)).waiting, 1);
  EXPECT_EQ(outbox_.Counts(kNow.addSecs(30)).oldestWaitingSeconds, 30);
  const QList<OutboxMail> claimed = outbox_.Claim(kNow, 10, 600);
  ASSERT_EQ(claimed.size(), 1);
  EXPECT_EQ(claimed[0].id, id);
  EXPECT_EQ(claimed[0].message, QByteArray("Subject: x\r\n\r\n\xC3\xA6\x00\xFF", 16));
  EXPECT_EQ(claimed[0].attempts, 1);
  EXPECT_EQ(claimed[0].state, MailState::kSending);
  EXPECT_TRUE(outbox_.Claim(kNow, 10, 600).isEmpty());  // claimed already

  // A temporary failure: due again later, not before.
  outbox_.TryAgain(claimed[0], kNow.addSecs(60), QStringLiteral("451 try later"));
  EXPECT_TRUE(outbox_.Claim(kNow.addSecs(59), 10, 600).isEmpty());
  const QList<OutboxMail> again = outbox_.Claim(kNow.addSecs(60), 10, 600);
  ASSERT_EQ(again.size(), 1);
  EXPECT_EQ(again[0].attempts, 2);
  outbox_.Sent(again[0], kNow.addSecs(61), QStringLiteral("250 ok"));
  const OutboxMail sent = *outbox_.Find(id);
  EXPECT_EQ(sent.state, MailState::kSent);
  EXPECT_EQ(sent.answer, QStringLiteral("250 ok"));
  EXPECT_EQ(sent.sent, kNow.addSecs(61));
  EXPECT_EQ(outbox_.Counts(kNow.addSecs(61)).sent, 1);

  // Kept no longer than needed: the message goes, the record stays.
  EXPECT_EQ(outbox_.EraseSent(kNow.addSecs(61)), 0);
  EXPECT_EQ(outbox_.EraseSent(kNow.addDays(30)), 1);
  EXPECT_TRUE(outbox_.Find(id)->message.isEmpty());
  EXPECT_EQ(outbox_.List(MailState::kSent, 10).size(), 1);
}

TEST_P(MailOutboxTest, AClaimThatRanOutIsTakenOverAndTheLateServerChangesNothing) {
  const QString id = Write(QStringLiteral("kari@example.no"));
  const OutboxMail first = outbox_.Claim(kNow, 10, 60).value(0);
  ASSERT_EQ(first.id, id);
  EXPECT_TRUE(outbox_.Claim(kNow.addSecs(60), 10, 60).isEmpty());
  const OutboxMail second = outbox_.Claim(kNow.addSecs(61), 10, 60).value(0);
  ASSERT_EQ(second.id, id);
  outbox_.Failed(first, kNow.addSecs(62), QStringLiteral("too late"));  // not its claim now
  outbox_.Release(first);
  EXPECT_EQ(outbox_.Find(id)->state, MailState::kSending);
  EXPECT_EQ(outbox_.Find(id)->attempts, 2);
  outbox_.Failed(second, kNow.addSecs(62), QStringLiteral("550 no such user"));
  EXPECT_EQ(outbox_.Find(id)->state, MailState::kFailed);
  EXPECT_EQ(outbox_.Counts(kNow.addSecs(62)).failedLastDay, 1);
  EXPECT_EQ(outbox_.List(MailState::kFailed, 10).value(0).answer, "550 no such user");
  EXPECT_TRUE(outbox_.Retry(id, kNow.addSecs(100)));
  EXPECT_FALSE(outbox_.Retry(id, kNow.addSecs(100)));  // waiting now, no failed mail
  // A claimed mail not tried (a stop came first) waits again as before, its attempt given back.
  const OutboxMail untried = outbox_.Claim(kNow.addSecs(100), 10, 60).value(0);
  ASSERT_EQ(untried.id, id);
  outbox_.Release(untried);
  EXPECT_EQ(outbox_.Find(id)->state, MailState::kWaiting);
  EXPECT_EQ(outbox_.Find(id)->attempts, untried.attempts - 1);
  EXPECT_EQ(outbox_.Claim(kNow.addSecs(100), 10, 60).size(), 1);
}

TEST_P(MailOutboxTest, OneAddressGetsAtMostSoManyMailsOfABookingAnHour) {
  for (int i = 0; i < 12; ++i) Write(QStringLiteral("kari@example.no"), 1001, kNow.addSecs(i));
  Write(QStringLiteral("ola@example.no"), 1001, kNow.addSecs(12));   // another address
  Write(QStringLiteral("kari@example.no"), 1002, kNow.addSecs(13));  // another booking
  const QList<OutboxMail> first = outbox_.Claim(kNow.addSecs(60), 100, 600);
  EXPECT_EQ(first.size(), 12);
  EXPECT_EQ(outbox_.Counts(kNow.addSecs(60)).waiting, 14);  // the claimed count as waiting
  for (const OutboxMail& mail : first) outbox_.Sent(mail, kNow.addSecs(60), QStringLiteral("250"));
  EXPECT_TRUE(outbox_.Claim(kNow.addSecs(3599), 100, 60).isEmpty());
  EXPECT_EQ(outbox_.Claim(kNow.addSecs(3611), 100, 60).size(), 2);
}

// A mail its booking calls for once follows at most the request to confirm: a limit of one
// mail an hour holds it back for the hour, a larger one never does.
TEST_P(MailOutboxTest, AMailCalledForOnceWaitsOnlyUnderALimitOfOne) {
  Write(QStringLiteral("kari@example.no"), 1003, kNow, 1);
  Write(QStringLiteral("kari@example.no"), 1003, kNow.addSecs(1), 1, true);
  Write(QStringLiteral("ola@example.no"), 1004, kNow, 10);
  Write(QStringLiteral("ola@example.no"), 1004, kNow.addSecs(1), 10, true);
  const QList<OutboxMail> first = outbox_.Claim(kNow.addSecs(60), 100, 60);
  EXPECT_EQ(first.size(), 3);
  for (const OutboxMail& mail : first) outbox_.Sent(mail, kNow.addSecs(60), QStringLiteral("250"));
  EXPECT_TRUE(outbox_.Claim(kNow.addSecs(3599), 100, 60).isEmpty());
  const QList<OutboxMail> held = outbox_.Claim(kNow.addSecs(3600), 100, 60);
  ASSERT_EQ(held.size(), 1);
  EXPECT_EQ(held.first().recipient, QStringLiteral("kari@example.no"));
}

// Two servers sending from one outbox: every mail is claimed by exactly one of them. Half the
// mails are written while they claim: each leaves the intake once, and none is lost on the way.
TEST_P(MailOutboxTest, TwoServersNeverClaimOneMailTwice) {
  for (int i = 0; i < 100; ++i) {
    Write(QStringLiteral("guest%1@example.no").arg(i), 2000 + i);
  }
  QSet<QString> a, b;
  std::atomic<int> sent{0};
  std::mutex failed;
  QString failure;
  const auto fail = [&](const std::exception& e) {
    std::lock_guard<std::mutex> lock(failed);
    failure = QString::fromUtf8(e.what());
  };
  auto server = [&](const QString& name, QSet<QString>* mine) {
    try {
      Connection connection(name);
      QString error;
      if (!connection.open(alias(), &error)) throw DatabaseError(error);
      MailOutbox outbox(connection);
      for (int round = 0; round < 4000 && sent < 200; ++round) {
        const QList<OutboxMail> claimed = outbox.Claim(kNow, 3, 600);
        for (const OutboxMail& mail : claimed) {
          mine->insert(mail.id);
          outbox.Sent(mail, kNow, QStringLiteral("250"));
          ++sent;
        }
      }
    } catch (const std::exception& e) {
      fail(e);
    }
  };
  auto writer = [&] {
    try {
      Connection connection(QStringLiteral("writer"));
      QString error;
      if (!connection.open(alias(), &error)) throw DatabaseError(error);
      MailOutbox outbox(connection);
      for (int i = 100; i < 200; ++i) {
        WriteTransaction transaction(connection);
        outbox.Enqueue({QStringLiteral("booking-confirmed"), 2000 + i,
                        QStringLiteral("guest%1@example.no").arg(i), QStringLiteral("nb"),
                        QStringLiteral("m@test"), "x", {}},
                       kNow, 10);
        transaction.commit();
      }
    } catch (const std::exception& e) {
      fail(e);
    }
  };
  std::thread one(server, QStringLiteral("server-a"), &a);
  std::thread two(server, QStringLiteral("server-b"), &b);
  std::thread three(writer);
  one.join();
  two.join();
  three.join();
  EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
  EXPECT_EQ(a.size() + b.size(), 200);
  EXPECT_TRUE(QSet<QString>(a).intersect(b).isEmpty());
  const OutboxCounts counts = outbox_.Counts(kNow);
  EXPECT_EQ(counts.sent, 200);
  EXPECT_EQ(counts.waiting, 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, MailOutboxTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Postgres" : "Sqlite"; });

}  // namespace
}  // namespace taurelin
