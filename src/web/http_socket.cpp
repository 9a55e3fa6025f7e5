#include "web/http_socket.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <utility>

namespace taurelin {
namespace {

// What the socket answers by itself: the reason phrase and the code name of each status.
struct OwnAnswer {
  int status;
  const char* phrase;
  const char* code;
};

constexpr OwnAnswer kOwnAnswers[] = {
    {400, "Bad Request", "malformed_request"},
    {408, "Request Timeout", "request_timeout"},
    {413, "Payload Too Large", "payload_too_large"},
    {431, "Request Header Fields Too Large", "header_fields_too_large"},
    {501, "Not Implemented", "unsupported_transfer_coding"},
    {505, "HTTP Version Not Supported", "http_version_not_supported"},
};

}  // namespace

HttpSocket::HttpSocket(const HttpLimits& limits, QObject* parent)
    : QTcpSocket(parent), limits_(limits), framing_(limits.maxRequestBytes) {
  // The library keeps a request's bytes until the request is whole; this bounds them.
  setReadBufferSize(limits_.maxRequestBytes);
  deadline_.setSingleShot(true);
  idle_.setSingleShot(true);
  connect(&deadline_, &QTimer::timeout, this,
          [this] { refuse(408, QStringLiteral("the request did not arrive in time")); });
  connect(&idle_, &QTimer::timeout, this, &HttpSocket::onIdle);
  // Connected before the library connects its own reader, so it sees each chunk first.
  connect(this, &QTcpSocket::readyRead, this, &HttpSocket::onReadyRead);
  connect(this, &QTcpSocket::bytesWritten, this, [this] { idle_.start(limits_.idleMs); });
  idle_.start(limits_.idleMs);
}

void HttpSocket::followLibraryReads() {
  // The library reads one request a turn and announces what is left with readyRead again;
  // what it left is what this socket has seen already. Connected after the library's
  // reader, this runs once it has read.
  if (receivers(SIGNAL(readyRead())) < 2) {
    qWarning("HttpSocket: the HTTP server library has not connected its reader yet");
  }
  connect(this, &QTcpSocket::readyRead, this, [this] {
    seen_ = bytesAvailable();
    if (!refusal_) return;
    // Having read nothing, the library does not come back for more on its own.
    settleRefusal(fed_ - seen_ == libraryAt_);
  });
}

void HttpSocket::onReadyRead() {
  if (!takesRequests()) {
    // Refused or closing: nothing more reaches the library.
    skip(bytesAvailable());
    return;
  }
  const qint64 available = bytesAvailable();
  if (available > seen_) {
    const QByteArray fresh = peek(available).sliced(seen_);
    seen_ = available;
    fed_ += fresh.size();
    if (!framing_.ended()) follow(fresh);
  }
  libraryAt_ = fed_ - available;
  if (refusal_) settleRefusal(false);
}

void HttpSocket::follow(const QByteArray& fresh) {
  const bool wasInRequest = framing_.inRequest();
  const qint64 begunBefore = framing_.requestsBegun();
  for (const FramingVerdict& verdict : framing_.feed(fresh)) {
    if (verdict.kind == FramingVerdict::kAnswer) {
      unanswered_.enqueue(verdict.closeAfterAnswer);
    } else {
      refusal_ = verdict;
    }
  }
  if (!framing_.inRequest()) {
    deadline_.stop();
  } else if (!deadline_.isActive() || timedRequest_ != framing_.requestsBegun()) {
    timedRequest_ = framing_.requestsBegun();
    deadline_.start(limits_.requestDeadlineMs);
  }
  // Empty lines alone do not keep a connection from being idle.
  if (wasInRequest || framing_.inRequest() || framing_.requestsBegun() != begunBefore) {
    idle_.start(limits_.idleMs);
  }
}

void HttpSocket::settleRefusal(bool now) {
  // The requests before the refused one are the library's to read (one a turn) and to have
  // answered; the refused one's bytes are not.
  if (!now && fed_ - bytesAvailable() < framing_.lastRequestEnd()) return;
  const FramingVerdict verdict = *std::exchange(refusal_, std::nullopt);
  if (!takesRequests()) {
    skip(bytesAvailable());  // a request before it asked to close
  } else if (verdict.kind == FramingVerdict::kRefuse) {
    refuse(verdict.status, verdict.reason);
  } else {
    drop(verdict.reason);
  }
}

void HttpSocket::answered() {
  if (unanswered_.isEmpty()) return;
  if (unanswered_.dequeue() && state() == ConnectedState) {
    closing_ = true;
    deadline_.stop();
    disconnectFromHost();
  }
}

void HttpSocket::sendHeadsOnly(bool on) {
  headsOnly_ = on;
  lastFour_ = 0;
  headSent_ = false;
}

qint64 HttpSocket::writeData(const char* data, qint64 size) {
  idle_.start(limits_.idleMs);
  qint64 passed = size;
  if (headsOnly_) {
    passed = 0;
    while (passed < size && !headSent_) {
      lastFour_ = (lastFour_ << 8) | static_cast<unsigned char>(data[passed++]);
      headSent_ = lastFour_ == 0x0d0a0d0a;  // \r\n\r\n
    }
  }
  qint64 written = passed > 0 ? QTcpSocket::writeData(data, passed) : 0;
  // What is dropped counts as written: the writer has nothing left to send.
  if (written == passed) written = size;
  if (!refused_ && bytesToWrite() > limits_.maxUnsentBytes) {
    refused_ = true;
    QTimer::singleShot(0, this, [this] {
      Q_EMIT closedByGuard(QStringLiteral("unread answers"));
      abort();
    });
  }
  return written;
}

void HttpSocket::onIdle() {
  if (refused_ || closing_) {
    abort();
    return;
  }
  if (framing_.inRequest()) {
    refuse(408, QStringLiteral("the request did not arrive in time"));
    return;
  }
  Q_EMIT closedByGuard(QStringLiteral("idle"));
  closing_ = true;
  disconnectFromHost();
  // A client that neither reads nor closes is not waited for long.
  idle_.start(1000);
}

void HttpSocket::refuse(int status, const QString& why) {
  if (refused_ || state() != ConnectedState) return;
  refused_ = true;
  deadline_.stop();
  skip(bytesAvailable());
  Q_EMIT closedByGuard(why);
  const OwnAnswer* own = std::find_if(std::begin(kOwnAnswers), std::end(kOwnAnswers),
                                      [status](const OwnAnswer& a) { return a.status == status; });
  if (own == std::end(kOwnAnswers)) own = kOwnAnswers;
  const QByteArray body =
      QJsonDocument(QJsonObject{{"error", QJsonObject{{"code", own->code}, {"message", why}}}})
          .toJson(QJsonDocument::Compact);
  QByteArray answer = "HTTP/1.1 " + QByteArray::number(status) + ' ' + own->phrase + "\r\n";
  answer += "Content-Type: application/json\r\nConnection: close\r\nContent-Length: " +
            QByteArray::number(body.size()) + "\r\n\r\n" + body;
  write(answer);
  flush();
  disconnectFromHost();
  // A client that neither reads nor closes is not waited for long.
  idle_.start(1000);
}

void HttpSocket::drop(const QString& why) {
  refused_ = true;
  deadline_.stop();
  skip(bytesAvailable());
  Q_EMIT closedByGuard(why);
  disconnectFromHost();
  idle_.start(1000);
}

}  // namespace taurelin
