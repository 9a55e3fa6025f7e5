#pragma once

// The HTTP server library's request reader, without its router: every whole request goes to
// one handler together with the connection it came on, and the handler's response is written
// on that connection. So the face routes requests itself and can tell the connection when an
// answer has gone out (a client that asked to close is closed after it).

#include <QAbstractHttpServer>
#include <QHttpServerResponse>

#include <functional>

namespace taurelin {

class HttpSocket;

class HttpRequestServer : public QAbstractHttpServer {
  Q_OBJECT

 public:
  // `socket` is the face's guarded connection; the handler never writes to it itself.
  using Handler = std::function<QHttpServerResponse(const QHttpServerRequest& request,
                                                    HttpSocket& socket)>;

  explicit HttpRequestServer(Handler handler, QObject* parent = nullptr);

 protected:
  bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
  void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

 private:
  Handler handler_;
};

}  // namespace taurelin
