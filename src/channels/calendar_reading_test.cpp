#include "channels/calendar_reading.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>

namespace taurelin {
namespace {

// The day the fixtures are read on unless a test says otherwise: before their stays of 2030.
const QDate kToday(2030, 1, 1);

QByteArray Fixture(const char* name) {
  QFile file(QStringLiteral(TAURELIN_ICAL_FIXTURES "/") + QLatin1String(name));
  if (!file.open(QIODevice::ReadOnly)) ADD_FAILURE() << "no fixture " << name;
  return file.readAll();
}

CalendarReading Read(const QByteArray& body, const QDate& today = kToday,
                     int daysAhead = kDefaultDaysAhead) {
  return ReadCalendar(body, today, daysAhead);
}

// uid arrival departure [cancelled], one event a line.
QString Stays(const CalendarReading& reading) {
  QStringList lines;
  for (const CalendarEvent& event : reading.events) {
    lines << QStringLiteral("%1 %2 %3%4")
                 .arg(event.uid, event.arrival.toString(Qt::ISODate),
                      event.departure.toString(Qt::ISODate),
                      event.cancelled ? QStringLiteral(" cancelled") : QString());
  }
  return lines.join(u'\n');
}

TEST(CalendarReadingTest, AllDayEventsWithFoldedLinesAndPastOnes) {
  const CalendarReading reading = Read(Fixture("reserved_stays.ics"));
  EXPECT_EQ(Stays(reading),
            "1418fb94e984-7f3b6c0d3a2e1c9b5e4d8a7f6b2c1d0e2f3a4b5c6d7e8f9a0b1c2d3e4f5a6b7c8d"
            "@stayhost.example 2030-06-10 2030-06-14\n"
            "1418fb94e984-0c9d8e7f6a5b4c3d2e1f0a9b8c7d6e5f@stayhost.example 2030-07-01 "
            "2030-07-05\n"
            "1418fb94e984-5e4d3c2b1a0f9e8d7c6b5a4f3e2d1c0b@stayhost.example 2020-03-05 "
            "2020-03-10");
  EXPECT_EQ(reading.events[1].summary, "Stayhost (Not available)");
  EXPECT_TRUE(reading.notes.isEmpty()) << reading.notes.join(u'\n').toStdString();

  // LF line ends; an all-day event without DTEND holds one night.
  EXPECT_EQ(Stays(Read(Fixture("blocked_windows.ics"))),
            "rf-7a1c93e0-20300801@roomfinder.example 2030-08-01 2030-08-08\n"
            "rf-7a1c93e0-20300815@roomfinder.example 2030-08-15 2030-08-16");
  EXPECT_EQ(Stays(Read(Fixture("cancelled.ics"))),
            "hx-booking-88213@holidaylet.example 2030-09-01 2030-09-05 cancelled\n"
            "hx-booking-88240@holidaylet.example 2030-09-20 2030-09-22");
  EXPECT_TRUE(Read(Fixture("empty_calendar.ics")).events.isEmpty());
  // A feed between two exports: a header and a time zone, no events.
  EXPECT_TRUE(Read(Fixture("header_only.ics")).events.isEmpty());
}

TEST(CalendarReadingTest, DateTimesDurationsRepeatsAndUidsAsPlatformsWriteThem) {
  const CalendarReading reading = Read(Fixture("datetime_events.ics"));
  ASSERT_EQ(reading.events.size(), 6);
  const QString derived = reading.events[4].uid;
  EXPECT_TRUE(derived.startsWith(u"derived-")) << derived.toStdString();
  // The dates as written in each event's zone; a same-day event holds its night; the master
  // of a repeat wins over its override; of a UID given twice the first stays.
  EXPECT_EQ(Stays(reading),
            "fb-tzid-1001@fjordbook.example 2030-10-10 2030-10-12\n"
            "fb-utc-1002@fjordbook.example 2030-10-20 2030-10-21\n"
            "fb-floating-1003@fjordbook.example 2030-10-25 2030-10-26\n"
            "fb-duration-1004@fjordbook.example 2030-11-01 2030-11-04\n" +
                derived + " 2030-11-10 2030-11-12\n"
                "fb-weekly-1005@fjordbook.example 2030-12-01 2030-12-02");
  EXPECT_EQ(reading.notes,
            QStringList({"event fb-weekly-1005@fjordbook.example repeats: only its first "
                         "occurrence is booked",
                         "event fb-utc-1002@fjordbook.example is given twice: the first is "
                         "kept"}));
  // The derived UID is the same on the next read.
  EXPECT_EQ(Read(Fixture("datetime_events.ics")).events[4].uid, derived);
}

TEST(CalendarReadingTest, OddEventsAreListedWithoutDates) {
  // Listed, so that its booking is not taken for gone; nothing to book.
  const CalendarReading reading = Read(
      "BEGIN:VCALENDAR\nVERSION:2.0\n"
      "BEGIN:VEVENT\nUID:backwards\nDTSTART;VALUE=DATE:20300610\nDTEND;VALUE=DATE:20300601\n"
      "END:VEVENT\n"
      "BEGIN:VEVENT\nUID:endless\nDTSTART;VALUE=DATE:20300610\nDURATION:P5000D\nEND:VEVENT\n"
      "BEGIN:VEVENT\nUID:undated\nSUMMARY:Reserved\nEND:VEVENT\n"
      "END:VCALENDAR\n");
  ASSERT_EQ(reading.events.size(), 3);
  for (const CalendarEvent& event : reading.events) {
    EXPECT_FALSE(event.bookable()) << event.uid.toStdString();
  }
  EXPECT_EQ(reading.notes.size(), 3);
  // A UID too long to store is known by a digest of it, the same each time.
  const QByteArray longUid = "BEGIN:VCALENDAR\nVERSION:2.0\nBEGIN:VEVENT\nUID:" +
                             QByteArray(300, 'u') +
                             "\nDTSTART;VALUE=DATE:20300610\nEND:VEVENT\nEND:VCALENDAR\n";
  EXPECT_EQ(Read(longUid).events[0].uid,
            "digest-" + QCryptographicHash::hash(QByteArray(300, 'u'), QCryptographicHash::Sha1)
                            .toHex());
}

TEST(CalendarReadingTest, WhatIsNoUsableCalendarIsRefused) {
  QByteArray cut = Fixture("moved_before.ics");
  cut.chop(QByteArrayLiteral("END:VCALENDAR\r\n").size());
  for (const QByteArray& body :
       {Fixture("not_a_calendar.html"), QByteArray("{\"events\": []}"), QByteArray(),
        QByteArray("   \r\n"), QByteArray("BEGIN:VCALENDAR\0\x01\x02" "END:VCALENDAR", 31), cut,
        Fixture("bom_only.ics"), Fixture("bom_empty_vcalendar.ics"), Fixture("todos_only.ics"),
        Fixture("no_version.txt")}) {
    EXPECT_THROW(Read(body), CalendarFormatError) << body.left(40).toStdString();
  }
}

}  // namespace
}  // namespace taurelin
