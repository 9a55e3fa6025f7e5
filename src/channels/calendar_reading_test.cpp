#include "channels/calendar_reading.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
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
  ASSERT_EQ(reading.events.size(), 9);
  const QString derived = reading.events[4].uid;
  EXPECT_TRUE(derived.startsWith(u"derived-")) << derived.toStdString();
  // The dates as written in each event's zone; a same-day event holds its night; a weekly
  // repeat is its four occurrences, one moved by its override (written before the event);
  // of a UID given twice the first stays.
  EXPECT_EQ(Stays(reading),
            "fb-tzid-1001@fjordbook.example 2030-10-10 2030-10-12\n"
            "fb-utc-1002@fjordbook.example 2030-10-20 2030-10-21\n"
            "fb-floating-1003@fjordbook.example 2030-10-25 2030-10-26\n"
            "fb-duration-1004@fjordbook.example 2030-11-01 2030-11-04\n" +
                derived + " 2030-11-10 2030-11-12\n"
                "fb-weekly-1005@fjordbook.example#20301201 2030-12-01 2030-12-02\n"
                "fb-weekly-1005@fjordbook.example#20301208 2030-12-09 2030-12-10\n"
                "fb-weekly-1005@fjordbook.example#20301215 2030-12-15 2030-12-16\n"
                "fb-weekly-1005@fjordbook.example#20301222 2030-12-22 2030-12-23");
  EXPECT_EQ(reading.events[6].summary, "Maintenance (moved)");
  EXPECT_EQ(reading.notes,
            QStringList({"event fb-utc-1002@fjordbook.example is given twice: the first is "
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

TEST(CalendarReadingTest, RepeatsAreListedAsTheirOccurrencesUpToTheHorizon) {
  const QByteArray weekly = Fixture("weekly_owner_block.ics");
  const QString block = QStringLiteral("5d0c6f4e-2b7a-4c1e-9a83-71e2f0b4c9d2#");
  // Read on a Friday whose weekend is under way: the ended weekends are left out; the moved
  // one at its new dates under its own key, the cancelled one listed cancelled; the one an
  // EXDATE in UTC leaves out is absent; the RDATE is in, and so is the last one, which UNTIL
  // names in UTC in summer time.
  const CalendarReading reading = Read(weekly, QDate(2030, 2, 1), 365);
  const QStringList weekends = {
      block + "20300201T160000 2030-02-01 2030-02-03",
      block + "20300208T160000 2030-02-09 2030-02-11",
      block + "20300215T160000 2030-02-15 2030-02-17",
      block + "20300222T160000 2030-02-22 2030-02-24",
      block + "20300301T160000 2030-03-01 2030-03-03 cancelled",
      block + "20300308T160000 2030-03-08 2030-03-10",
      block + "20300322T160000 2030-03-22 2030-03-24",
      block + "20300329T160000 2030-03-29 2030-03-31",
      block + "20300405T160000 2030-04-05 2030-04-07",
      block + "20300412T160000 2030-04-12 2030-04-14",
      block + "20300417T160000 2030-04-17 2030-04-19",
      block + "20300419T160000 2030-04-19 2030-04-21",
      block + "20300426T160000 2030-04-26 2030-04-28"};
  EXPECT_EQ(Stays(reading), weekends.join(u'\n'));
  EXPECT_EQ(reading.events[1].summary, "Owner weekend (from Saturday)");
  EXPECT_EQ(reading.horizon, QDate(2031, 2, 1));
  EXPECT_TRUE(reading.notes.isEmpty()) << reading.notes.join(u'\n').toStdString();
  // Read later, with a horizon in April: the same weekends under the same keys, up to it.
  EXPECT_EQ(Stays(Read(weekly, QDate(2030, 3, 23), 27)), weekends.mid(6, 6).join(u'\n'));

  // All-day yearly blocks: every summer (begun years ago), and three winters by COUNT.
  EXPECT_EQ(Stays(Read(Fixture("yearly_block.ics"), QDate(2030, 7, 6), 730)),
            "hx-owner-block-310@holidaylet.example#20300704 2030-07-04 2030-07-11\n"
            "hx-owner-block-310@holidaylet.example#20310704 2031-07-04 2031-07-11\n"
            "hx-owner-block-310@holidaylet.example#20320704 2032-07-04 2032-07-11\n"
            "hx-owner-block-311@holidaylet.example#20310208 2031-02-08 2031-02-15");
}

TEST(CalendarReadingTest, HostileRulesAreCutShortPromptly) {
  const QByteArray body =
      "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Hostile//EN\n"
      // A zone that changes every minute, which converting the UTC EXDATE into it would
      // expand for hours.
      "BEGIN:VTIMEZONE\nTZID:Everywhere\nBEGIN:STANDARD\nDTSTART:19700101T000000\n"
      "RRULE:FREQ=MINUTELY\nTZOFFSETFROM:+0100\nTZOFFSETTO:+0100\nEND:STANDARD\n"
      "END:VTIMEZONE\n"
      "BEGIN:VEVENT\nUID:seconds\nDTSTART;TZID=Everywhere:19700101T000000\n"
      "RRULE:FREQ=SECONDLY;INTERVAL=7\nEXDATE:20300101T000002Z\nEND:VEVENT\n"
      "BEGIN:VEVENT\nUID:days\nDTSTART;VALUE=DATE:19700101\nRRULE:FREQ=DAILY\nEND:VEVENT\n"
      "BEGIN:VEVENT\nUID:counted\nDTSTART:19700101T000000Z\n"
      "RRULE:FREQ=MINUTELY;COUNT=2000000000\nEND:VEVENT\n"
      "END:VCALENDAR\n";
  QElapsedTimer timer;
  timer.start();
  const CalendarReading reading = Read(body);
  EXPECT_LT(timer.elapsed(), 10000);

  QStringList seconds, days;
  for (const CalendarEvent& event : reading.events) {
    (event.uid.startsWith(u"seconds#") ? seconds : days) << event.uid;
  }
  // Bounded, and on the rule's own grid of seven seconds from 1970: begun near today, the
  // rule keeps its phase.
  ASSERT_EQ(seconds.size(), kMostOccurrences);
  const QDateTime first = QDateTime::fromString(seconds[0].mid(8), u"yyyyMMdd'T'hhmmss");
  EXPECT_EQ(first.date(), kToday);
  EXPECT_EQ(QDateTime(QDate(1970, 1, 1), QTime(0, 0)).secsTo(first) % 7, 0)
      << seconds[0].toStdString();
  // A daily rule of 1970 without end: today and every day to the horizon.
  ASSERT_EQ(days.size(), kDefaultDaysAhead + 1);
  EXPECT_EQ(days.first(), "days#20300101");
  EXPECT_EQ(days.last(), "days#20320101");
  // The zone, the cap and the counted rule that cannot be followed to today are noted.
  EXPECT_EQ(reading.notes.size(), 3) << reading.notes.join(u'\n').toStdString();
}

}  // namespace
}  // namespace taurelin
