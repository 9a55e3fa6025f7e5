#pragma once

// The HTTP face as the server runs it: started from the command line and the configuration,
// with the hooks that let it reach the rest of the server, and the server's own lines of
// its metrics.
//
// Promises: nothing listens without a port for it; settings that cannot be used end start-up
// (ConfigurationError), as does a port it cannot listen on (HttpListenError). A database that
// lacks the table of bookings waiting for the guest's confirmation is told at start, when
// guests must confirm. The metrics leave out the pending holds when the time-out register
// cannot be read, rather than give a wrong count.

#include "protocol/request_context.h"
#include "server/channel_service.h"
#include "server/configuration.h"
#include "server/expiry_sweeper.h"
#include "server/line_listener.h"
#include "server/mail_service.h"
#include "server/server_log.h"
#include "server/server_options.h"
#include "store/database_session.h"
#include "web/http_face.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace taurelin {

class HttpService {
 public:
  // The parts of the server the face reaches; each outlives it.
  struct Neighbours {
    ServerLog& log;
    const LineListener& lines;
    ExpirySweeper& sweeper;
    const ChannelService& channels;
    // The environment of one of its requests.
    std::function<RequestContext()> context;
    // The booking mails when there are any (null before they start, or without).
    std::function<MailService*()> mail;
  };

  // `session` is the server's one database session.
  HttpService(DatabaseSession& session, Neighbours neighbours);
  ~HttpService();

  // Starts the face when a port is given for it, on the command line or in the
  // configuration. It admits the clients the line protocol's door admits, and keeps to a
  // loopback address where that door demands TLS. Throws ConfigurationError for settings
  // that cannot be used, HttpListenError when it cannot listen.
  void start(const ServerOptions& options, const ServerConfiguration& configuration);
  // Closes every connection.
  void stop();

  // Its port and address; 0 and empty when it does not listen.
  quint16 port() const;
  QString address() const;
  // The booking codes' secret; empty before start, or without a face.
  const QByteArray& bookingSecret() const { return bookingSecret_; }

 private:
  // The server's lines of the face's metrics.
  QByteArray serverMetrics();

  DatabaseSession* session_;
  Neighbours n_;
  std::unique_ptr<HttpFace> face_;
  QByteArray bookingSecret_;  // the booking codes' secret, once the face has it
};

}  // namespace taurelin
