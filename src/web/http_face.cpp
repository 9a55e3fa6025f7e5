#include "web/http_face.h"

#include "handlers/protocol_dates.h"
#include "protocol/dispatcher.h"
#include "protocol/instruction_table.h"
#include "store/database_error.h"
#include "web/api_error.h"
#include "web/endpoint_table.h"
#include "web/http_request_server.h"
#include "web/http_socket.h"
#include "web/page_assets.h"
#include "web/reply_json.h"
#include "web/request_values.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

namespace taurelin {
namespace {

using Method = QHttpServerRequest::Method;

const QString kHealth = QStringLiteral("/health");
const QString kMetrics = QStringLiteral("/metrics");
const QString kIndex = QStringLiteral("/api/v1");
const QString kOpenApi = QStringLiteral("/api/v1/openapi.json");
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
      break;
  }
  return QStringLiteral("string");
}

QJsonObject FieldDescription(const InputField& field) {
  QJsonObject description{{QStringLiteral("name"), QString(field.name)},
                          {QStringLiteral("required"), field.required},
                          {QStringLiteral("type"), TypeName(field.kind)}};
  if (field.kind == ValueKind::kDate) description.insert(QStringLiteral("format"), "date");
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
  QStringList patterns{kHealth, kMetrics, kIndex, kOpenApi};
  patterns << PageAssetPaths();
  for (const Endpoint& endpoint : Endpoints()) {
    if (!patterns.contains(QString(endpoint.path))) patterns << QString(endpoint.path);
  }
  return patterns;
}

std::optional<Route> FindRoute(const QString& path) {
  static const QStringList kPatterns = Patterns();
  static const QString kValue = QStringLiteral("{refnr}");
  const QStringList segments = path.split(u'/');
  for (const QString& pattern : kPatterns) {
    if (!pattern.contains(kValue)) {
      if (pattern == path) return Route{pattern, QString()};
      continue;
    }
    const QStringList parts = pattern.split(u'/');
    if (parts.size() != segments.size()) continue;
    Route route{pattern, QString()};
    bool fits = true;
    for (qsizetype i = 0; fits && i < parts.size(); ++i) {
      if (parts[i] == kValue) {
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
    : QObject(parent), hooks_(std::move(hooks)) {}

void HttpFace::log(const QString& line) {
  if (hooks_.log) hooks_.log(line);
}

HttpFace::~HttpFace() = default;

void HttpFace::start(const HttpFaceSettings& settings) {
  stop();
  settings_ = settings;
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
  connect(listener, &HttpListener::refused, this, [this](const QString& peer,
                                                         const QString& reason) {
    metrics_.countClosed(QStringLiteral("refused"));
    log(QStringLiteral("HTTP client %1 refused: %2").arg(peer, reason));
  });
  connect(listener, &HttpListener::closedByGuard, this,
          [this](const QString& peer, const QString& reason) {
            metrics_.countClosed(reason);
            log(QStringLiteral("HTTP client %1 closed: %2").arg(peer, reason));
          });
  server_->bind(listener);
  listener_ = listener;
}

void HttpFace::stop() {
  server_.reset();
  listener_ = nullptr;
}

bool HttpFace::listening() const { return listener_ != nullptr && listener_->isListening(); }

quint16 HttpFace::port() const { return listening() ? listener_->serverPort() : 0; }

QHttpServerResponse HttpFace::notFound() {
  return ErrorResponse({404, QStringLiteral("not_found"), QStringLiteral("no such path")});
}

QHttpServerResponse HttpFace::answer(const QHttpServerRequest& request, HttpSocket& socket) {
  Q_UNUSED(socket);
  QElapsedTimer timer;
  timer.start();
  const std::optional<Route> route = FindRoute(request.url().path());
  const QString path = route ? route->pattern : kOther;
  std::optional<QHttpServerResponse> response;
  try {
    response.emplace(route ? dispatch(route->pattern, request, route->value) : notFound());
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
  log(QStringLiteral("HTTP %1 %2 %3 : %4 (%5 ms)")
           .arg(request.remoteAddress().toString(), MethodName(request.method()),
                request.url().toString(QUrl::FullyEncoded | QUrl::RemoveScheme |
                                       QUrl::RemoveAuthority))
           .arg(status)
           .arg(static_cast<double>(micros) / 1000, 0, 'f', 1));
  if (hooks_.served) hooks_.served();
  return std::move(*response);
}

QHttpServerResponse HttpFace::dispatch(const QString& path, const QHttpServerRequest& request,
                                       const QString& pathValue) {
  const Method method = request.method();
  if (path == kHealth || path == kMetrics || path == kIndex || path == kOpenApi) {
    if (method != Method::Get) return MethodNotAllowed({QStringLiteral("GET")});
    if (!request.body().isEmpty()) {
      return ErrorResponse(BadRequest(QStringLiteral("unexpected_body"),
                                      QStringLiteral("this request takes no body")));
    }
    if (path == kHealth) return health();
    if (path == kIndex) return index();
    if (path == kMetrics) return metrics();
    static const QByteArray kDescription = OpenApiText();
    QHttpServerResponse response(QByteArrayLiteral("application/json"), kDescription);
    AddCommonHeaders(response);
    return response;
  }
  if (std::optional<PageAsset> asset = FindPageAsset(path)) {
    if (method != Method::Get) return MethodNotAllowed({QStringLiteral("GET")});
    QHttpServerResponse response(asset->contentType, asset->body);
    AddCommonHeaders(response);
    // The page loads its own files and talks to this server only; nothing may frame it.
    response.setHeader(QByteArrayLiteral("Content-Security-Policy"),
                       QByteArrayLiteral("default-src 'self'; img-src 'self' data:; "
                                         "object-src 'none'; base-uri 'none'; "
                                         "frame-ancestors 'none'"));
    response.setHeader(QByteArrayLiteral("Referrer-Policy"), QByteArrayLiteral("no-referrer"));
    return response;
  }
  QStringList allowed;
  for (const Endpoint& endpoint : Endpoints()) {
    if (QString(endpoint.path) != path) continue;
    if (endpoint.method == method) return runEndpoint(endpoint, request, pathValue);
    allowed << MethodName(endpoint.method);
  }
  return MethodNotAllowed(allowed);
}

QHttpServerResponse HttpFace::runEndpoint(const Endpoint& endpoint,
                                          const QHttpServerRequest& request,
                                          const QString& pathValue) {
  if (request.body().size() > settings_.maxBodyBytes) {
    return ErrorResponse({413, QStringLiteral("payload_too_large"),
                          QStringLiteral("the body may hold at most %1 bytes")
                              .arg(settings_.maxBodyBytes)});
  }
  const RequestValues read = ReadRequestValues(endpoint, request, pathValue);
  if (read.error) return ErrorResponse(*read.error);

  const Instruction* instruction = FindInstruction(endpoint.keyword);
  if (instruction == nullptr) throw std::logic_error("an endpoint names no instruction");
  RequestContext context = hooks_.context();
  std::optional<InstructionReply> reply;
  try {
    reply.emplace(RunInstruction(*instruction, read.values, context));
  } catch (const ConversionError& failure) {
    return ErrorResponse(BadRequest(QStringLiteral("invalid_value"),
                                    QString::fromUtf8(failure.what())));
  } catch (const DatabaseError& failure) {
    log(QStringLiteral("HTTP database error : ") + QString::fromUtf8(failure.what()));
    return ErrorResponse({503, QStringLiteral("unavailable"),
                          QStringLiteral("the booking database could not answer")});
  }

  if (reply->error()) {
    return ErrorResponse(RefusalError(endpoint.keyword, *reply->error()));
  }
  if (endpoint.shape == Endpoint::Shape::kCancellation && reply->rowCount() == 0) {
    return ErrorResponse({404, QStringLiteral("not_found"),
                          QStringLiteral("there is no booking %1 to cancel").arg(pathValue)});
  }
  if (endpoint.shape == Endpoint::Shape::kFirstRow && reply->rowCount() == 0) {
    throw std::runtime_error("the instruction answered no row");
  }
  return Json(ReplyJson(endpoint, *reply, pathValue), endpoint.successStatus);
}

QHttpServerResponse HttpFace::index() {
  QJsonObject answer;
  RequestContext context = hooks_.context();
  const InstructionReply about =
      RunInstruction(*FindInstruction(QStringLiteral("TEST-API")), InstructionValues(), context);
  if (!about.rows().isEmpty()) {
    const QStringList& row = about.rows().first();
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
  return Json({{QStringLiteral("status"), database ? QStringLiteral("ok")
                                                   : QStringLiteral("unavailable")},
               {QStringLiteral("listener"), listening},
               {QStringLiteral("database"), database}},
              database ? 200 : 503);
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
