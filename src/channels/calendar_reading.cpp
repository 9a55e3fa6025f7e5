#include "channels/calendar_reading.h"

#include <libical/ical.h>

#include <QCryptographicHash>
#include <QHash>

#include <memory>

namespace taurelin {
namespace {

// A calendar full of oddities must not fill the log.
constexpr qsizetype kMostNotes = 100;

struct ComponentFree {
  void operator()(icalcomponent* component) const { icalcomponent_free(component); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

void Note(CalendarReading& reading, const QString& note) {
  if (reading.notes.size() < kMostNotes) {
    reading.notes << note;
  } else if (reading.notes.size() == kMostNotes) {
    reading.notes << QStringLiteral("further notes on this calendar left out");
  }
}

// The date of a DATE or DATE-TIME as the event writes it; invalid when there is none.
QDate DateOf(const icaltimetype& time) {
  if (icaltime_is_null_time(time)) return {};
  return QDate(time.year, time.month, time.day);
}

QString Digest(const QString& text) {
  return QString::fromLatin1(
      QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex());
}

QString TextOf(const char* text) { return text ? QString::fromUtf8(text).trimmed() : QString(); }

// Checks that the body is one whole VCALENDAR before libical sees it: libical reads what it
// can of anything, and a calendar cut short would lose its last events.
void CheckShape(const QByteArray& body) {
  if (body.size() > kLargestBody) {
    throw CalendarFormatError(QStringLiteral("the calendar is larger than %1 bytes")
                                  .arg(kLargestBody));
  }
  if (body.contains('\0')) throw CalendarFormatError(QStringLiteral("the body is binary"));
  QByteArray text = body.trimmed();
  if (text.startsWith("\xEF\xBB\xBF")) text = text.mid(3).trimmed();
  if (!text.toUpper().startsWith("BEGIN:VCALENDAR")) {
    throw CalendarFormatError(QStringLiteral("the body is no calendar (it begins \"%1\")")
                                  .arg(QString::fromUtf8(text.left(40)).simplified()));
  }
  if (!text.right(20).toUpper().endsWith("END:VCALENDAR")) {
    throw CalendarFormatError(QStringLiteral("the calendar does not end: it was cut short"));
  }
}

// Checks that the calendar is one of events. Read as holding no events, a calendar of
// another version, or of tasks or journal entries only, would withdraw every booking the
// channel has; a calendar of time zones alone is merely empty.
void CheckContent(icalcomponent* root) {
  icalproperty* version = icalcomponent_get_first_property(root, ICAL_VERSION_PROPERTY);
  if (version == nullptr || TextOf(icalproperty_get_version(version)) != u"2.0") {
    throw CalendarFormatError(QStringLiteral("the calendar is not of iCalendar version 2.0"));
  }
  bool others = false;
  for (icalcomponent* component = icalcomponent_get_first_component(root, ICAL_ANY_COMPONENT);
       component != nullptr;
       component = icalcomponent_get_next_component(root, ICAL_ANY_COMPONENT)) {
    const icalcomponent_kind kind = icalcomponent_isa(component);
    if (kind == ICAL_VEVENT_COMPONENT) return;
    others = others || kind != ICAL_VTIMEZONE_COMPONENT;
  }
  if (others) {
    throw CalendarFormatError(QStringLiteral("the calendar holds no events, only other entries"));
  }
}

// The departure when DTEND is missing: DTSTART plus DURATION (whole days past the start's
// time of day), else one night.
QDate DepartureByDuration(icalcomponent* event, const icaltimetype& start, const QDate& arrival,
                          bool* readable) {
  icalproperty* property = icalcomponent_get_first_property(event, ICAL_DURATION_PROPERTY);
  if (property == nullptr) return arrival.addDays(1);
  const icaldurationtype duration = icalproperty_get_duration(property);
  if (icaldurationtype_is_bad_duration(duration) || duration.is_neg) {
    *readable = false;
    return {};
  }
  const qint64 startSeconds =
      start.is_date ? 0 : (start.hour * 3600LL + start.minute * 60LL + start.second);
  const qint64 seconds = ((qint64{duration.weeks} * 7 + duration.days) * 24 + duration.hours) *
                             3600 +
                         qint64{duration.minutes} * 60 + duration.seconds;
  return arrival.addDays((startSeconds + seconds) / 86400);
}

// The stay of one event; invalid dates, with a note, when none can be booked.
void ReadDates(icalcomponent* event, CalendarEvent& read, CalendarReading& reading) {
  icalproperty* dtstart = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
  const icaltimetype start = dtstart ? icalproperty_get_dtstart(dtstart) : icaltime_null_time();
  const QDate arrival = DateOf(start);
  bool readable = arrival.isValid();
  QDate departure;
  if (readable) {
    if (icalproperty* dtend = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY)) {
      departure = DateOf(icalproperty_get_dtend(dtend));
      readable = departure.isValid();
    } else {
      departure = DepartureByDuration(event, start, arrival, &readable);
    }
  }
  if (!readable) {
    Note(reading, QStringLiteral("event %1 has no dates that can be read: nothing is booked "
                                 "for it").arg(read.uid));
    return;
  }
  // An event that ends on the day it begins (a check-in noted as a moment) holds that night.
  if (departure == arrival) departure = arrival.addDays(1);
  if (departure < arrival || arrival.daysTo(departure) > kLongestStay) {
    Note(reading, QStringLiteral("event %1 runs from %2 to %3: nothing is booked for it")
                      .arg(read.uid, arrival.toString(Qt::ISODate),
                           departure.toString(Qt::ISODate)));
    return;
  }
  read.arrival = arrival;
  read.departure = departure;
}

}  // namespace

CalendarReading ReadCalendar(const QByteArray& body, const QDate& today, int daysAhead) {
  CheckShape(body);
  // A malformed property must be an error marker in the tree, never an abort.
  icalerror_set_errors_are_fatal(0);
  const Component root(icalparser_parse_string(body.constData()));
  if (!root || icalcomponent_isa(root.get()) != ICAL_VCALENDAR_COMPONENT) {
    throw CalendarFormatError(QStringLiteral("the body is no calendar libical can read"));
  }
  CheckContent(root.get());

  CalendarReading reading;
  reading.horizon = today.addDays(daysAhead);
  QHash<QString, qsizetype> byUid;
  QList<bool> overrides;  // per listed event: whether it is an override (RECURRENCE-ID)
  for (icalcomponent* event = icalcomponent_get_first_component(root.get(), ICAL_VEVENT_COMPONENT);
       event != nullptr;
       event = icalcomponent_get_next_component(root.get(), ICAL_VEVENT_COMPONENT)) {
    CalendarEvent read;
    read.summary = TextOf(icalcomponent_get_summary(event));
    read.cancelled = icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED;
    read.uid = TextOf(icalcomponent_get_uid(event));
    if (read.uid.size() > kLongestUid) read.uid = QStringLiteral("digest-") + Digest(read.uid);
    const bool anonymous = read.uid.isEmpty();
    if (anonymous) read.uid = QStringLiteral("(without UID)");
    ReadDates(event, read, reading);
    if (anonymous) {
      read.uid = QStringLiteral("derived-") +
                 Digest(read.arrival.toString(Qt::ISODate) + u'/' +
                        read.departure.toString(Qt::ISODate) + u'/' + read.summary);
    }
    if (icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY) != nullptr) {
      Note(reading, QStringLiteral("event %1 repeats: only its first occurrence is booked")
                        .arg(read.uid));
    }

    const bool isOverride =
        icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY) != nullptr;
    const auto seen = byUid.constFind(read.uid);
    if (seen == byUid.constEnd()) {
      byUid.insert(read.uid, reading.events.size());
      reading.events << read;
      overrides << isOverride;
    } else if (overrides[*seen] && !isOverride) {
      reading.events[*seen] = read;
      overrides[*seen] = false;
    } else if (!isOverride) {
      Note(reading, QStringLiteral("event %1 is given twice: the first is kept").arg(read.uid));
    }
  }
  return reading;
}

}  // namespace taurelin
