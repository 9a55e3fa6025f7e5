#include "channels/calendar_export.h"

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

QByteArray Uid(const FeedContent& content, const BusyRun& run) {
  return run.first.toString(u"yyyyMMdd").toLatin1() + '-' +
         run.departure.toString(u"yyyyMMdd").toLatin1() + '-' +
         QByteArray::number(content.facility) + '-' + QByteArray::number(content.type) +
         "@taurelin";
}

}  // namespace

QByteArray CalendarText(const FeedContent& content) {
  Component calendar(icalcomponent_new_vcalendar());
  icalcomponent_add_property(calendar.get(),
                             icalproperty_new_prodid("-//Vindrelok//Taurelin API " TAURELIN_VERSION
                                                     "//EN"));
  icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
  icalcomponent_add_property(calendar.get(), icalproperty_new_calscale("GREGORIAN"));
  icalcomponent_add_property(calendar.get(), icalproperty_new_method(ICAL_METHOD_PUBLISH));

  const icaltimetype stamp = icaltime_from_timet_with_zone(
      static_cast<time_t>(content.stamp.toSecsSinceEpoch()), 0,
      icaltimezone_get_utc_timezone());
  const QByteArray summary = content.summary.toUtf8();
  for (const BusyRun& run : content.runs) {
    Component event(icalcomponent_new_vevent());
    icalcomponent_add_property(event.get(), icalproperty_new_dtstart(Date(run.first)));
    icalcomponent_add_property(event.get(), icalproperty_new_dtend(Date(run.departure)));
    icalcomponent_add_property(event.get(), icalproperty_new_uid(Uid(content, run).constData()));
    icalcomponent_add_property(event.get(), icalproperty_new_dtstamp(stamp));
    icalcomponent_add_property(event.get(), icalproperty_new_summary(summary.constData()));
    icalcomponent_add_property(event.get(), icalproperty_new_transp(ICAL_TRANSP_OPAQUE));
    icalcomponent_add_component(calendar.get(), event.release());
  }
  // libical writes CRLF and folds at 75 octets on character boundaries.
  const std::unique_ptr<char, FreeText> text(icalcomponent_as_ical_string_r(calendar.get()));
  return QByteArray(text.get());
}

}  // namespace taurelin
