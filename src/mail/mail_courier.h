#pragma once

// Delivers the outbox's mails beside the event loop: a thread of its own, with a database
// connection of its own, claims the mails that are due, hands each to the mail server (or,
// without one, to the pickup folder) and settles it: sent; tried again after a pause that
// grows from a minute, doubling, to an hour, while the mail is younger than `retryHours`; or
// failed at once when the mail server refuses it for good. The message of a mail sent more
// than `keepDays` ago is erased; its row stays as the record that it was sent.
//
// Promises: nothing here runs on the event loop, so no request waits for a mail server; every
// mail is claimed before it is sent and settled under its own claim (several servers on one
// database never send one mail twice, and a killed server's claims run out and are taken
// over, and a mail is sent only while its claim outlasts the delivery's time-outs); what
// became of a batch's mails is written together, once the batch is through or a second after
// its first mail (so a server killed before that may send those mails again); the thread
// looks `gatherMs` after it is woken (a mail was written), so that mails written close
// together go out in one round, else every `pollSeconds`; after each mail it rests three
// times as long as the mail took (at most 20 ms), so mails going out keep the machine busy at
// most a quarter of the time; stop() ends the mail under way first, with its time-outs, gives
// the batch's others back and joins the thread.

#include "mail/mail_delivery.h"
#include "store/alias_list.h"
#include "store/mail_outbox.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace taurelin {

class Connection;

class MailCourier : public QObject {
  Q_OBJECT

 public:
  struct Settings {
    DatabaseAlias database;
    std::optional<SmtpSettings> smtp;  // none: the pickup folder
    QString pickupFolder;
    QString envelopeFrom;
    int retryHours = 48;
    int keepDays = 30;
    int claimSeconds = 600;  // longer than any delivery's time-outs
    int pollSeconds = 30;
    // How long after a wake the courier looks: a round's claim and settlement are commits,
    // and each commit makes the server's readers look afresh.
    int gatherMs = 1000;
    int batch = 20;          // mails claimed at first; more while they go fast
    int firstPauseSeconds = 60;  // before the second attempt; doubled after each, to an hour
    // The message of a row's kept mail (called on the courier's thread; throws MailError when
    // it cannot be written); none: MessageOfKept.
    std::function<QByteArray(const QByteArray&)> messageOf;
  };

  explicit MailCourier(Settings settings, QObject* parent = nullptr);
  ~MailCourier() override;

  void start();
  void stop();
  // A mail was written: look now, not at the next poll.
  void wake();

  // The pause before the next attempt of a mail tried `attempts` times: `first`, doubled
  // after each further attempt, at most an hour.
  static qint64 PauseSeconds(int attempts, int first = 60);

 Q_SIGNALS:
  // From the courier's thread, received on the event loop: a line for the day log (a mail's
  // event, reference number and recipient's domain, never its body), and the outbox's counts
  // when they changed.
  void logged(const QString& line);
  void countsChanged(int waiting, int failedLastDay);

 private:
  // What became of a claimed mail, to be written under its claim, and the day log's line.
  struct Settlement {
    enum class Kind { kSent, kAgain, kFailed, kRelease };
    OutboxMail mail;
    Kind kind;
    QDateTime at;  // when it was sent or failed, or when to try it again
    QString answer;
    QString log;
  };

  void run();
  Settlement deliver(const OutboxMail& mail);
  bool stopping();
  // Rests after a mail that took `tookMicros` (see Promises); a stop ends the rest.
  void rest(qint64 tookMicros);
  // Whether `mail`'s claim lasts long enough for a delivery to end within it.
  bool timeLeftToSend(const OutboxMail& mail) const;
  // The size of the next claim, after `tried` mails took `elapsedMs`.
  int nextBatch(qint64 elapsedMs, int tried) const;
  // Writes what became of `settled` in one transaction, then logs it; empties it.
  void settle(Connection& connection, MailOutbox& outbox, QList<Settlement>& settled);

  Settings settings_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable woken_;
  bool wake_ = false;
  bool stop_ = false;
};

}  // namespace taurelin
