#pragma once

// The HTTP face: a JSON API over HTTP beside the line protocol. It owns the HTTP server and
// its listener, routes each request, and answers /health, /metrics, the API index /api/v1,
// its OpenAPI description, the booking page itself and the calendar feeds; a request to an endpoint of the table
// goes to the EndpointRunner, which runs the endpoint's instruction through the dispatcher
// exactly as a line-protocol row runs. Before anything else, HttpAccess says who asks and
// whether they may (the Host, the key, the budget). Every answer is JSON (the metrics and the
// page excepted), an error included; nothing it is sent reaches an instruction unchecked.
// Each request is logged with who made it, but those refused for a spent budget and the
// connections refused or closed by a guard, which a flood would write by the thousand, are
// summed up in a line per address and minute.

#include "protocol/request_context.h"
#include "web/calendar_feeds.h"
#include "web/endpoint_runner.h"
#include "web/guest_rules.h"
#include "web/http_access.h"
#include "web/http_listener.h"
#include "web/http_metrics.h"
#include "web/refusal_summary.h"

#include <QHostAddress>
#include <QHttpServerResponse>
#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <stdexcept>

class QHttpServerRequest;

namespace taurelin {

struct Endpoint;
class HttpRequestServer;
class HttpSocket;

class HttpListenError : public std::runtime_error {
 public:
  explicit HttpListenError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

struct HttpFaceSettings {
  QHostAddress address{QHostAddress::LocalHost};
  quint16 port = 0;  // 0: the system chooses
  qint64 maxBodyBytes = 64 * 1024;
  HttpLimits limits;
  int maxConnections = 1024;
  int maxConnectionsPerAddress = 16;  // 0: no cap
  HttpListener::Admission admits;  // empty: every client
  // The Host names, the trusted proxies, the key file, the booking codes' secret and the
  // budgets.
  HttpAccessSettings access;
  GuestLimits guests;
  // Peers that maxConnectionsPerAddress does not hold, such as the reverse proxies that
  // carry many clients; empty: none.
  HttpListener::Admission uncappedPeers;
  // The exported calendar feeds: how far ahead, and what their events say.
  CalendarFeedSettings feeds;
};

// What the face needs of the server around it.
struct HttpFaceHooks {
  // The environment of one request, as the line protocol's request cycle builds it.
  std::function<RequestContext()> context;
  // Writes a line to the operation log.
  std::function<void(const QString&)> log;
  // Whether a request's line is to be written now (false: a flood or a full disk sums it up
  // instead); unset: always.
  std::function<bool()> logsRequest;
  // Runs after each answer.
  std::function<void()> served;
  // For /health: whether the line protocol listens, and whether the database answers.
  std::function<bool()> lineListening;
  std::function<bool()> databaseReachable;
  // For /metrics: the server's own lines (open connections, pending holds, channels).
  std::function<QByteArray()> serverMetrics;
  // For /api/v1/channels: the channel calendars' report; unset: the server reads none.
  std::function<QJsonObject()> channels;
  // For /health: why the server is degraded though it answers (a channel calendar stale or
  // in conflict); empty: it is not.
  std::function<QStringList()> degraded;
  // For /api/v1/nations: the nations a booker may name, as (code, name); throws DatabaseError.
  std::function<QList<std::pair<QString, QString>>()> nations;
  // For /api/v1/mail: the outbox's mails in a state (waiting, sent, failed; empty: all),
  // newest first; unset: the server sends no mail.
  std::function<QJsonObject(const QString& state)> mails;
  // For /api/v1/mail/{id}/retry: a failed mail waits again (true); false when the mail is no
  // failed one, nothing when there is none of that key.
  std::function<std::optional<bool>(const QString& id)> retryMail;
};

class HttpFace : public QObject {
  Q_OBJECT

 public:
  explicit HttpFace(HttpFaceHooks hooks, QObject* parent = nullptr);
  ~HttpFace() override;

  // Throws HttpListenError when the address and port cannot be listened on, ApiKeyError when
  // the key file cannot be read and BookingCodeError for a secret that is none.
  void start(const HttpFaceSettings& settings);
  void stop();
  bool listening() const;
  quint16 port() const;
  QHostAddress address() const { return settings_.address; }

 private:
  // Answers one request, counts it and logs it.
  QHttpServerResponse answer(const QHttpServerRequest& request, HttpSocket& socket);
  // Who asks, whether they may, and the answer.
  QHttpServerResponse dispatch(const QString& path, const QHttpServerRequest& request,
                               const QString& pathValue, Caller& caller,
                               EndpointRunner::Trace& trace);
  // The paths that run no instruction of the table: the page, the index, the description,
  // /health, /metrics and the channels' report.
  // GET /api/v1/nations, for anyone.
  QHttpServerResponse nations(const QHttpServerRequest& request);
  // GET /api/v1/mail and POST /api/v1/mail/{id}/retry, for a manage key.
  QHttpServerResponse mail(const QString& path, const QHttpServerRequest& request,
                           const QString& id, const Caller& caller);
  QHttpServerResponse serveOwn(const QString& path, const QHttpServerRequest& request,
                               const QString& pathValue, const Caller& caller);
  // Writes the refusals counted in the last minute to the log.
  void logRefusals();
  QHttpServerResponse index();
  QHttpServerResponse health();
  QHttpServerResponse metrics();
  void log(const QString& line);

  HttpFaceHooks hooks_;
  HttpFaceSettings settings_;
  std::unique_ptr<HttpRequestServer> server_;
  HttpListener* listener_ = nullptr;  // owned by server_
  std::unique_ptr<HttpAccess> access_;
  std::unique_ptr<EndpointRunner> runner_;
  std::unique_ptr<CalendarFeeds> feeds_;
  HttpMetrics metrics_;
  RefusalSummary refusals_;
  QTimer refusalTimer_;
};

}  // namespace taurelin
