#pragma once

// The server's booking mails, built from its configuration: the templates, the booking mails
// that requests write into the outbox (BookingEvents), and the courier that delivers them
// beside the event loop, to the mail server or the pickup folder.
//
// Promises: start-up refuses (ConfigurationError) a template folder that is missing or
// broken, naming it and the file, and never falls back to the shipped templates instead of a
// business's own; an address in the settings that is none; a default or business language
// the templates lack; SMTP settings that cannot be used. The status line ("Mail: 3 waiting,
// 1 failed") is told whenever it changes; the courier runs until stop().

#include "mail/booking_mails.h"
#include "mail/mail_courier.h"
#include "server/configuration.h"
#include "store/alias_list.h"

#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

namespace taurelin {

class Connection;

class MailService : public QObject {
  Q_OBJECT

 public:
  struct Hooks {
    std::function<void(const QString&)> log;
    std::function<void(const QString&)> tell;
    std::function<void(const QString&)> status;  // the status line when it changes
  };

  // `codeFor` gives a booking's code (empty when there is no booking page); `workingFolder`
  // is where a relative pickup folder lies. Throws ConfigurationError.
  MailService(const MailConfiguration& configuration, const DatabaseAlias& database,
              const QString& workingFolder, std::function<QString(qint64)> codeFor, Hooks hooks,
              QObject* parent = nullptr);
  ~MailService() override;

  // `session` (may be null): the connection the hourly reminders are written on.
  void start(Connection* session = nullptr);
  void stop();

  // What requests tell of the changes they make (the mails they call for).
  BookingEvents* events() { return mails_.get(); }
  BookingMails& mails() { return *mails_; }

  // The outbox's lines of /metrics, and why /health is degraded (a mail waiting too long, a
  // mail failed in the last day), read on `session`.
  QByteArray metrics(Connection& session) const;
  QStringList problems(Connection& session) const;
  // GET /api/v1/mail: the outbox's mails in `state` (empty: all), newest first, at most 500.
  // Throws DatabaseError.
  QJsonObject list(Connection& session, const QString& state) const;
  // POST /api/v1/mail/{id}/retry: a failed mail waits again and the courier looks at once;
  // false when it is no failed mail, nothing when there is none. Throws DatabaseError.
  std::optional<bool> retry(Connection& session, const QString& id);

  // Writes the reminders that are due today, each in a transaction of its own, on `session`;
  // how many. Runs by itself every hour once started with a session.
  int remindDue(Connection& session);

  // Sends the test mail to `address` at once, by the road the mails take (the mail server,
  // or the pickup folder), past the outbox: what the mail server answered.
  DeliveryOutcome sendTest(const QString& address);

  // The folder the shipped templates are in.
  static QString ShippedTemplates();

 private:
  MailConfiguration configuration_;
  Hooks hooks_;
  bool bookingPage_;  // the HTTP face serves the booking page, which the mails link to
  std::unique_ptr<BookingMails> mails_;
  MailCourier::Settings courierSettings_;
  std::unique_ptr<MailCourier> courier_;
  QTimer reminders_;
  bool intake_ = true;  // the database has the outbox's intake
};

// "Name <address>" or a bare address; nothing when it is no address.
std::optional<MailAddress> ParseMailbox(const QString& text);

// The status line of the outbox: "Mail: none waiting", "Mail: 3 waiting, 1 failed".
QString MailStatusText(int waiting, int failedLastDay);

}  // namespace taurelin
