#include "web/http_face.h"

#include "protocol/dispatcher.h"
#include "protocol/instruction_table.h"
#include "store/database_error.h"
#include "web/api_error.h"
#include "web/endpoint_table.h"
#include "web/http_request_server.h"
#include "web/http_socket.h"
#include "web/page_assets.h"
#include "web/static_answer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

#include <optional>

namespace taurelin {
namespace {

using Method = QHttpServerRequest::Method;

const QString kHealth = QStringLiteral("/health");
const QString kMetrics = QStringLiteral("/metrics");
const QString kIndex = QStringLiteral("/api/v1");
const QString kOpenApi = QStringLiteral("/api/v1/openapi.json");
const QString kChannels = QStringLiteral("/api/v1/channels");
const QString kMail = QStringLiteral("/api/v1/mail");
const QString kNations = QStringLiteral("/api/v1/nations");
const QString kMailRetry = QStringLiteral("/api/v1/mail/{id}/retry");
const QString kOther = QStringLiteral("other");

QString TypeName(ValueKind kind) {
  switch (kind) {
    case ValueKind::kInteger:
      return QStringLiteral("integer");
    case ValueKind::kDecimal:
      return QStringLiteral("number");
    case ValueKind::kFlag:
      return QStringLiteral("boolean");
    case ValueKind::kDate:
    case ValueKind::kText:
    case ValueKind::kDigits:
    case ValueKind::kEmail:
      break;
  }
  return QStringLiteral("string");
}

QJsonObject FieldDescription(const InputField& field) {
  QJsonObject description{{QStringLiteral("name"), QString(field.name)},
                          {QStringLiteral("required"), field.required},
                          {QStringLiteral("type"), TypeName(field.kind)}};
  if (field.kind == ValueKind::kDate) description.insert(QStringLiteral("format"), "date");
  if (field.kind == ValueKind::kEmail) description.insert(QStringLiteral("format"), "email");
  return description;
}

QHttpServerResponse Json(const QJsonObject& body, int status = 200) {
  QHttpServerResponse response(body, static_cast<QHttpServerResponse::StatusCode>(status));
  AddCommonHeaders(response);
  return response;
}

QHttpServerResponse MethodNotAllowed(const QStringList& allowed) {
  QHttpServerResponse response = ErrorResponse(
      {405, QStringLiteral("method_not_allowed"),
       QStringLiteral("this path answers %1 only").arg(allowed.join(QStringLiteral(", ")))});
  response.setHeader(QByteArrayLiteral("Allow"), allowed.join(QStringLiteral(", ")).toLatin1());
  return response;
}

// The path pattern of the face that `path` names, and the value it carries in place of
// {refnr}; nothing when no pattern fits.
struct Route {
  QString pattern;
  QString value;
};

QStringList Patterns() {
  QStringList patterns{kHealth,    kMetrics, kIndex,     kOpenApi,
                       kChannels,  kMail,    kMailRetry, kNations};
  patterns << PageAssetPaths();
  for (const Endpoint& endpoint : Endpoints()) {
    if (!patterns.contains(QString(endpoint.path))) patterns << QString(endpoint.path);
  }
  return patterns;
}

std::optional<Route> FindRoute(const QString& path) {
  if (CalendarFeeds::IsFeedPath(path)) return Route{CalendarFeeds::kPattern, QString()};
  static const QStringList kPatterns = Patterns();
  // A segment in braces ({refnr}, {id}) stands for the value the path carries.
  const auto isValue = [](const QString& part) {
    return part.startsWith(u'{') && part.endsWith(u'}');
  };
  const QStringList segments = path.split(u'/');
  for (const QString& pattern : kPatterns) {
    if (!pattern.contains(u'{')) {
      if (pattern == path) return Route{pattern, QString()};
      continue;
    }
    const QStringList parts = pattern.split(u'/');
    if (parts.size() != segments.size()) continue;
    Route route{pattern, QString()};
    bool fits = true;
    for (qsizetype i = 0; fits && i < parts.size(); ++i) {
      if (isValue(parts[i])) {
        fits = !segments[i].isEmpty();
        route.value = segments[i];
      } else {
        fits = parts[i] == segments[i];
      }
    }
    if (fits) return route;
  }
  return std::nullopt;
}

QByteArray OpenApiText() {
  QFile file(QStringLiteral(":/web/openapi.json"));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

HttpFace::HttpFace(HttpFaceHooks hooks, QObject* parent)
    : QObject(parent), hooks_(std::move(hooks)) {
  refusalTimer_.setInterval(60 * 1000);
  connect(&refusalTimer_, &QTimer::timeout, this, &HttpFace::logRefusals);
}

void HttpFace::logRefusals() {
  for (const QString& line : refusals_.take()) log(line);
}

void HttpFace::log(const QString& line) {
  if (hooks_.log) hooks_.log(line);
}

HttpFace::~HttpFace() = default;

void HttpFace::start(const HttpFaceSettings& settings) {
  stop();
  settings_ = settings;
  access_ = std::make_unique<HttpAccess>(settings.access,
                                         [this](const QString& line) { log(line); });
  runner_ = std::make_unique<EndpointRunner>(
      EndpointRunner::Settings{settings.maxBodyBytes, settings.guests}, *access_,
      hooks_.context, [this](const QString& line) { log(line); });
  feeds_ = std::make_unique<CalendarFeeds>(settings.feeds, settings.access.secret, hooks_.context);
  server_ = std::make_unique<HttpRequestServer>(
      [this](const QHttpServerRequest& request, HttpSocket& socket) {
        return answer(request, socket);
      });
  auto* listener = new HttpListener(settings.limits, settings.maxConnections, settings.admits,
                                    nullptr);
  listener->capPerAddress(settings.maxConnectionsPerAddress, settings.uncappedPeers);
  if (!listener->listen(settings.address, settings.port)) {
    const QString error = listener->errorString();
    delete listener;
    server_.reset();
    throw HttpListenError(QStringLiteral("the HTTP face cannot listen on %1 port %2: %3")
                              .arg(settings.address.toString())
                              .arg(settings.port)
                              .arg(error));
  }
  // A flood of connections is told once a minute, not once a connection.
  connect(listener, &HttpListener::refused, this, [this](const QString& peer,
                                                         const QString& reason) {
    metrics_.countClosed(QStringLiteral("refused"));
    refusals_.count(peer, QStringLiteral("connection refused, ") + reason);
  });
  connect(listener, &HttpListener::closedByGuard, this,
          [this](const QString& peer, const QString& reason) {
            metrics_.countClosed(reason);
            refusals_.count(peer, QStringLiteral("connection closed, ") + reason);
          });
  server_->bind(listener);
  listener_ = listener;
  refusalTimer_.start();
}

void HttpFace::stop() {
  refusalTimer_.stop();
  logRefusals();
  server_.reset();
  listener_ = nullptr;
  feeds_.reset();
  runner_.reset();
  access_.reset();
}

bool HttpFace::listening() const { return listener_ != nullptr && listener_->isListening(); }

quint16 HttpFace::port() const { return listening() ? listener_->serverPort() : 0; }

QHttpServerResponse HttpFace::answer(const QHttpServerRequest& request, HttpSocket& socket) {
  QElapsedTimer timer;
  timer.start();
  const std::optional<Route> route = FindRoute(request.url().path());
  const QString path = route ? route->pattern : kOther;
  Caller caller = access_->locate(request, socket.peerAddress());
  EndpointRunner::Trace trace;
  std::optional<QHttpServerResponse> response;
  try {
    response.emplace(dispatch(path, request, route ? route->value : QString(), caller, trace));
  } catch (const std::exception& failure) {
    log(QStringLiteral("HTTP error : ") + QString::fromUtf8(failure.what()));
    response.emplace(ErrorResponse({500, QStringLiteral("internal_error"),
                                    QStringLiteral("the server failed to answer")}));
  }
  const int status = static_cast<int>(response->statusCode());
  const qint64 micros = timer.nsecsElapsed() / 1000;
  QString instruction;
  for (const Endpoint& endpoint : Endpoints()) {
    if (QString(endpoint.path) == path && endpoint.method == request.method()) {
      instruction = endpoint.keyword;
    }
  }
  metrics_.countAnswer(path, instruction, MethodName(request.method()), status, micros);
  if (trace.limited) {
    // A client past its budget is told once a minute in the log, not once a request.
    metrics_.countRefused(QStringLiteral("rate_limit"));
    refusals_.count(caller.address.toString(), QStringLiteral("request refused, past its budget"));
  } else if (!hooks_.logsRequest || hooks_.logsRequest()) {
    // The path and query hold neither a key nor a code: those travel in headers. A feed's
    // token alone travels in its query, which is therefore left out.
    const QUrl::FormattingOptions shown =
        QUrl::FullyEncoded | QUrl::RemoveScheme | QUrl::RemoveAuthority |
        (path == CalendarFeeds::kPattern ? QUrl::RemoveQuery : QUrl::FormattingOptions());
    QString who = caller.address.toString();
    const QHostAddress peer = socket.peerAddress();
    if (caller.address != peer && !peer.isEqual(caller.address, QHostAddress::TolerantConversion)) {
      who += QStringLiteral(" via ") + peer.toString();
    }
    log(QStringLiteral("HTTP %1 %2 %3 %4 : %5 (%6 ms)%7")
            .arg(who, caller.name(), MethodName(request.method()), request.url().toString(shown))
            .arg(status)
            .arg(static_cast<double>(micros) / 1000, 0, 'f', 1)
            .arg(trace.refnr.isEmpty() ? QString() : QStringLiteral(" refnr ") + trace.refnr));
  }
  if (hooks_.served) hooks_.served();
  return std::move(*response);
}

QHttpServerResponse HttpFace::dispatch(const QString& path, const QHttpServerRequest& request,
                                       const QString& pathValue, Caller& caller,
                                       EndpointRunner::Trace& trace) {
  if (std::optional<ApiError> foreign = access_->checkHost(request)) {
    metrics_.countRefused(QStringLiteral("host"));
    return ErrorResponse(*foreign);
  }
  const auto refuseRead = [&]() -> std::optional<QHttpServerResponse> {
    if (std::optional<ApiError> spent = access_->spend(caller, false, 1)) {
      trace.limited = true;
      return ErrorResponse(*spent);
    }
    return std::nullopt;
  };
  if (std::optional<ApiError> unknown = access_->authenticate(request, caller)) {
    // A wrong key costs the address a read, so guessing keys is as slow as reading.
    if (std::optional<QHttpServerResponse> limited = refuseRead()) return std::move(*limited);
    metrics_.countRefused(QStringLiteral("key"));
    return ErrorResponse(*unknown);
  }
  QStringList allowed;
  for (const Endpoint& endpoint : Endpoints()) {
    if (QString(endpoint.path) != path) continue;
    if (endpoint.method == request.method()) {
      return runner_->run(endpoint, request, pathValue, caller, trace);
    }
    allowed << MethodName(endpoint.method);
  }
  if (std::optional<QHttpServerResponse> limited = refuseRead()) return std::move(*limited);
  if (!allowed.isEmpty()) return MethodNotAllowed(allowed);
  if (path == kOther) {
    return ErrorResponse({404, QStringLiteral("not_found"), QStringLiteral("no such path")});
  }
  return serveOwn(path, request, pathValue, caller);
}

QHttpServerResponse HttpFace::serveOwn(const QString& path, const QHttpServerRequest& request,
                                       const QString& pathValue, const Caller& caller) {
  const Method method = request.method();
  if (path == CalendarFeeds::kPattern) {
    if (method != Method::Get) return MethodNotAllowed({QStringLiteral("GET")});
    return feeds_->answer(request);
  }
  if (path == kMail || path == kMailRetry) return mail(path, request, pathValue, caller);
  if (path == kNations) return nations(request);
  if (path == kHealth || path == kMetrics || path == kIndex || path == kOpenApi ||
      path == kChannels) {
    if (method != Method::Get) return MethodNotAllowed({QStringLiteral("GET")});
    if (path == kMetrics || path == kChannels) {
      if (std::optional<ApiError> refused = access_->authorizeMetrics(caller)) {
        return ErrorResponse(*refused);
      }
    }
    if (!request.body().isEmpty()) {
      return ErrorResponse(BadRequest(QStringLiteral("unexpected_body"),
                                      QStringLiteral("this request takes no body")));
    }
    if (path == kHealth) return health();
    if (path == kIndex) return index();
    if (path == kMetrics) return metrics();
    if (path == kChannels) {
      return Json(hooks_.channels ? hooks_.channels()
                                  : QJsonObject{{QStringLiteral("channels"), QJsonArray()}});
    }
    // Read and compressed once; uncached as every answer under /api/v1.
    static const StaticFile kDescription =
        MakeStaticFile(QByteArrayLiteral("application/json"), OpenApiText());
    return StaticAnswer(kDescription, request, {QByteArrayLiteral("no-store"),
                                                QByteArrayLiteral("Accept-Encoding"), false});
  }
  if (method != Method::Get && method != Method::Head) {
    return MethodNotAllowed({QStringLiteral("GET"), QStringLiteral("HEAD")});
  }
  const StaticFile* asset =
      FindPageAsset(path, request.value(QByteArrayLiteral("Accept-Language")));
  if (asset == nullptr) throw std::logic_error("a route names no page file");
  StaticPolicy policy;
  if (asset->version.isEmpty()) {
    // The page itself is asked again each time (cheaply, by its ETag), so a new build of
    // it is seen at once; it comes in the language the browser asks for.
    policy.cacheControl = QByteArrayLiteral("no-cache");
    policy.vary = QByteArrayLiteral("Accept-Encoding, Accept-Language");
  } else if (request.url().query() == QStringLiteral("v=") + asset->version) {
    // The URL the page names it by changes with its content: it never needs asking again.
    policy.cacheControl = QByteArrayLiteral("public, max-age=31536000, immutable");
  } else {
    policy.cacheControl = QByteArrayLiteral("no-cache");
  }
  QHttpServerResponse response = StaticAnswer(*asset, request, policy);
  // The page loads its own files and talks to this server only; nothing may frame it.
  response.setHeader(QByteArrayLiteral("Content-Security-Policy"),
                     QByteArrayLiteral("default-src 'self'; img-src 'self' data:; "
                                       "object-src 'none'; base-uri 'none'; "
                                       "frame-ancestors 'none'"));
  response.setHeader(QByteArrayLiteral("Referrer-Policy"), QByteArrayLiteral("no-referrer"));
  return response;
}

QHttpServerResponse HttpFace::mail(const QString& path, const QHttpServerRequest& request,
                                   const QString& id, const Caller& caller) {
  const bool list = path == kMail;
  const Method expected = list ? Method::Get : Method::Post;
  if (request.method() != expected) {
    return MethodNotAllowed({list ? QStringLiteral("GET") : QStringLiteral("POST")});
  }
  if (std::optional<ApiError> refused = access_->authorizeMetrics(caller)) {
    return ErrorResponse(*refused);
  }
  if (!request.body().isEmpty()) {
    return ErrorResponse(BadRequest(QStringLiteral("unexpected_body"),
                                    QStringLiteral("this request takes no body")));
  }
  if (!hooks_.mails || !hooks_.retryMail) {
    return ErrorResponse({404, QStringLiteral("not_found"),
                          QStringLiteral("this server sends no mail")});
  }
  if (list) {
    const QUrlQuery query(request.url());
    const QString state = query.queryItemValue(QStringLiteral("state"));
    for (const auto& [name, value] : query.queryItems()) {
      if (name != u"state") {
        return ErrorResponse(BadRequest(QStringLiteral("unknown_field"),
                                        QStringLiteral("unknown parameter %1").arg(name)));
      }
    }
    if (!state.isEmpty() && state != u"waiting" && state != u"sent" && state != u"failed") {
      return ErrorResponse(BadRequest(QStringLiteral("invalid_field"),
                                      QStringLiteral("state is waiting, sent or failed")));
    }
    try {
      return Json(hooks_.mails(state));
    } catch (const DatabaseError&) {
      return ErrorResponse({503, QStringLiteral("unavailable"),
                            QStringLiteral("the booking database could not answer")});
    }
  }
  std::optional<bool> retried;
  try {
    retried = hooks_.retryMail(id);
  } catch (const DatabaseError&) {
    return ErrorResponse({503, QStringLiteral("unavailable"),
                          QStringLiteral("the booking database could not answer")});
  }
  if (!retried) {
    return ErrorResponse({404, QStringLiteral("not_found"),
                          QStringLiteral("there is no mail %1").arg(id)});
  }
  if (!*retried) {
    return ErrorResponse({409, QStringLiteral("not_failed"),
                          QStringLiteral("mail %1 has not failed").arg(id)});
  }
  return Json(QJsonObject{{QStringLiteral("id"), id},
                          {QStringLiteral("state"), QStringLiteral("waiting")}});
}

QHttpServerResponse HttpFace::nations(const QHttpServerRequest& request) {
  if (request.method() != Method::Get) return MethodNotAllowed({QStringLiteral("GET")});
  if (!request.body().isEmpty() || !request.url().query().isEmpty()) {
    return ErrorResponse(
        BadRequest(QStringLiteral("unexpected_body"),
                   QStringLiteral("this request takes no body and no parameters")));
  }
  QJsonArray nations;
  try {
    if (hooks_.nations) {
      for (const auto& [code, name] : hooks_.nations()) {
        nations.append(
            QJsonObject{{QStringLiteral("code"), code}, {QStringLiteral("name"), name}});
      }
    }
  } catch (const DatabaseError&) {
    return ErrorResponse({503, QStringLiteral("unavailable"),
                          QStringLiteral("the booking database could not answer")});
  }
  return Json(QJsonObject{{QStringLiteral("nations"), nations}});
}

QHttpServerResponse HttpFace::index() {
  QJsonObject answer;
  RequestContext context = hooks_.context();
  const InstructionReply about =
      RunInstruction(*FindInstruction(QStringLiteral("TEST-API")), InstructionValues(), context);
  if (about.rowCount() > 0) {
    const QStringList row = about.row(0);
    answer.insert(QStringLiteral("system"), row.value(1));
    answer.insert(QStringLiteral("maker"), row.value(2));
    answer.insert(QStringLiteral("version"), row.value(3));
  }
  QJsonArray endpoints;
  for (const Endpoint& endpoint : Endpoints()) {
    QJsonArray parameters;
    QJsonArray body;
    for (const InputField& field : endpoint.inputs) {
      QJsonObject description = FieldDescription(field);
      switch (field.from) {
        case InputField::From::kQuery:
          description.insert(QStringLiteral("in"), QStringLiteral("query"));
          parameters.append(description);
          break;
        case InputField::From::kPath:
          description.insert(QStringLiteral("in"), QStringLiteral("path"));
          parameters.append(description);
          break;
        case InputField::From::kBody:
          body.append(description);
          break;
        case InputField::From::kFixed:
          break;
      }
    }
    QJsonObject entry{{QStringLiteral("method"), QString(MethodName(endpoint.method))},
                      {QStringLiteral("path"), QString(endpoint.path)},
                      {QStringLiteral("instruction"), QString(endpoint.keyword)},
                      {QStringLiteral("parameters"), parameters}};
    if (!body.isEmpty()) entry.insert(QStringLiteral("body"), body);
    endpoints.append(entry);
  }
  // The calendar feeds run no instruction: the token in the query is their key.
  const auto parameter = [](const char* name, const char* type, const char* in) {
    return QJsonObject{{QStringLiteral("name"), QLatin1String(name)},
                       {QStringLiteral("required"), true},
                       {QStringLiteral("type"), QLatin1String(type)},
                       {QStringLiteral("in"), QLatin1String(in)}};
  };
  endpoints.append(QJsonObject{
      {QStringLiteral("method"), QStringLiteral("GET")},
      {QStringLiteral("path"), CalendarFeeds::kPattern},
      {QStringLiteral("parameters"), QJsonArray{parameter("facility", "integer", "path"),
                                                parameter("type", "integer", "path"),
                                                parameter("token", "string", "query")}}});
  answer.insert(QStringLiteral("endpoints"), endpoints);
  const InstructionReply regional = RunInstruction(
      *FindInstruction(QStringLiteral("OM_TN_API")), InstructionValues(), context);
  QJsonObject settings;
  for (const QStringList& row : regional.rows()) settings.insert(row.value(2), row.value(3));
  answer.insert(QStringLiteral("regionalSettings"), settings);
  answer.insert(QStringLiteral("description"), kOpenApi);
  return Json(answer);
}

QHttpServerResponse HttpFace::health() {
  const bool listening = hooks_.lineListening && hooks_.lineListening();
  const bool database = hooks_.databaseReachable && hooks_.databaseReachable();
  const QStringList problems = hooks_.degraded ? hooks_.degraded() : QStringList();
  // A degraded server still answers: only a database it cannot reach takes it out.
  QJsonObject answer{{QStringLiteral("status"), !database            ? QStringLiteral("unavailable")
                                                : problems.isEmpty() ? QStringLiteral("ok")
                                                                     : QStringLiteral("degraded")},
                     {QStringLiteral("listener"), listening},
                     {QStringLiteral("database"), database}};
  if (!problems.isEmpty()) answer.insert(QStringLiteral("problems"), QJsonArray::fromStringList(problems));
  return Json(answer, database ? 200 : 503);
}

QHttpServerResponse HttpFace::metrics() {
  QByteArray text = metrics_.text();
  text += "# HELP taurelin_http_open_connections HTTP connections open now.\n"
          "# TYPE taurelin_http_open_connections gauge\n"
          "taurelin_http_open_connections " +
          QByteArray::number(listener_ != nullptr ? listener_->openConnections() : 0) + '\n';
  if (hooks_.serverMetrics) text += hooks_.serverMetrics();
  QHttpServerResponse response(QByteArrayLiteral("text/plain; version=0.0.4"), text);
  AddCommonHeaders(response);
  return response;
}

}  // namespace taurelin
