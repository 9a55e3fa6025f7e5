#include "web/http_request_server.h"

#include "web/http_socket.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>

namespace taurelin {

HttpRequestServer::HttpRequestServer(Handler handler, QObject* parent)
    : QAbstractHttpServer(parent), handler_(std::move(handler)) {}

bool HttpRequestServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
  auto* client = qobject_cast<HttpSocket*>(socket);
  // A request read after its connection was refused or told to close gets no answer.
  if (client == nullptr || !client->takesRequests()) return true;
  QHttpServerResponse response = handler_(request, *client);
  if (client->closesAfterAnswer()) {
    response.setHeader(QByteArrayLiteral("Connection"), QByteArrayLiteral("close"));
  }
  // Neither the answer to a HEAD nor a 304 has a body, whatever its Content-Length says.
  const bool bodiless = request.method() == QHttpServerRequest::Method::Head ||
                        response.statusCode() == QHttpServerResponse::StatusCode::NotModified;
  if (bodiless) client->sendHeadsOnly(true);
  response.write(makeResponder(request, socket));
  if (bodiless) client->sendHeadsOnly(false);
  client->answered();
  return true;
}

void HttpRequestServer::missingHandler(const QHttpServerRequest&, QTcpSocket*) {
  // handleRequest takes every request.
}

}  // namespace taurelin
