#include "web/calendar_feeds.h"

#include "channels/calendar_export.h"
#include "handlers/conventions.h"
#include "store/database_error.h"
#include "web/api_error.h"
#include "web/content_negotiation.h"

#include <QCryptographicHash>
#include <QHttpServerRequest>
#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>
#include <QUrlQuery>

#include <optional>

namespace taurelin {
namespace {

const QRegularExpression kFeedPath(
    QRegularExpression::anchoredPattern(QStringLiteral("/ical/v1/([^/]+)/([^/]+)\\.ics")));

// A facility or type number as a feed's path gives it: digits alone, within int.
std::optional<int> FeedNumber(const QString& text) {
  static const QRegularExpression kDigits(
      QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{1,9}")));
  if (!kDigits.match(text).hasMatch()) return std::nullopt;
  return text.toInt();
}

QHttpServerResponse NotFound() {
  return ErrorResponse({404, QStringLiteral("not_found"), QStringLiteral("no such path")});
}

const QString kHttpDate = QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'");

QByteArray HttpDate(const QDateTime& time) {
  return QLocale::c().toString(time.toUTC(), kHttpDate).toLatin1();
}

// Whether the client's copy, described by its conditional headers, is the current one. An
// If-None-Match wins over an If-Modified-Since, as HTTP asks.
bool ClientHasIt(const QHttpServerRequest& request, const QByteArray& etag,
                 const QDateTime& modified) {
  const QByteArray match = request.value(QByteArrayLiteral("If-None-Match")).trimmed();
  if (!match.isEmpty()) return NoneMatchNames(match, etag);
  const QByteArray since = request.value(QByteArrayLiteral("If-Modified-Since")).trimmed();
  if (since.isEmpty()) return false;
  QDateTime date = QLocale::c().toDateTime(QString::fromLatin1(since), kHttpDate);
  if (!date.isValid()) return false;
  date.setTimeZone(QTimeZone::utc());
  return modified <= date;
}

}  // namespace

const QString CalendarFeeds::kPattern = QStringLiteral("/ical/v1/{facility}/{type}.ics");

bool CalendarFeeds::IsFeedPath(const QString& path) { return kFeedPath.match(path).hasMatch(); }

CalendarFeeds::CalendarFeeds(CalendarFeedSettings settings, const QByteArray& secret,
                             std::function<RequestContext()> context)
    : settings_(std::move(settings)), tokens_(secret), context_(std::move(context)) {}

QHttpServerResponse CalendarFeeds::answer(const QHttpServerRequest& request) {
  const QRegularExpressionMatch path = kFeedPath.match(request.url().path());
  const std::optional<int> facility = FeedNumber(path.captured(1));
  const std::optional<int> type = FeedNumber(path.captured(2));
  const QByteArray token =
      QUrlQuery(request.url()).queryItemValue(QStringLiteral("token")).toLatin1();
  if (!facility || !type || !tokens_.matches(*facility, *type, token)) return NotFound();

  std::optional<QList<BusyRun>> runs;
  try {
    RequestContext context = context_();
    BookingStore& store = Store(context.handlers);
    // The spans of one feed look at the change mark once.
    const BookingStore::HeldQuestions held = store.HoldQuestions();
    runs = BusyNightsAhead(*type, QDate::currentDate(), settings_.daysAhead,
                           [&](const QDate& from, const QDate& to) {
                             return store.Matrix(*facility, -1, from, to);
                           });
  } catch (const DatabaseError&) {
    return ErrorResponse({503, QStringLiteral("unavailable"),
                          QStringLiteral("the booking database could not answer")});
  }
  if (!runs) return NotFound();

  const Kept& feed = current(*facility, *type, *runs);
  const bool unchanged = ClientHasIt(request, feed.etag, feed.modified);
  QHttpServerResponse response =
      unchanged ? QHttpServerResponse(QHttpServerResponse::StatusCode::NotModified)
                : QHttpServerResponse(QByteArrayLiteral("text/calendar; charset=utf-8"),
                                      feed.body);
  // Platforms keep what they read and ask again with its validators.
  response.setHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
  response.setHeader(QByteArrayLiteral("X-Content-Type-Options"), QByteArrayLiteral("nosniff"));
  response.setHeader(QByteArrayLiteral("ETag"), feed.etag);
  response.setHeader(QByteArrayLiteral("Last-Modified"), HttpDate(feed.modified));
  return response;
}

const CalendarFeeds::Kept& CalendarFeeds::current(int facility, int type,
                                                  const QList<BusyRun>& runs) {
  Kept& kept = kept_[{facility, type}];
  if (kept.body.isEmpty() || kept.runs != runs) {
    QDateTime now = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(),
                                                  QTimeZone::utc());
    // HTTP dates count seconds: content that changes twice in a second must still get a
    // later Last-Modified, or a client of the first would be told it has the second.
    if (kept.modified.isValid() && now <= kept.modified) now = kept.modified.addSecs(1);
    kept.runs = runs;
    kept.modified = now;
    kept.body = CalendarText({facility, type, runs, settings_.summary, now});
    kept.etag = '"' +
                QCryptographicHash::hash(kept.body, QCryptographicHash::Sha256)
                    .left(16)
                    .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals) +
                '"';
  }
  return kept;
}

}  // namespace taurelin
