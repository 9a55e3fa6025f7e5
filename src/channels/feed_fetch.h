#pragma once

// One read of a channel's calendar over HTTP: a conditional GET (If-None-Match,
// If-Modified-Since) on the event loop, never blocking it.
//
// Promises: the answer is refused, not truncated, once it passes the size cap (a length
// announced beyond it is refused before its body comes); a read that stalls past the transfer
// time-out, or drags on past the deadline, is aborted; TLS certificates are verified and
// nothing is ever ignored; at most a few redirects are followed, never from https to http;
// a body is handed on only when the whole of it was read with status 200, so a caller may
// take what it lacks as gone.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace taurelin {

struct FetchLimits {
  qint64 maxBytes = 8 * 1024 * 1024;
  int transferTimeoutMs = 30 * 1000;  // no byte for this long
  int deadlineMs = 120 * 1000;        // the whole read
  int maxRedirects = 5;
};

struct FetchOutcome {
  enum class Kind {
    kBody,         // status 200, the whole body
    kNotModified,  // 304: nothing new since the last read
    kFailed,       // no calendar: why is in `error`
  };
  Kind kind = Kind::kFailed;
  QByteArray body;
  // The validators to send next time, from a 200.
  QByteArray etag;
  QByteArray lastModified;
  QString error;
  int status = 0;  // the HTTP status, 0 when none came
};

class FeedFetch : public QObject {
  Q_OBJECT

 public:
  // Starts the read at once; `finished` comes exactly once, from the event loop.
  FeedFetch(QNetworkAccessManager& network, const QUrl& url, const QByteArray& etag,
            const QByteArray& lastModified, const FetchLimits& limits, QObject* parent = nullptr);
  ~FeedFetch() override;

  // Ends the read without an answer; `finished` does not come.
  void cancel();

 Q_SIGNALS:
  void finished(const taurelin::FetchOutcome& outcome);

 private:
  void readSome();
  void checkAnnouncedLength();
  void fail(const QString& why);
  void done();
  void finish(FetchOutcome outcome);

  FetchLimits limits_;
  QPointer<QNetworkReply> reply_;
  QByteArray body_;
  QTimer deadline_;
  bool over_ = false;
};

}  // namespace taurelin
