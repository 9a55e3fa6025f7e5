#include "server/channel_service.h"

#include "store/database_error.h"
#include "store/upgrade_check.h"

#include <QDateTime>

#include <utility>

namespace taurelin {

ChannelService::ChannelService(OperatorInterface& face, ServerLog& log,
                               DatabaseSession& session, std::function<MailService*()> mail)
    : face_(face), log_(log), session_(session), mail_(std::move(mail)) {}

ChannelService::~ChannelService() = default;

void ChannelService::start(const QString& file, const ServerConfiguration& configuration) {
  if (file.isEmpty()) return;
  QList<ChannelFeed> feeds;
  try {
    feeds = ReadChannelFile(file);
  } catch (const ChannelFileError& error) {
    throw ConfigurationError(QString::fromUtf8(error.what()));
  }
  ChannelPoller::Hooks hooks;
  const RemovalRules removal = configuration.channelRemoval;
  hooks.import = [this, removal](const ChannelFeed& feed,
                                 std::shared_ptr<const CalendarReading> reading) {
    MailService* mail = mail_();
    return StartImport(session_, feed, std::move(reading), QDateTime::currentDateTime(),
                       removal, mail ? mail->events() : nullptr);
  };
  hooks.conflicts = [this](const ChannelFeed& feed) { return CurrentConflicts(session_, feed); };
  hooks.log = [this](const QString& line) { log_.log(line); };
  hooks.tell = [this](const QString& line) { log_.tell(line); };
  hooks.trouble = [this](const ChannelState& state, const QString& problem,
                         const QDateTime& since) {
    MailService* mail = mail_();
    if (!mail) return;
    try {
      mail->mails().ChannelTrouble(session_.connection(), state.feed.name, state.feed.facility,
                                   state.feed.type, problem, since);
    } catch (const DatabaseError& error) {
      log_.log(QStringLiteral("Mail: the business's mail of channel %1 could not be written: %2")
                   .arg(state.feed.name, QString::fromUtf8(error.what())));
    }
  };
  hooks.changed = [this] {
    face_.setChannelStatus(report().statusText());
    log_.refreshLogView();
  };
  ChannelPoller::Settings settings;
  settings.staleAfterSeconds = configuration.channelStaleSeconds;
  settings.daysAhead = configuration.feeds.daysAhead;
  settings.removal = removal;
  // A database upgraded by an earlier version lacks what the import keeps now: said once
  // here, rather than as an SQL error at every read.
  if (session_.connection().database().isOpen()) {
    const QStringList missing =
        CheckUpgrade(session_.connection().database()).filter(QStringLiteral("KANAL_"));
    if (!missing.isEmpty()) {
      log_.tell(QStringLiteral("Channel calendars cannot be imported until the database is "
                               "upgraded (taurelin-db upgrade %1): %2")
                    .arg(configuration.databaseAlias, missing.join(QStringLiteral("; "))));
    }
  }
  poller_ = std::make_unique<ChannelPoller>(feeds, std::move(hooks), settings);
  poller_->start();
  face_.setChannelStatus(report().statusText());
  log_.log(QStringLiteral("Reading %1 channel calendars from %2").arg(feeds.size()).arg(file));
}

void ChannelService::stop() {
  if (poller_) poller_->stop();
}

ChannelReport ChannelService::report() const {
  static const QList<ChannelState> kNone;
  if (!poller_) return {kNone, {}, QDateTime::currentDateTimeUtc(), 0};
  return {poller_->states(), poller_->started(), QDateTime::currentDateTimeUtc(),
          poller_->staleAfterSeconds()};
}

}  // namespace taurelin
