#pragma once

// The channels' calendars as the server runs them: the poller built from the channel file
// and the configuration, and what it reports to the operator, the HTTP face and the mails.
//
// Promises: nothing is read without a channel file, and a channel file that cannot be used
// ends start-up (ConfigurationError); a database that lacks what the import keeps is told
// once at start, not as an SQL error at every read. The status bar and a shown log view
// follow every read. A channel's trouble becomes the business's mail when there are mails,
// and a mail that cannot be written is logged, not thrown.

#include "channels/channel_poller.h"
#include "channels/channel_report.h"
#include "server/configuration.h"
#include "server/mail_service.h"
#include "server/operator_interface.h"
#include "server/server_log.h"
#include "store/database_session.h"

#include <QString>

#include <functional>
#include <memory>

namespace taurelin {

class ChannelService {
 public:
  // `mail` gives the booking mails when there are any (null before they start, or without).
  ChannelService(OperatorInterface& face, ServerLog& log, DatabaseSession& session,
                 std::function<MailService*()> mail);
  ~ChannelService();

  // Reads the channel file `file` and starts reading its calendars, when one is given.
  // Throws ConfigurationError for a channel file that cannot be used.
  void start(const QString& file, const ServerConfiguration& configuration);
  void stop();

  // Whether calendars are being read.
  bool running() const { return poller_ != nullptr; }
  // What the channels' state is now, for the reports and the status bar.
  ChannelReport report() const;

 private:
  OperatorInterface& face_;
  ServerLog& log_;
  DatabaseSession& session_;
  std::function<MailService*()> mail_;
  std::unique_ptr<ChannelPoller> poller_;
};

}  // namespace taurelin
