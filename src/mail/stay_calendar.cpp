#include "mail/stay_calendar.h"

#include "mail/mail_address.h"
#include "mail/mail_content.h"

#include <libical/ical.h>

#include <ctime>
#include <memory>

namespace taurelin {
namespace {

struct FreeComponent {
  void operator()(icalcomponent* component) const { icalcomponent_free(component); }
};
using Component = std::unique_ptr<icalcomponent, FreeComponent>;

struct FreeText {
  void operator()(char* text) const { icalmemory_free_buffer(text); }
};

icaltimetype Date(const QDate& day) {
  icaltimetype date = icaltime_null_date();
  date.year = day.year();
  date.month = day.month();
  date.day = day.day();
  return date;
}

void Add(icalcomponent* component, icalproperty* property) {
  icalcomponent_add_property(component, property);
}

}  // namespace

QByteArray StayCalendar(const CalendarStay& stay) {
  if (!stay.arrival.isValid() || !stay.departure.isValid() || stay.departure <= stay.arrival) {
    throw MailError(QStringLiteral("the stay of booking %1 does not depart after it arrives")
                        .arg(stay.refnr));
  }
  // A domain is what may stand after an address's @.
  if (!IsMailAddress(QStringLiteral("booking@") + stay.domain)) {
    throw MailError(QStringLiteral("'%1' is no domain for a calendar's UID").arg(stay.domain));
  }
  if (!stay.stamp.isValid()) throw MailError(QStringLiteral("the stay's calendar has no stamp"));

  Component calendar(icalcomponent_new_vcalendar());
  Add(calendar.get(), icalproperty_new_prodid("-//Vindrelok//Taurelin API " TAURELIN_VERSION
                                              "//EN"));
  Add(calendar.get(), icalproperty_new_version("2.0"));
  Add(calendar.get(), icalproperty_new_calscale("GREGORIAN"));
  Add(calendar.get(), icalproperty_new_method(ICAL_METHOD_PUBLISH));

  Component event(icalcomponent_new_vevent());
  const QByteArray uid =
      "booking-" + QByteArray::number(stay.refnr) + '@' + stay.domain.toLatin1();
  Add(event.get(), icalproperty_new_uid(uid.constData()));
  Add(event.get(), icalproperty_new_dtstamp(icaltime_from_timet_with_zone(
                       static_cast<time_t>(stay.stamp.toSecsSinceEpoch()), 0,
                       icaltimezone_get_utc_timezone())));
  Add(event.get(), icalproperty_new_sequence(stay.sequence));
  Add(event.get(), icalproperty_new_dtstart(Date(stay.arrival)));
  Add(event.get(), icalproperty_new_dtend(Date(stay.departure)));
  const QString summary = stay.facility.isEmpty()
                              ? QStringLiteral("ref. %1").arg(stay.refnr)
                              : QStringLiteral("%1, ref. %2").arg(stay.facility).arg(stay.refnr);
  Add(event.get(), icalproperty_new_summary(summary.toUtf8().constData()));
  if (!stay.description.isEmpty()) {
    Add(event.get(), icalproperty_new_description(stay.description.toUtf8().constData()));
  }
  if (!stay.location.isEmpty()) {
    Add(event.get(), icalproperty_new_location(stay.location.toUtf8().constData()));
  }
  icalcomponent_add_component(calendar.get(), event.release());

  // libical writes CRLF, escapes line breaks and commas in texts, and folds at 75 octets.
  const std::unique_ptr<char, FreeText> text(icalcomponent_as_ical_string_r(calendar.get()));
  return QByteArray(text.get());
}

}  // namespace taurelin
