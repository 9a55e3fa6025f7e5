#pragma once

// The HTTP face's listening socket. It admits the clients its admission rule lets in, up to
// `maxConnections` open at once and, unless capPerAddress exempts the peer, up to a most per
// address (grouped by AddressKey), and hands each on as an HttpSocket with the face's limits;
// any other connection is closed as soon as it is accepted, before a byte is read.

#include "web/http_socket.h"

#include <QHash>
#include <QHostAddress>
#include <QTcpServer>

#include <functional>

namespace taurelin {

class HttpListener : public QTcpServer {
  Q_OBJECT

 public:
  using Admission = std::function<bool(const QHostAddress& peer)>;

  HttpListener(HttpLimits limits, int maxConnections, Admission admits, QObject* parent);
  // At most `most` connections open at once from one address (0: no such cap), except from
  // the peers `exempt` names (empty: none), such as proxies that carry many clients.
  void capPerAddress(int most, Admission exempt);
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
  int perAddress_ = 0;
  Admission exempt_;
  int open_ = 0;
  QHash<QString, int> openByAddress_;  // by AddressKey
};

}  // namespace taurelin
