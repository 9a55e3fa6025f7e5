#pragma once

// One client connection of the HTTP face, guarded at the socket where the HTTP server
// library leaves a client unbounded or reads it leniently. Each chunk of bytes is looked at
// before the library reads it (its readyRead slot is connected first), and an HttpFraming
// follows the requests in it:
// - A request that is framed ambiguously or wrongly (two differing Content-Lengths, both
//   Content-Length and Transfer-Encoding, two Hosts, a malformed chunk ...) is answered with
//   a short JSON error of the socket's own and closed. The requests before it are answered
//   first; its bytes, and any after it, never reach the library.
// - A request larger than `maxRequestBytes` is never buffered whole: it is refused as soon as
//   its head says so, or when it reaches that size unfinished (413, closed).
// - A request must arrive whole within `requestDeadlineMs` of its first byte (a client that
//   trickles its request is answered 408 and closed), and a connection that stays silent
//   `idleMs` between requests is closed.
// - A request that asks to close (HTTP/1.0, or Connection: close) is answered and then the
//   connection closes; requests sent behind it are not answered.
// - A client that leaves more than `maxUnsentBytes` of answers unread is dropped.
// Bytes that are no HTTP request at all are closed without an answer.
// The answer to a HEAD request, and a 304, are sent without a body. `closedByGuard` tells why the guard
// closed it.

#include "web/http_framing.h"

#include <QByteArray>
#include <QQueue>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

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
  // has refused it, nor once a request that asked to close has its answer.
  bool takesRequests() const { return !refused_ && !closing_ && state() == ConnectedState; }
  // Whether the connection is to close once the oldest unanswered request is answered.
  bool closesAfterAnswer() const { return !unanswered_.isEmpty() && unanswered_.head(); }
  // The answer to the oldest unanswered request has been written: a request that asked to
  // close has the connection closed behind its answer (the answer is sent first).
  void answered();
  // The server library has taken this connection and connected its reader: from now on the
  // socket also notes what the library leaves unread after each read, so that it looks at
  // each byte once although the library announces leftovers again.
  void followLibraryReads();
  // While on, an answer written passes up to the end of its head and its body is dropped,
  // as HTTP asks of the answer to a HEAD request or a 304 (its Content-Length is still the
  // body's).
  void sendHeadsOnly(bool on);

 Q_SIGNALS:
  void closedByGuard(const QString& reason);

 protected:
  qint64 writeData(const char* data, qint64 size) override;

 private:
  void onReadyRead();
  // Feeds bytes not seen before to framing_ and acts on its verdicts.
  void follow(const QByteArray& fresh);
  // Refuses as refusal_ says once the library has read up to the refused request, or `now`.
  void settleRefusal(bool now);
  void onIdle();
  // Answers with a short JSON error of its own and closes the connection; what is unread
  // is read out first, so that the library finds nothing of it.
  void refuse(int status, const QString& why);
  // Closes without an answer.
  void drop(const QString& why);

  HttpLimits limits_;
  HttpFraming framing_;
  QQueue<bool> unanswered_;  // per request whose head came: whether it asked to close
  std::optional<FramingVerdict> refusal_;  // waiting for the library to read up to it
  qint64 fed_ = 0;  // bytes of the stream looked at
  qint64 seen_ = 0;  // of them, at the front of the read buffer still
  qint64 libraryAt_ = 0;  // bytes of the stream the library had read before its last turn
  qint64 timedRequest_ = 0;  // the request (by framing_.requestsBegun()) deadline_ runs for
  bool headsOnly_ = false;
  quint32 lastFour_ = 0;  // the last four bytes written while headsOnly_, to find the head's end
  bool headSent_ = false;
  bool refused_ = false;
  bool closing_ = false;
  QTimer deadline_;
  QTimer idle_;
};

}  // namespace taurelin
