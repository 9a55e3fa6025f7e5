#include "mail/mail_courier.h"

#include "mail/kept_mail.h"
#include "store/connection.h"
#include "store/database_error.h"
#include "store/write_transaction.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <chrono>

#include <sys/resource.h>
#include <unistd.h>

namespace taurelin {
namespace {

// How much delivery yields to the rest of the server (nice, 0 to 19).
constexpr int kCourierNiceness = 10;
// How long the courier's connection stays open with nothing to deliver.
constexpr int kIdleSeconds = 5;
// The most mails claimed at once, however fast they go.
constexpr qint64 kLargestBatch = 500;
// After a mail, the courier rests this many times as long as the mail took, at most the
// longest rest: while mails go out the machine is kept busy by them (the courier, and a mail
// server on this machine) at most a quarter of the time, and a distant mail server, whose
// answers take long without costing this machine anything, is slowed little.
constexpr qint64 kRestPerWork = 3;
constexpr qint64 kLongestRestMicros = 20000;

// Where a mail went, for the log: the domain alone.
QString Domain(const QString& address) {
  const qsizetype at = address.lastIndexOf(u'@');
  return at < 0 ? QStringLiteral("?") : address.mid(at + 1);
}

QString About(const OutboxMail& mail) {
  return QStringLiteral("%1%2 to a recipient at %3")
      .arg(mail.event,
           mail.refnr ? QStringLiteral(" of booking %1").arg(*mail.refnr) : QString(),
           Domain(mail.recipient));
}

}  // namespace

MailCourier::MailCourier(Settings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)) {}

MailCourier::~MailCourier() { stop(); }

qint64 MailCourier::PauseSeconds(int attempts, int first) {
  qint64 pause = first;
  for (int i = 1; i < attempts && pause < 3600; ++i) pause *= 2;
  return std::min<qint64>(pause, 3600);
}

void MailCourier::start() {
  if (thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = false;
    wake_ = true;
  }
  thread_ = std::thread([this] { run(); });
}

void MailCourier::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  woken_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void MailCourier::wake() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // Woken already: the round to come takes this mail too. Waking the thread again for
    // nothing, on every booking while it gathers, cost each booking a tenth of a millisecond.
    if (wake_) return;
    wake_ = true;
  }
  woken_.notify_all();
}

void MailCourier::run() {
  // Below the event loop in the scheduler's eyes: on a machine of two cores, a thousand
  // mails going out must not take the core a request is waiting for.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kCourierNiceness);
  // A connection's name is unique in the process (a test runs two couriers).
  static std::atomic<int> couriers{0};
  Connection connection(QStringLiteral("mail-courier-%1").arg(++couriers));
  bool intake = true;  // found out at each opening
  std::optional<OutboxCounts> told;
  QDateTime erased;
  bool open = false;
  int batch = settings_.batch;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // While mails follow one another the connection stays open; a few seconds idle and it
      // is closed (in this thread: a Qt connection belongs to its thread), so that between
      // bursts no session waits to end unseen in an outage.
      const bool woken = woken_.wait_for(
          lock, std::chrono::seconds(open ? kIdleSeconds : settings_.pollSeconds),
          [this] { return wake_ || stop_; });
      if (stop_) break;
      if (!woken && open) {
        connection.close();
        open = false;
        continue;
      }
      if (woken && settings_.gatherMs > 0) {
        woken_.wait_for(lock, std::chrono::milliseconds(settings_.gatherMs),
                        [this] { return stop_; });
        if (stop_) break;
      }
      wake_ = false;  // what was written meanwhile, this round takes
    }
    try {
      QString error;
      if (!open && !connection.open(settings_.database, &error, false)) {
        throw DatabaseError(error, DatabaseError::Cause::kConnection);
      }
      if (!open) intake = MailOutbox::HasIntake(connection);
      open = true;
      MailOutbox outbox(connection, intake);
      // Claimed a batch at a time, as large as goes out well within its claim; what became of
      // the batch's mails is written in one transaction after it (or after a second, for a
      // slow mail server), as every commit makes the server's readers look afresh. A stop,
      // or a claim running short, gives the mails not tried yet back.
      for (;;) {
        const QList<OutboxMail> claimed =
            outbox.Claim(QDateTime::currentDateTimeUtc(), batch, settings_.claimSeconds);
        QList<Settlement> settled;
        QDeadlineTimer due;
        QElapsedTimer took;
        took.start();
        int tried = 0;
        for (const OutboxMail& mail : claimed) {
          if (settled.isEmpty()) due.setRemainingTime(1000);
          if (stopping() || !timeLeftToSend(mail)) {
            settled << Settlement{mail, Settlement::Kind::kRelease, {}, {}, {}};
            continue;
          }
          QElapsedTimer sending;
          sending.start();
          settled << deliver(mail);
          ++tried;
          rest(sending.nsecsElapsed() / 1000);
          if (due.hasExpired()) settle(connection, outbox, settled);
        }
        settle(connection, outbox, settled);
        const int asked = batch;
        if (tried > 0) batch = nextBatch(took.elapsed(), tried);
        std::lock_guard<std::mutex> lock(mutex_);
        if (claimed.size() < asked || tried == 0 || stop_) break;
      }
      const QDateTime now = QDateTime::currentDateTimeUtc();
      if (!erased.isValid() || erased.secsTo(now) >= 3600) {
        outbox.EraseSent(now.addDays(-settings_.keepDays));
        erased = now;
      }
      const OutboxCounts counts = outbox.Counts(now);
      if (!told || told->waiting != counts.waiting ||
          told->failedLastDay != counts.failedLastDay) {
        told = counts;
        Q_EMIT countsChanged(counts.waiting, static_cast<int>(counts.failedLastDay));
      }
    } catch (const DatabaseError& failure) {
      // The outbox keeps every mail: the next round tries again, on a connection anew.
      Q_EMIT logged(QStringLiteral("Mail: the outbox could not be read: ") +
                    QString::fromUtf8(failure.what()));
      connection.close();
      open = false;
    }
  }
  connection.close();
}

void MailCourier::settle(Connection& connection, MailOutbox& outbox,
                         QList<Settlement>& settled) {
  if (settled.isEmpty()) return;
  WriteTransaction transaction(connection);
  for (const Settlement& mail : settled) {
    switch (mail.kind) {
      case Settlement::Kind::kSent:
        outbox.Sent(mail.mail, mail.at, mail.answer);
        break;
      case Settlement::Kind::kAgain:
        outbox.TryAgain(mail.mail, mail.at, mail.answer);
        break;
      case Settlement::Kind::kFailed:
        outbox.Failed(mail.mail, mail.at, mail.answer);
        break;
      case Settlement::Kind::kRelease:
        outbox.Release(mail.mail);
        break;
    }
  }
  transaction.commit();
  for (const Settlement& mail : settled) {
    if (!mail.log.isEmpty()) Q_EMIT logged(mail.log);
  }
  settled.clear();
}

bool MailCourier::stopping() {
  std::lock_guard<std::mutex> lock(mutex_);
  return stop_;
}

void MailCourier::rest(qint64 tookMicros) {
  const qint64 micros = std::min(tookMicros * kRestPerWork, kLongestRestMicros);
  if (micros <= 0) return;
  std::unique_lock<std::mutex> lock(mutex_);
  woken_.wait_for(lock, std::chrono::microseconds(micros), [this] { return stop_; });
}

bool MailCourier::timeLeftToSend(const OutboxMail& mail) const {
  // The longest a delivery may take, with room to settle it: a mail is sent only while its
  // claim outlasts that, so no other server can claim it meanwhile.
  const int longest = (settings_.smtp ? settings_.smtp->timeoutSeconds : 10) + 30;
  return QDateTime::currentDateTimeUtc().secsTo(mail.claimedUntil) > longest;
}

int MailCourier::nextBatch(qint64 elapsedMs, int tried) const {
  // A quarter of a claim's time, at the pace the last batch went.
  const qint64 perMail = std::max<qint64>(1, elapsedMs / tried);
  const qint64 fits = qint64{settings_.claimSeconds} * 1000 / 4 / perMail;
  return static_cast<int>(std::clamp<qint64>(fits, settings_.batch, kLargestBatch));
}

MailCourier::Settlement MailCourier::deliver(const OutboxMail& mail) {
  using Kind = Settlement::Kind;
  QByteArray message;
  try {
    message = settings_.messageOf ? settings_.messageOf(mail.message)
                                  : MessageOfKept(mail.message);
  } catch (const MailError& error) {
    // Ours to mend (an address, a stay): kept as failed, with the reason, for the operator.
    const QString reason = QStringLiteral("not composed: ") + QString::fromUtf8(error.what());
    return {mail, Kind::kFailed, QDateTime::currentDateTimeUtc(), reason,
            QStringLiteral("Mail: %1 failed: %2").arg(About(mail), reason)};
  }
  const DeliveryOutcome outcome =
      settings_.smtp ? SendBySmtp(*settings_.smtp, settings_.envelopeFrom, {mail.recipient},
                                  message)
                     : DropInFolder(settings_.pickupFolder, mail.id, message);
  const QDateTime now = QDateTime::currentDateTimeUtc();
  switch (outcome.kind) {
    case DeliveryOutcome::Kind::kDelivered:
      return {mail, Kind::kSent, now, outcome.answer,
              QStringLiteral("Mail: %1 sent (%2)").arg(About(mail), outcome.answer)};
    case DeliveryOutcome::Kind::kTemporary: {
      const QDateTime next =
          now.addSecs(PauseSeconds(mail.attempts, settings_.firstPauseSeconds));
      if (mail.created.secsTo(next) > qint64{settings_.retryHours} * 3600) {
        const QString reason = QStringLiteral("given up after %1 h: %2")
                                   .arg(settings_.retryHours)
                                   .arg(outcome.answer);
        return {mail, Kind::kFailed, now, reason,
                QStringLiteral("Mail: %1 failed: %2").arg(About(mail), reason)};
      }
      return {mail, Kind::kAgain, next, outcome.answer,
              QStringLiteral("Mail: %1 not sent yet, tried again at %2: %3")
                  .arg(About(mail), next.toString(Qt::ISODate), outcome.answer)};
    }
    case DeliveryOutcome::Kind::kPermanent:
      break;
  }
  return {mail, Kind::kFailed, now, outcome.answer,
          QStringLiteral("Mail: %1 failed: %2").arg(About(mail), outcome.answer)};
}

}  // namespace taurelin
