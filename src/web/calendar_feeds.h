#pragma once

// The exported calendar feeds on the HTTP face: GET /ical/v1/{facility}/{type}.ics?token=T
// answers the iCalendar text of the nights the type has nothing left to sell at the facility,
// for the booking platforms that poll it. They poll often, so an unchanged feed costs a look
// at the database's change mark (the store keeps its matrix answers while nothing changed)
// and, for a platform that sends back what it was given, a 304.
//
// Promises: a missing or wrong token, a facility or type that is no number and a pair that is
// not sold all get one and the same 404, so a wrong token tells nothing of the pair; the token
// is checked before the database is asked anything. A feed keeps its DTSTAMP and
// Last-Modified, kept here per feed, while its nights stay the same, so the same nights give
// the same bytes and the same strong ETag.

#include "channels/busy_nights.h"
#include "channels/feed_token.h"
#include "protocol/request_context.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QHttpServerResponse>
#include <QString>

#include <functional>
#include <utility>

class QHttpServerRequest;

namespace taurelin {

struct CalendarFeedSettings {
  int daysAhead = 730;                               // IcalDaysAhead
  QString summary = QStringLiteral("Ikke tilgjengelig");  // IcalSummary
};

class CalendarFeeds {
 public:
  // The route pattern the face counts feed requests under.
  static const QString kPattern;
  // Whether `path` has the form of a feed's path (its numbers unchecked).
  static bool IsFeedPath(const QString& path);

  // `secret`: the booking codes' secret; throws std::invalid_argument when it is too short.
  CalendarFeeds(CalendarFeedSettings settings, const QByteArray& secret,
                std::function<RequestContext()> context);

  // The answer to a GET of a feed's path.
  QHttpServerResponse answer(const QHttpServerRequest& request);

 private:
  struct Kept {
    QList<BusyRun> runs;
    QByteArray body;
    QByteArray etag;
    QDateTime modified;  // when this content was first served, to the second
  };

  const Kept& current(int facility, int type, const QList<BusyRun>& runs);

  CalendarFeedSettings settings_;
  FeedTokens tokens_;
  std::function<RequestContext()> context_;
  QHash<std::pair<int, int>, Kept> kept_;
};

}  // namespace taurelin
