#include "channels/calendar_export.h"

#include <gtest/gtest.h>

#include <QTimeZone>

namespace taurelin {
namespace {

FeedContent Content(const QString& summary) {
  return {1, 2,
          {{QDate(2026, 12, 12), QDate(2026, 12, 15)}, {QDate(2027, 1, 1), QDate(2027, 1, 2)}},
          summary, QDateTime(QDate(2026, 12, 10), QTime(1, 2, 3), QTimeZone::utc())};
}

TEST(CalendarExportTest, EventsAreAllDayRunsWithStableUids) {
  const QByteArray text = CalendarText(Content(QStringLiteral("Ikke tilgjengelig")));
  EXPECT_TRUE(text.startsWith("BEGIN:VCALENDAR\r\n"));
  for (const char* line :
       {"VERSION:2.0\r\n", "METHOD:PUBLISH\r\n", "CALSCALE:GREGORIAN\r\n",
        "DTSTART;VALUE=DATE:20261212\r\n", "DTEND;VALUE=DATE:20261215\r\n",
        "UID:20261212-20261215-1-2@taurelin\r\n", "DTSTAMP:20261210T010203Z\r\n",
        "SUMMARY:Ikke tilgjengelig\r\n", "TRANSP:OPAQUE\r\n",
        "UID:20270101-20270102-1-2@taurelin\r\n"}) {
    EXPECT_TRUE(text.contains(line)) << line;
  }
  EXPECT_EQ(text.count("BEGIN:VEVENT"), 2);
  EXPECT_EQ(CalendarText(Content(QStringLiteral("Ikke tilgjengelig"))), text);
}

TEST(CalendarExportTest, ALongSummaryFoldsOnOctetsBetweenCharacters) {
  // Every offset of a two-, three- and four-octet character against the fold.
  for (int shift = 0; shift < 4; ++shift) {
    const QString summary = QString(shift, u'x') + QStringLiteral("blåbær ☀ 🏔 ").repeated(12);
    const QByteArray text = CalendarText(Content(summary));
    EXPECT_FALSE(text.contains("\n\n"));
    for (const QByteArray& line : text.split('\n')) {
      if (line.isEmpty()) continue;
      EXPECT_TRUE(line.endsWith('\r'));
      EXPECT_LE(line.size() - 1, 75) << line.constData();
      // A fold inside a character would leave bytes that are no UTF-8.
      EXPECT_TRUE(QString::fromUtf8(line).toUtf8() == line) << line.constData();
    }
    QByteArray unfolded = text;
    unfolded.replace("\r\n ", "");
    EXPECT_TRUE(unfolded.contains("SUMMARY:" + summary.toUtf8() + "\r\n"));
  }
}

}  // namespace
}  // namespace taurelin
