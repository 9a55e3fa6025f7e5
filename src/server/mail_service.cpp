#include "server/mail_service.h"

#include "mail/compose_mail.h"
#include "mail/mail_address.h"
#include "store/database_error.h"
#include "store/mail_outbox.h"
#include "store/write_transaction.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QLocale>
#include <QRegularExpression>

namespace taurelin {
namespace {

// The most mails one list holds: the newest.
constexpr int kMostListed = 500;

[[noreturn]] void Refuse(const QString& why) { throw ConfigurationError(why); }

MailAddress Mailbox(const char* key, const QString& text) {
  const std::optional<MailAddress> mailbox = ParseMailbox(text);
  if (!mailbox) {
    Refuse(QStringLiteral("%1 \"%2\" is no e-mail address").arg(QLatin1String(key), text));
  }
  return *mailbox;
}

}  // namespace

std::optional<MailAddress> ParseMailbox(const QString& text) {
  static const QRegularExpression kNamed(QStringLiteral("^\\s*(.*?)\\s*<([^<>]+)>\\s*$"));
  const QRegularExpressionMatch named = kNamed.match(text);
  MailAddress mailbox;
  if (named.hasMatch()) {
    mailbox.name = named.captured(1);
    if (mailbox.name.size() >= 2 && mailbox.name.startsWith(u'"') && mailbox.name.endsWith(u'"')) {
      mailbox.name = mailbox.name.mid(1, mailbox.name.size() - 2);
    }
    mailbox.address = named.captured(2).trimmed();
  } else {
    mailbox.address = text.trimmed();
  }
  if (!IsMailAddress(mailbox.address)) return std::nullopt;
  return mailbox;
}

QString MailStatusText(int waiting, int failedLastDay) {
  QString text = waiting == 0 ? QStringLiteral("Mail: none waiting")
                              : QStringLiteral("Mail: %1 waiting").arg(waiting);
  if (failedLastDay > 0) text += QStringLiteral(", %1 failed").arg(failedLastDay);
  return text;
}

QString MailService::ShippedTemplates() {
  // Installed beside the program's data; in a build tree, the source's folder.
  const QString installed = QStringLiteral(TAURELIN_MAIL_TEMPLATES_INSTALLED);
  if (QFileInfo(installed).isDir()) return installed;
  return QStringLiteral(TAURELIN_MAIL_TEMPLATES_SOURCE);
}

MailService::MailService(const MailConfiguration& configuration, const DatabaseAlias& database,
                         const QString& workingFolder, std::function<QString(qint64)> codeFor,
                         Hooks hooks, QObject* parent)
    : QObject(parent),
      configuration_(configuration),
      hooks_(std::move(hooks)),
      bookingPage_(static_cast<bool>(codeFor)) {
  BookingMailSettings settings;
  const QString folder =
      configuration.templates.isEmpty() ? ShippedTemplates() : configuration.templates;
  try {
    settings.templates = MailTemplates::Load(folder);
  } catch (const MailTemplateError& error) {
    Refuse(QStringLiteral("the mail templates in %1 cannot be used: %2")
               .arg(folder, QString::fromUtf8(error.what())));
  }
  for (const auto& [key, language] :
       {std::pair{"MailDefaultLanguage", configuration.defaultLanguage},
        std::pair{"MailBusinessLanguage", configuration.businessLanguage}}) {
    if (!settings.templates.languages().contains(language.toLower())) {
      Refuse(QStringLiteral("%1 is %2, but the mail templates in %3 have only %4")
                 .arg(QLatin1String(key), language, folder,
                      settings.templates.languages().join(QStringLiteral(", "))));
    }
  }
  settings.from = Mailbox("MailFrom", configuration.from);
  if (!configuration.replyTo.isEmpty()) {
    settings.replyTo = Mailbox("MailReplyTo", configuration.replyTo);
  }
  if (!configuration.businessAddress.isEmpty()) {
    settings.businessAddress =
        Mailbox("MailBusinessAddress", configuration.businessAddress).address;
  }
  settings.businessLanguage = configuration.businessLanguage.toLower();
  settings.defaultLanguage = configuration.defaultLanguage.toLower();
  settings.publicUrl = configuration.publicUrl;
  settings.contact = configuration.contact;
  settings.perBookingPerHour = configuration.perBookingPerHour;

  MailCourier::Settings courier;
  courier.database = database;
  courier.envelopeFrom = settings.from.address;
  courier.retryHours = configuration.retryHours;
  courier.keepDays = configuration.keepDays;
  if (configuration.smtpUrl.isEmpty()) {
    courier.pickupFolder = QDir(workingFolder).absoluteFilePath(configuration.pickupDir);
  } else {
    SmtpSettings smtp;
    smtp.url = QUrl(configuration.smtpUrl);
    smtp.user = configuration.smtpUser;
    smtp.passwordFile = configuration.smtpPasswordFile;
    const QString problem = CheckSmtpSettings(smtp);
    if (!problem.isEmpty()) Refuse(QStringLiteral("MailSmtpUrl: ") + problem);
    if (!smtp.user.isEmpty() && smtp.passwordFile.isEmpty()) {
      Refuse(QStringLiteral("MailSmtpUser is set without MailSmtpPasswordFile"));
    }
    courier.smtp = smtp;
  }

  mails_ = std::make_unique<BookingMails>(settings, std::move(codeFor), [this] {
    if (courier_) courier_->wake();
  });
  // A booking's mail is rendered when it goes out, on the courier's thread.
  courier.messageOf = [mails = mails_.get()](const QByteArray& kept) {
    return mails->MessageOf(kept);
  };
  courierSettings_ = courier;
  courier_ = std::make_unique<MailCourier>(courier, this);
  connect(courier_.get(), &MailCourier::logged, this, [this](const QString& line) {
    if (hooks_.log) hooks_.log(line);
  });
  connect(courier_.get(), &MailCourier::countsChanged, this, [this](int waiting, int failed) {
    if (hooks_.status) hooks_.status(MailStatusText(waiting, failed));
  });
}

MailService::~MailService() { stop(); }

DeliveryOutcome MailService::sendTest(const QString& address) {
  const BookingMailSettings& settings = mails_->settings();
  const QDateTime now = QDateTime::currentDateTimeUtc();
  const QLocale locale(settings.defaultLanguage.startsWith(u"nb")
                           ? QLocale(QLocale::NorwegianBokmal, QLocale::Norway)
                           : QLocale(QLocale::English, QLocale::UnitedKingdom));
  const RenderedMail rendered = settings.templates.render(
      MailEvent::kTest, settings.defaultLanguage,
      {{QStringLiteral("facility"),
        settings.from.name.isEmpty() ? settings.from.address : settings.from.name},
       {QStringLiteral("sent"), locale.toString(now.toLocalTime(), QLocale::LongFormat)}},
      settings.defaultLanguage);
  const QString id = MailOutbox::NewId();
  MailContent content;
  content.from = settings.from;
  content.replyTo = settings.replyTo;
  content.to = {{QString(), address}};
  content.subject = rendered.subject;
  content.text = rendered.text;
  content.html = rendered.html;
  content.messageId = id + u'@' + settings.from.address.section(u'@', -1);
  content.date = now;
  QByteArray message;
  try {
    message = ComposeMail(content);
  } catch (const MailError& error) {
    return {DeliveryOutcome::Kind::kPermanent, QString::fromUtf8(error.what())};
  }
  return courierSettings_.smtp
             ? SendBySmtp(*courierSettings_.smtp, settings.from.address, {address}, message)
             : DropInFolder(courierSettings_.pickupFolder, QStringLiteral("test-") + id,
                            message);
}

void MailService::start(Connection* session) {
  if (session != nullptr) {
    try {
      intake_ = MailOutbox::HasIntake(*session);
    } catch (const DatabaseError&) {
      // Not readable now: the intake is taken to be there, as on every upgraded database.
    }
    mails_->useIntake(intake_);
    if (!intake_ && hooks_.tell) {
      hooks_.tell(QStringLiteral("Mail: the database lacks the outbox's intake EPOST_NY "
                                 "(taurelin-db upgrade adds it): until then each mail goes "
                                 "straight into EPOST_UT, which makes a booking a little slower"));
    }
  }
  if (session != nullptr && configuration_.reminderDays > 0) {
    reminders_.setInterval(3600 * 1000);
    connect(&reminders_, &QTimer::timeout, this, [this, session] { remindDue(*session); });
    reminders_.start();
    // The first look soon after start, not an hour later.
    QTimer::singleShot(10 * 1000, this, [this, session] {
      if (reminders_.isActive()) remindDue(*session);
    });
  }
  if (hooks_.log) {
    hooks_.log(configuration_.smtpUrl.isEmpty()
                   ? QStringLiteral("Mail: written as files into %1 (no MailSmtpUrl)")
                         .arg(QDir::current().absoluteFilePath(configuration_.pickupDir))
                   : QStringLiteral("Mail: sent through %1")
                         .arg(QUrl(configuration_.smtpUrl).toString(QUrl::RemoveUserInfo)));
  }
  if (configuration_.publicUrl.isEmpty() && bookingPage_ && hooks_.tell) {
    hooks_.tell(QStringLiteral("HttpPublicUrl is not set: the guests' mails carry no link to "
                               "their booking"));
  }
  courier_->start();
}

void MailService::stop() {
  reminders_.stop();
  if (courier_) courier_->stop();
}

int MailService::remindDue(Connection& session) {
  if (configuration_.reminderDays <= 0) return 0;
  QList<qint64> due;
  try {
    due = MailOutbox(session, intake_)
              .DueReminders(QDate::currentDate(), configuration_.reminderDays);
  } catch (const DatabaseError& error) {
    if (hooks_.log) {
      hooks_.log(QStringLiteral("Mail: the reminders due could not be read: ") +
                 QString::fromUtf8(error.what()));
    }
    return 0;
  }
  int written = 0;
  for (const qint64 refnr : due) {
    try {
      WriteTransaction transaction(session);
      mails_->Remind(session, refnr);
      transaction.commit();
      ++written;
    } catch (const DatabaseError& error) {
      // Another server on the database wrote it first (a reminder is written once), or the
      // database failed: the next look tries what is still due.
      if (hooks_.log) {
        hooks_.log(QStringLiteral("Mail: the reminder of booking %1 was not written: %2")
                       .arg(refnr)
                       .arg(QString::fromUtf8(error.what())));
      }
    }
  }
  return written;
}

QByteArray MailService::metrics(Connection& session) const {
  OutboxCounts counts;
  try {
    counts = MailOutbox(session, intake_).Counts(QDateTime::currentDateTimeUtc());
  } catch (const DatabaseError&) {
    return {};  // the database's own lines say it cannot be read
  }
  return "# HELP taurelin_mail_waiting Mails in the outbox not sent yet.\n"
         "# TYPE taurelin_mail_waiting gauge\n"
         "taurelin_mail_waiting " + QByteArray::number(counts.waiting) + "\n"
         "# HELP taurelin_mail_oldest_waiting_seconds How long the oldest mail not sent yet "
         "has waited.\n"
         "# TYPE taurelin_mail_oldest_waiting_seconds gauge\n"
         "taurelin_mail_oldest_waiting_seconds " +
         QByteArray::number(counts.oldestWaitingSeconds) + "\n"
         "# HELP taurelin_mail_sent_total Mails the outbox holds as sent.\n"
         "# TYPE taurelin_mail_sent_total counter\n"
         "taurelin_mail_sent_total " + QByteArray::number(counts.sent) + "\n"
         "# HELP taurelin_mail_failed_total Mails the outbox holds as failed.\n"
         "# TYPE taurelin_mail_failed_total counter\n"
         "taurelin_mail_failed_total " + QByteArray::number(counts.failed) + "\n";
}

QJsonObject MailService::list(Connection& session, const QString& state) const {
  const auto time = [](const QDateTime& at) {
    return at.isValid() ? QJsonValue(at.toUTC().toString(Qt::ISODate)) : QJsonValue();
  };
  QJsonArray mails;
  for (const OutboxMail& mail :
       MailOutbox(session, intake_).List(MailStateNamed(state), kMostListed)) {
    mails.append(QJsonObject{
        {QStringLiteral("id"), mail.id},
        {QStringLiteral("event"), mail.event},
        {QStringLiteral("refnr"), mail.refnr ? QJsonValue(*mail.refnr) : QJsonValue()},
        {QStringLiteral("recipient"), mail.recipient},
        {QStringLiteral("language"), mail.language},
        {QStringLiteral("state"), MailStateName(mail.state)},
        {QStringLiteral("attempts"), mail.attempts},
        {QStringLiteral("created"), time(mail.created)},
        {QStringLiteral("nextAttempt"),
         mail.state == MailState::kWaiting ? time(mail.nextAttempt) : QJsonValue()},
        {QStringLiteral("finished"), time(mail.sent)},
        {QStringLiteral("answer"),
         mail.answer.isEmpty() ? QJsonValue() : QJsonValue(mail.answer)}});
  }
  return {{QStringLiteral("mails"), mails}};
}

std::optional<bool> MailService::retry(Connection& session, const QString& id) {
  MailOutbox outbox(session, intake_);
  const std::optional<OutboxMail> mail = outbox.Find(id);
  if (!mail) return std::nullopt;
  if (!outbox.Retry(id, QDateTime::currentDateTimeUtc())) return false;
  if (courier_) courier_->wake();
  if (hooks_.log) hooks_.log(QStringLiteral("Mail: %1 is tried again, as asked").arg(id));
  return true;
}

QStringList MailService::problems(Connection& session) const {
  QStringList problems;
  try {
    const OutboxCounts counts =
        MailOutbox(session, intake_).Counts(QDateTime::currentDateTimeUtc());
    if (counts.waiting > 0 && counts.oldestWaitingSeconds > configuration_.staleSeconds) {
      problems << QStringLiteral("the oldest mail has waited %1 s")
                      .arg(counts.oldestWaitingSeconds);
    }
    if (counts.failedLastDay > 0) {
      problems << QStringLiteral("%1 %2 in the last day")
                      .arg(counts.failedLastDay)
                      .arg(counts.failedLastDay == 1 ? QStringLiteral("mail failed")
                                                     : QStringLiteral("mails failed"));
    }
  } catch (const DatabaseError&) {
    // The database's own check says it cannot be read.
  }
  return problems;
}

}  // namespace taurelin
