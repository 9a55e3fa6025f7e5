#pragma once

// Follows the stream of requests on one HTTP connection as its bytes arrive, before the HTTP
// server library reads them, to tell where each request ends and whether it may be answered.
// The library reads leniently: of two Content-Length headers it takes the first, of
// Content-Length and Transfer-Encoding the chunks, a malformed chunk size ends the body, and
// a head it cannot parse loses all its headers. Each of those would let the library find a
// request boundary elsewhere than a proxy before us did, so that one client's bytes become
// another request. Whatever could be read two ways is refused here instead.
//
// Promises:
// - Bytes may arrive split anywhere: feeding a stream in pieces gives the verdicts of
//   feeding it whole, in the same order.
// - Each request whose head is complete and soundly framed gets one kAnswer verdict, saying
//   whether the connection is to close after its answer (an HTTP/1.0 request, or a
//   Connection header with the token "close"). Its body (by Content-Length, or by chunks)
//   is skipped, and the next request is looked for right after it.
// - A request that is framed ambiguously or wrongly, or that grows past `maxRequestBytes`
//   before it ends, gets a kRefuse verdict with the status to answer, possibly after its
//   kAnswer (a chunk may go wrong late). Bytes that are no HTTP request at all get kNotHttp.
//   Either ends the stream: later bytes are not looked at. A reason is a fixed sentence,
//   never the client's bytes.
// - Empty lines between requests are skipped, as the library skips them; they begin no
//   request.
// - It keeps no more than one line of the stream, and a line longer than `maxRequestBytes`
//   is refused.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace taurelin {

struct FramingVerdict {
  enum Kind { kAnswer, kRefuse, kNotHttp };
  Kind kind = kAnswer;
  bool closeAfterAnswer = false;  // kAnswer
  int status = 0;                 // kRefuse: 400, 413, 431, 501 or 505
  QString reason;                 // kRefuse, kNotHttp
};

class HttpFraming {
 public:
  // The most header fields a head may hold: the library drops every header of a longer one.
  static constexpr int kMaxHeaderFields = 100;

  explicit HttpFraming(qint64 maxRequestBytes);

  // Reads the next bytes of the stream; returns the verdicts they complete, in order.
  QList<FramingVerdict> feed(QByteArrayView bytes);
  // Whether a request has begun and not yet ended.
  bool inRequest() const { return state_ != State::kBetween && state_ != State::kEnded; }
  // How many requests have begun: tells a new request from the one before it.
  qint64 requestsBegun() const { return begun_; }
  // Whether a kRefuse or kNotHttp verdict ended the stream.
  bool ended() const { return state_ == State::kEnded; }
  // Where the last request that ended, ended: a count of the stream's bytes. Once the stream
  // has ended, every byte from there on belongs to the refused request or to none.
  qint64 lastRequestEnd() const { return lastEnd_; }

 private:
  enum class State {
    kBetween,       // before a request: empty lines are skipped
    kRequestLine,
    kHeaderLine,
    kBody,          // bytes counted by Content-Length
    kChunkSize,     // a chunk-size line
    kChunkData,
    kChunkEnd,      // the CRLF after a chunk's data
    kLastChunkEnd,  // the CRLF after the last chunk: no trailer fields
    kEnded,
  };

  // One byte of a line-shaped state, or of the CRLFs after chunks.
  void take(char c);
  void endLine();
  void endRequestLine(QByteArrayView line);
  void endHeaderLine(QByteArrayView line);
  void endHead();
  void endChunkSizeLine(QByteArrayView line);
  void finishRequest();
  void refuse(int status, const QString& reason);
  void notHttp(const QString& reason);

  qint64 maxRequestBytes_;
  State state_ = State::kBetween;
  qint64 begun_ = 0;
  qint64 position_ = 0;  // bytes of the stream looked at
  qint64 lastEnd_ = 0;
  QList<FramingVerdict> verdicts_;  // of the bytes being fed

  // The request under way.
  qint64 requestBytes_ = 0;
  QByteArray line_;
  bool sawCr_ = false;       // the CRLF states: the CR has come
  qint64 bodyLeft_ = 0;      // kBody, kChunkData
  bool http10_ = false;
  int fields_ = 0;
  int hosts_ = 0;
  int transferEncodings_ = 0;
  QByteArray transferEncoding_;
  QByteArray contentLength_;  // its digits; empty: none given
  bool closeAsked_ = false;
};

}  // namespace taurelin
