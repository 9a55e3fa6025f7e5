#pragma once

// One client connection of the HTTP face, guarded at the socket where the HTTP server
// library leaves a client unbounded. It never parses HTTP; it counts bytes and time:
// - A request (what arrived since the last answer) larger than `maxRequestBytes` is never
//   buffered whole: reading stops at that size, the client is answered 413 and closed.
// - A request must arrive whole within `requestDeadlineMs` of its first byte (a client that
//   trickles its request is answered 408 and closed), and a connection that stays silent
//   `idleMs` between requests is closed.
// - A client that leaves more than `maxUnsentBytes` of answers unread is dropped.
// A request that is no HTTP the library closes by itself, without an answer.
// `closedByGuard` tells why the guard closed it.

#include <QByteArray>
#include <QTcpSocket>
#include <QTimer>

namespace taurelin {

struct HttpLimits {
  qint64 maxRequestBytes = 80 * 1024;  // the body limit and room for the headers
  int requestDeadlineMs = 5000;
  int idleMs = 30000;
  qint64 maxUnsentBytes = 16 * 1024 * 1024;
};

class HttpSocket : public QTcpSocket {
  Q_OBJECT

 public:
  HttpSocket(const HttpLimits& limits, QObject* parent);

  // Whether requests read on this connection are still to be answered: not once the guard
  // has refused it.
  bool takesRequests() const { return !refused_ && state() == ConnectedState; }
  // Whether the connection is to close once the oldest unanswered request is answered.
  bool closesAfterAnswer() const { return false; }
  // The answer to the oldest unanswered request has been written.
  void answered() {}

 Q_SIGNALS:
  void closedByGuard(const QString& reason);

 protected:
  qint64 writeData(const char* data, qint64 size) override;

 private:
  void onReadyRead();
  void checkRequestSize();
  void onIdle();
  // Answers with a short JSON error of its own and closes the connection.
  void refuse(int status, const QByteArray& reason, const QString& why);

  HttpLimits limits_;
  qint64 received_ = 0;  // bytes of the request that has no answer yet
  bool refused_ = false;
  QTimer deadline_;
  QTimer idle_;
};

}  // namespace taurelin
