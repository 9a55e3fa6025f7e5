#pragma once

// The HTTP face's listening socket. It admits the clients its admission rule lets in, up to
// `maxConnections` open at once, and hands each on as an HttpSocket with the face's limits;
// any other connection is closed as soon as it is accepted, before a byte is read.

#include "web/http_socket.h"

#include <QHostAddress>
#include <QTcpServer>

#include <functional>

namespace taurelin {

class HttpListener : public QTcpServer {
  Q_OBJECT

 public:
  using Admission = std::function<bool(const QHostAddress& peer)>;

  HttpListener(HttpLimits limits, int maxConnections, Admission admits, QObject* parent);
  int openConnections() const { return open_; }

 Q_SIGNALS:
  void refused(const QString& peer, const QString& reason);
  void closedByGuard(const QString& peer, const QString& reason);

 protected:
  void incomingConnection(qintptr descriptor) override;

 private:
  HttpLimits limits_;
  int maxConnections_;
  Admission admits_;
  int open_ = 0;
};

}  // namespace taurelin
