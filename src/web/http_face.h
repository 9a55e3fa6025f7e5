#pragma once

// The HTTP face: a JSON API over HTTP beside the line protocol. It owns the HTTP server and
// its listener, serves each endpoint of the endpoint table by running the endpoint's
// instruction through the dispatcher, exactly as a line-protocol row runs, and answers
// /health, /metrics, the API index /api/v1 and its OpenAPI description. Every answer is
// JSON (the metrics excepted), an error included; nothing it is sent reaches an instruction
// unchecked.

#include "protocol/request_context.h"
#include "web/http_listener.h"
#include "web/http_metrics.h"

#include <QHostAddress>
#include <QHttpServerResponse>
#include <QObject>

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
  // Peers that maxConnectionsPerAddress does not hold, such as the reverse proxies that
  // carry many clients; empty: none.
  HttpListener::Admission uncappedPeers;
};

// What the face needs of the server around it.
struct HttpFaceHooks {
  // The environment of one request, as the line protocol's request cycle builds it.
  std::function<RequestContext()> context;
  // Writes a line to the operation log.
  std::function<void(const QString&)> log;
  // Runs after each answer.
  std::function<void()> served;
  // For /health: whether the line protocol listens, and whether the database answers.
  std::function<bool()> lineListening;
  std::function<bool()> databaseReachable;
  // For /metrics: the server's own lines (open connections, pending holds).
  std::function<QByteArray()> serverMetrics;
};

class HttpFace : public QObject {
  Q_OBJECT

 public:
  explicit HttpFace(HttpFaceHooks hooks, QObject* parent = nullptr);
  ~HttpFace() override;

  // Throws HttpListenError when the address and port cannot be listened on.
  void start(const HttpFaceSettings& settings);
  void stop();
  bool listening() const;
  quint16 port() const;
  QHostAddress address() const { return settings_.address; }

 private:
  // Answers one request and counts it.
  QHttpServerResponse answer(const QHttpServerRequest& request, HttpSocket& socket);
  QHttpServerResponse notFound();
  QHttpServerResponse dispatch(const QString& path, const QHttpServerRequest& request,
                               const QString& pathValue);
  QHttpServerResponse runEndpoint(const Endpoint& endpoint, const QHttpServerRequest& request,
                                  const QString& pathValue);
  QHttpServerResponse index();
  QHttpServerResponse health();
  QHttpServerResponse metrics();
  void log(const QString& line);

  HttpFaceHooks hooks_;
  HttpFaceSettings settings_;
  std::unique_ptr<HttpRequestServer> server_;
  HttpListener* listener_ = nullptr;  // owned by server_
  HttpMetrics metrics_;
};

}  // namespace taurelin
