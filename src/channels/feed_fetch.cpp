#include "channels/feed_fetch.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace taurelin {
namespace {

QString Megabytes(qint64 bytes) {
  return QString::number(static_cast<double>(bytes) / (1024 * 1024), 'f', 1) +
         QStringLiteral(" MiB");
}

}  // namespace

FeedFetch::FeedFetch(QNetworkAccessManager& network, const QUrl& url, const QByteArray& etag,
                     const QByteArray& lastModified, const FetchLimits& limits, QObject* parent)
    : QObject(parent), limits_(limits) {
  QNetworkRequest request(url);
  request.setTransferTimeout(limits.transferTimeoutMs);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::NoLessSafeRedirectPolicy);
  request.setMaximumRedirectsAllowed(limits.maxRedirects);
  request.setHeader(QNetworkRequest::UserAgentHeader,
                    QByteArrayLiteral("Taurelin/" TAURELIN_VERSION " (channel calendar)"));
  request.setRawHeader(QByteArrayLiteral("Accept"),
                       QByteArrayLiteral("text/calendar, text/plain;q=0.5, */*;q=0.1"));
  // A cached copy would hide what the channel says now.
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                       QNetworkRequest::AlwaysNetwork);
  if (!etag.isEmpty()) request.setRawHeader(QByteArrayLiteral("If-None-Match"), etag);
  if (!lastModified.isEmpty()) {
    request.setRawHeader(QByteArrayLiteral("If-Modified-Since"), lastModified);
  }
  reply_ = network.get(request);
  reply_->setParent(this);
  connect(reply_, &QNetworkReply::metaDataChanged, this, &FeedFetch::checkAnnouncedLength);
  connect(reply_, &QNetworkReply::readyRead, this, &FeedFetch::readSome);
  connect(reply_, &QNetworkReply::finished, this, &FeedFetch::done);
  deadline_.setSingleShot(true);
  connect(&deadline_, &QTimer::timeout, this, [this] {
    fail(QStringLiteral("the read took longer than %1 s").arg(limits_.deadlineMs / 1000.0));
  });
  deadline_.start(limits.deadlineMs);
}

FeedFetch::~FeedFetch() { cancel(); }

void FeedFetch::cancel() {
  over_ = true;
  deadline_.stop();
  if (reply_) {
    reply_->disconnect(this);
    reply_->abort();
    reply_->deleteLater();
  }
}

void FeedFetch::checkAnnouncedLength() {
  if (!reply_ || over_) return;
  const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
  if (length.isValid() && length.toLongLong() > limits_.maxBytes) {
    fail(QStringLiteral("the answer announces %1, more than the %2 a calendar may have")
             .arg(Megabytes(length.toLongLong()), Megabytes(limits_.maxBytes)));
  }
}

void FeedFetch::readSome() {
  if (!reply_ || over_) return;
  body_ += reply_->readAll();
  if (body_.size() > limits_.maxBytes) {
    fail(QStringLiteral("the answer is larger than the %1 a calendar may have")
             .arg(Megabytes(limits_.maxBytes)));
  }
}

void FeedFetch::fail(const QString& why) {
  if (over_) return;
  FetchOutcome outcome;
  outcome.error = why;
  if (reply_) {
    outcome.status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  }
  finish(std::move(outcome));
}

void FeedFetch::done() {
  if (!reply_ || over_) return;
  readSome();
  if (over_) return;
  FetchOutcome outcome;
  outcome.status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (reply_->error() != QNetworkReply::NoError &&
      (outcome.status == 0 || outcome.status == 200)) {
    // No answer, or one cut short: the name, the connection, TLS, the time-out, the
    // redirects.
    outcome.error = reply_->errorString();
  } else if (outcome.status == 304) {
    outcome.kind = FetchOutcome::Kind::kNotModified;
  } else if (outcome.status == 200 && reply_->error() == QNetworkReply::NoError) {
    outcome.kind = FetchOutcome::Kind::kBody;
    outcome.body = std::move(body_);
    outcome.etag = reply_->rawHeader(QByteArrayLiteral("ETag"));
    outcome.lastModified = reply_->rawHeader(QByteArrayLiteral("Last-Modified"));
  } else {
    const QString reason =
        reply_->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    outcome.error = outcome.status != 0
                        ? QStringLiteral("the channel answered %1 %2").arg(outcome.status)
                              .arg(reason).trimmed()
                        : reply_->errorString();
  }
  finish(std::move(outcome));
}

void FeedFetch::finish(FetchOutcome outcome) {
  cancel();
  Q_EMIT finished(outcome);
}

}  // namespace taurelin
