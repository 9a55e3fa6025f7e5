#include "mail/stay_calendar.h"

#include "mail/mail_content.h"

#include <gtest/gtest.h>

#include <QTimeZone>

namespace taurelin {
namespace {

CalendarStay Fjellstua() {
  CalendarStay stay;
  stay.refnr = 1005;
  stay.domain = QStringLiteral("booking.example");
  stay.arrival = QDate(2027, 1, 15);
  stay.departure = QDate(2027, 1, 18);
  stay.facility = QStringLiteral("Fjellstua på Ås");
  stay.description = QStringLiteral("2 × Hytte\nReferansenummer 1005; kode hA0B");
  stay.sequence = 2;
  stay.stamp = QDateTime(QDate(2026, 12, 10), QTime(1, 2, 3), QTimeZone::utc());
  return stay;
}

TEST(StayCalendarTest, TheStayIsOneAllDayEventNamedByItsReferenceNumber) {
  CalendarStay stay = Fjellstua();
  QByteArray text = StayCalendar(stay);
  EXPECT_TRUE(text.startsWith("BEGIN:VCALENDAR\r\n"));
  EXPECT_TRUE(text.endsWith("END:VCALENDAR\r\n"));
  for (const char* line :
       {"\r\nMETHOD:PUBLISH\r\n", "\r\nPRODID:-//Vindrelok//Taurelin API ", "\r\nVERSION:2.0\r\n",
        "\r\nUID:booking-1005@booking.example\r\n", "\r\nSEQUENCE:2\r\n",
        "\r\nDTSTAMP:20261210T010203Z\r\n", "\r\nDTSTART;VALUE=DATE:20270115\r\n",
        "\r\nDTEND;VALUE=DATE:20270118\r\n", "\r\nSUMMARY:Fjellstua på Ås\\, ref. 1005\r\n",
        "\r\nDESCRIPTION:2 × Hytte\\nReferansenummer 1005\\; kode hA0B\r\n"}) {
    EXPECT_TRUE(text.contains(line)) << line;
  }
  EXPECT_EQ(text.count("BEGIN:VEVENT"), 1);
  EXPECT_FALSE(text.contains("LOCATION"));
  EXPECT_EQ(StayCalendar(stay), text);

  stay.location = QStringLiteral("Åsveien 1, 2560 Alvdal");
  text = StayCalendar(stay);
  EXPECT_TRUE(text.contains("\r\nLOCATION:Åsveien 1\\, 2560 Alvdal\r\n"));
}

TEST(StayCalendarTest, AStayThatCannotBeAnEventThrows) {
  for (const auto& change : std::initializer_list<void (*)(CalendarStay&)>{
           [](CalendarStay& s) { s.departure = s.arrival; },
           [](CalendarStay& s) { s.departure = QDate(); },
           [](CalendarStay& s) { s.domain = QStringLiteral("booking.example\r\nX-Evil: 1"); },
           [](CalendarStay& s) { s.domain.clear(); },
           [](CalendarStay& s) { s.stamp = QDateTime(); },
       }) {
    CalendarStay stay = Fjellstua();
    change(stay);
    EXPECT_THROW(StayCalendar(stay), MailError);
  }
}

}  // namespace
}  // namespace taurelin
