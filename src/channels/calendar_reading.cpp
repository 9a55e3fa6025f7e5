#include "channels/calendar_reading.h"

#include <libical/ical.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QTime>

#include <cstddef>
#include <memory>
#include <optional>
#include <utility>

namespace taurelin {
namespace {

// A calendar full of oddities must not fill the log.
constexpr qsizetype kMostNotes = 100;
// Steps one rule is followed: far more than any real rule takes to the horizon, and a bound
// on the work a hostile one costs.
constexpr int kMostSteps = 20000;
// Time the repeats of one calendar may take to follow. A platform's calendar takes
// milliseconds; past this the calendar is refused whole rather than listed in part, which
// would withdraw the bookings of the occurrences left out.
constexpr qint64 kLongestRepeatsMs = 2000;

struct ComponentFree {
  void operator()(icalcomponent* component) const { icalcomponent_free(component); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

struct IteratorFree {
  void operator()(icalrecur_iterator* iterator) const { icalrecur_iterator_free(iterator); }
};
using Iterator = std::unique_ptr<icalrecur_iterator, IteratorFree>;

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

// The properties of one kind, collected first: libical walks a component's properties with
// one cursor, which a nested walk would move.
QList<icalproperty*> PropertiesOf(icalcomponent* component, icalproperty_kind kind) {
  QList<icalproperty*> properties;
  for (icalproperty* property = icalcomponent_get_first_property(component, kind);
       property != nullptr; property = icalcomponent_get_next_property(component, kind)) {
    properties << property;
  }
  return properties;
}

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

int NightsOf(const CalendarEvent& event) {
  return static_cast<int>(event.arrival.daysTo(event.departure));
}

// The id of an occurrence that starts at `time`: its fields as written, the same on every read.
QString IdOf(const icaltimetype& time) {
  if (time.is_date) return QString::asprintf("%04d%02d%02d", time.year, time.month, time.day);
  return QString::asprintf("%04d%02d%02dT%02d%02d%02d", time.year, time.month, time.day,
                           time.hour, time.minute, time.second);
}

QString KeyOf(const QString& uid, const QString& id) {
  const QString key = uid + u'#' + id;
  return key.size() > kLongestUid ? QStringLiteral("digest-") + Digest(key) : key;
}

// `time` as the event's DTSTART (`form`) writes its times: a date or a date-time (a date taking
// DTSTART's time of day), in DTSTART's zone. So an EXDATE, RDATE or RECURRENCE-ID names an
// occurrence by the id the rule gives it.
icaltimetype InFormOf(icaltimetype time, const icaltimetype& form) {
  if (form.is_date) {
    time.is_date = 1;
    time.hour = time.minute = time.second = 0;
    time.zone = nullptr;
  } else if (time.is_date) {
    time.is_date = 0;
    time.hour = form.hour;
    time.minute = form.minute;
    time.second = form.second;
    time.zone = form.zone;
  } else if (time.zone != nullptr && form.zone != nullptr && time.zone != form.zone) {
    time = icaltime_convert_to_zone(time, const_cast<icaltimezone*>(form.zone));
  }
  return time;
}

// `time` moved to `day`, at the day's first or last second when it has a time of day.
icaltimetype OnDay(icaltimetype time, const QDate& day, bool last) {
  time.year = day.year();
  time.month = day.month();
  time.day = day.day();
  if (!time.is_date) {
    time.hour = last ? 23 : 0;
    time.minute = time.second = last ? 59 : 0;
  }
  return time;
}

// A time's fields for arithmetic, with days of 24 hours as libical steps through them.
QDateTime FieldsOf(const icaltimetype& time) {
  return QDateTime(QDate(time.year, time.month, time.day),
                   QTime(time.hour, time.minute, time.second), Qt::UTC);
}

icaltimetype WithFields(icaltimetype time, const QDateTime& fields) {
  time.year = fields.date().year();
  time.month = fields.date().month();
  time.day = fields.date().day();
  time.hour = fields.time().hour();
  time.minute = fields.time().minute();
  time.second = fields.time().second();
  return time;
}

// The last point before `day` on the grid a rule of `step` seconds lays from `start`.
icaltimetype OnGrid(const icaltimetype& start, qint64 step, const QDate& day) {
  const QDateTime origin = FieldsOf(start);
  const qint64 span = origin.secsTo(FieldsOf(OnDay(start, day, false)));
  if (span <= 0) return start;
  return WithFields(start, origin.addSecs(span - span % step));
}

// The values a BY part of a rule lists.
template <std::size_t N>
int Entries(const short (&values)[N]) {
  std::size_t n = 0;
  while (n < N && values[n] != ICAL_RECURRENCE_ARRAY_MAX) ++n;
  return static_cast<int>(n);
}

// Whether a time zone changes as real zones do, a few times a year. libical expands all of
// a zone's changes the first time it converts a time in it: a zone that changes every minute
// would hold the reading up for hours.
bool Plain(icalcomponent* zone) {
  for (icalcomponent* part = icalcomponent_get_first_component(zone, ICAL_ANY_COMPONENT);
       part != nullptr; part = icalcomponent_get_next_component(zone, ICAL_ANY_COMPONENT)) {
    for (icalproperty* property : PropertiesOf(part, ICAL_RRULE_PROPERTY)) {
      const icalrecurrencetype rule = icalproperty_get_rrule(property);
      if (rule.freq != ICAL_YEARLY_RECURRENCE || Entries(rule.by_second) > 0 ||
          Entries(rule.by_minute) > 0 || Entries(rule.by_hour) > 0 ||
          Entries(rule.by_year_day) > 0 || Entries(rule.by_week_no) > 0 ||
          Entries(rule.by_month) > 2) {
        return false;
      }
    }
  }
  return true;
}

// One VEVENT as read.
struct Entry {
  icalcomponent* component = nullptr;
  CalendarEvent event;  // its uid: the key it is listed by when it stands alone
  QString uid;          // as written, or derived: the keys of its occurrences begin with it
};

// The VEVENTs of one UID: the event and the overrides of its occurrences.
struct Series {
  std::optional<Entry> master;
  QList<Entry> overrides;
};

// An occurrence of a repeating event, before it is listed.
struct Occurrence {
  icaltimetype start;
  int nights = 1;
  const Entry* change = nullptr;  // the override that gives it, if any
};

// One reading of a parsed calendar.
class CalendarReader {
 public:
  CalendarReader(icalcomponent* root, const QDate& today, const QDate& horizon)
      : root_(root), today_(today) {
    reading_.horizon = horizon;
  }

  CalendarReading Read() {
    const QList<Series> all = Grouped();
    timer_.start();
    for (const Series& series : all) List(series);
    return std::move(reading_);
  }

 private:
  QList<Series> Grouped() {
    QList<Series> all;
    QHash<QString, qsizetype> byUid;
    for (icalcomponent* component =
             icalcomponent_get_first_component(root_, ICAL_VEVENT_COMPONENT);
         component != nullptr;
         component = icalcomponent_get_next_component(root_, ICAL_VEVENT_COMPONENT)) {
      Entry entry = ReadEntry(component);
      qsizetype index = byUid.value(entry.event.uid, -1);
      if (index < 0) {
        index = all.size();
        byUid.insert(entry.event.uid, index);
        all.append(Series());
      }
      Series& series = all[index];
      if (icalcomponent_get_first_property(component, ICAL_RECURRENCEID_PROPERTY) != nullptr) {
        series.overrides << std::move(entry);
      } else if (!series.master) {
        series.master = std::move(entry);
      } else {
        Note(reading_, QStringLiteral("event %1 is given twice: the first is kept")
                           .arg(entry.event.uid));
      }
    }
    return all;
  }

  Entry ReadEntry(icalcomponent* component) {
    Entry entry;
    entry.component = component;
    CalendarEvent& read = entry.event;
    read.summary = TextOf(icalcomponent_get_summary(component));
    read.cancelled = icalcomponent_get_status(component) == ICAL_STATUS_CANCELLED;
    entry.uid = TextOf(icalcomponent_get_uid(component));
    read.uid = entry.uid.size() > kLongestUid ? QStringLiteral("digest-") + Digest(entry.uid)
                                              : entry.uid;
    const bool anonymous = read.uid.isEmpty();
    if (anonymous) read.uid = QStringLiteral("(without UID)");
    ReadDates(component, read, reading_);
    if (anonymous) {
      read.uid = QStringLiteral("derived-") +
                 Digest(read.arrival.toString(Qt::ISODate) + u'/' +
                        read.departure.toString(Qt::ISODate) + u'/' + read.summary);
      entry.uid = read.uid;
    }
    return entry;
  }

  void List(const Series& series) {
    const Entry* master = series.master ? &*series.master : nullptr;
    icalproperty* dtstart =
        master ? icalcomponent_get_first_property(master->component, ICAL_DTSTART_PROPERTY)
               : nullptr;
    const icaltimetype start =
        dtstart ? TimeOf(icalproperty_get_dtstart(dtstart), dtstart) : icaltime_null_time();
    const bool repeats = master && master->event.bookable() &&
                         (icalcomponent_get_first_property(master->component,
                                                           ICAL_RRULE_PROPERTY) ||
                          icalcomponent_get_first_property(master->component,
                                                           ICAL_RDATE_PROPERTY));
    QMap<QString, Occurrence> occurrences;  // by id, so in their order
    if (repeats) Expand(*master, start, occurrences);
    for (const Entry& entry : series.overrides) Change(entry, start, occurrences);

    if (master && !repeats) {
      // An event that does not repeat keeps its plain UID; an override of its one
      // occurrence, as some programs write, stands in for it.
      const auto own = icaltime_is_null_time(start) ? occurrences.constEnd()
                                                    : occurrences.constFind(IdOf(start));
      if (own != occurrences.constEnd()) {
        reading_.events << Changed(master, *own, master->event.uid);
        occurrences.erase(own);
      } else {
        reading_.events << master->event;
      }
    }
    const QString& uid = master ? master->uid : series.overrides.first().uid;
    ListOccurrences(master, uid, occurrences);
  }

  // Lists the occurrences that are not over and arrive by the horizon, at most
  // kMostOccurrences of them.
  void ListOccurrences(const Entry* master, const QString& uid,
                       const QMap<QString, Occurrence>& occurrences) {
    qsizetype listed = 0;
    for (auto at = occurrences.cbegin(); at != occurrences.cend(); ++at) {
      const QString key = KeyOf(uid, at.key());
      CalendarEvent event;
      if (at->change != nullptr) {
        event = Changed(master, *at, key);
      } else {
        event = master->event;
        event.uid = key;
        event.arrival = DateOf(at->start);
        event.departure = event.arrival.addDays(at->nights);
      }
      if (event.bookable() &&
          (event.departure <= today_ || event.arrival > reading_.horizon)) {
        continue;
      }
      if (listed == kMostOccurrences) {
        Note(reading_, QStringLiteral("event %1 has more than %2 occurrences up to %3: the "
                                      "later ones are not listed")
                           .arg(uid)
                           .arg(kMostOccurrences)
                           .arg(reading_.horizon.toString(Qt::ISODate)));
        break;
      }
      reading_.events << event;
      ++listed;
    }
  }

  // An occurrence as its override gives it: its own dates (from its own start, for the
  // event's length, when it gives no end), summary and status.
  CalendarEvent Changed(const Entry* master, const Occurrence& occurrence,
                        const QString& key) const {
    CalendarEvent event = occurrence.change->event;
    event.uid = key;
    if (master == nullptr) return event;
    event.cancelled = event.cancelled || master->event.cancelled;
    icalcomponent* change = occurrence.change->component;
    if (master->event.bookable() &&
        icalcomponent_get_first_property(change, ICAL_DTEND_PROPERTY) == nullptr &&
        icalcomponent_get_first_property(change, ICAL_DURATION_PROPERTY) == nullptr) {
      if (!event.arrival.isValid()) event.arrival = DateOf(occurrence.start);
      event.departure = event.arrival.addDays(NightsOf(master->event));
    }
    return event;
  }

  // Takes an override into the occurrences, under the id of the occurrence it names.
  void Change(const Entry& entry, const icaltimetype& start,
              QMap<QString, Occurrence>& occurrences) {
    icalproperty* property =
        icalcomponent_get_first_property(entry.component, ICAL_RECURRENCEID_PROPERTY);
    icaltimetype named = TimeOf(icalproperty_get_recurrenceid(property), property);
    if (!icaltime_is_null_time(start)) named = InFormOf(named, start);
    const QString id = IdOf(named);
    auto at = occurrences.find(id);
    if (at == occurrences.end()) at = occurrences.insert(id, Occurrence{named, 1, nullptr});
    if (at->change != nullptr) {
      Note(reading_, QStringLiteral("occurrence %1 of event %2 is changed twice: the first "
                                    "change is kept")
                         .arg(id, entry.event.uid));
      return;
    }
    at->change = &entry;
  }

  // The occurrences of a repeating event that are not over and arrive by the horizon:
  // DTSTART's, its rules' and its RDATEs', less its EXDATEs.
  void Expand(const Entry& master, const icaltimetype& start,
              QMap<QString, Occurrence>& into) {
    QSet<QString> excluded;
    for (icalproperty* property : PropertiesOf(master.component, ICAL_EXDATE_PROPERTY)) {
      const icaltimetype time = icalproperty_get_exdate(property);
      if (!icaltime_is_null_time(time)) {
        excluded << IdOf(InFormOf(TimeOf(time, property), start));
      }
    }
    const auto add = [&](const icaltimetype& at, int nights) {
      const QString id = IdOf(at);
      const QDate arrival = DateOf(at);
      if (excluded.contains(id) || arrival.addDays(nights) <= today_ ||
          arrival > reading_.horizon) {
        return;
      }
      into.insert(id, Occurrence{at, nights, nullptr});
    };
    const int nights = NightsOf(master.event);
    add(start, nights);  // DTSTART is the first occurrence whether the rule names it or not
    for (icalproperty* property : PropertiesOf(master.component, ICAL_RRULE_PROPERTY)) {
      Follow(master, icalproperty_get_rrule(property), start, into, add);
    }
    for (icalproperty* property : PropertiesOf(master.component, ICAL_RDATE_PROPERTY)) {
      const icaldatetimeperiodtype rdate = icalproperty_get_rdate(property);
      if (!icaltime_is_null_time(rdate.time)) {
        add(InFormOf(TimeOf(rdate.time, property), start), nights);
      } else if (!icaltime_is_null_time(rdate.period.start)) {
        // A period gives its own length.
        const icaltimetype begin = InFormOf(TimeOf(rdate.period.start, property), start);
        const icaltimetype end =
            icaltime_is_null_time(rdate.period.end)
                ? icaltime_add(rdate.period.start, rdate.period.duration)
                : rdate.period.end;
        const qint64 length = DateOf(begin).daysTo(DateOf(InFormOf(TimeOf(end, property), start)));
        add(begin, static_cast<int>(qBound(qint64{1}, length, qint64{kLongestStay})));
      }
    }
  }

  // Follows one rule to the horizon. A rule without COUNT is begun near today: followed from
  // its DTSTART, a daily rule of 1970 would take tens of thousands of steps to reach it, and
  // one by the second billions. A rule with COUNT must be counted from its DTSTART.
  template <typename Add>
  void Follow(const Entry& master, icalrecurrencetype rule, const icaltimetype& start,
              const QMap<QString, Occurrence>& into, const Add& add) {
    const QString unreadable = QStringLiteral("event %1 repeats by a rule that cannot be "
                                              "followed: only its other occurrences are listed")
                                   .arg(master.event.uid);
    if (rule.freq == ICAL_NO_RECURRENCE) {
      Note(reading_, unreadable);
      return;
    }
    const int nights = NightsOf(master.event);
    const QDate from = today_.addDays(1 - nights);  // the first arrival of a stay not over
    icaltimetype first = start;
    icaltimetype end = OnDay(start, reading_.horizon, true);
    bool endShort = false;
    if (rule.freq < ICAL_DAILY_RECURRENCE) {
      // libical steps a rule finer than a day through every second, minute or hour it
      // passes, even those its BY parts leave out: such a rule is followed no further than
      // its step budget reaches. And libical's set_start loses such a rule's phase, so it is
      // begun from the last point of its grid before `from` instead.
      static constexpr qint64 kUnit[] = {1, 60, 3600};
      const qint64 unit = kUnit[rule.freq];
      if (rule.count == 0) first = OnGrid(start, unit * qMax(1, int{rule.interval}), from);
      const icaltimetype reach = WithFields(first, FieldsOf(first).addSecs(unit * kMostSteps));
      if (icaltime_compare(reach, end) < 0) {
        end = reach;
        endShort = true;
      }
    }
    // The rule's own UNTIL, when earlier, else the end: libical checks UNTIL at every step,
    // so a rule that matches nothing stops there.
    if (!icaltime_is_null_time(rule.until) && icaltime_compare(rule.until, end) <= 0) {
      endShort = false;
    } else {
      rule.until = end;
    }
    Iterator iterator(icalrecur_iterator_new(rule, first));
    if (!iterator) {
      Note(reading_, unreadable);
      return;
    }
    if (rule.count == 0 && rule.freq >= ICAL_DAILY_RECURRENCE && from > DateOf(start)) {
      icalrecur_iterator_set_start(iterator.get(), OnDay(start, from, false));
    }
    int steps = 0;
    icaltimetype at = first;
    for (; steps < kMostSteps && into.size() <= kMostOccurrences; ++steps) {
      CheckTime();
      const icaltimetype next = icalrecur_iterator_next(iterator.get());
      if (icaltime_is_null_time(next)) break;
      at = next;
      add(at, nights);
    }
    if (steps == kMostSteps || (endShort && into.size() <= kMostOccurrences)) {
      Note(reading_, QStringLiteral("event %1 repeats too often to be followed: its "
                                    "occurrences after %2 are not listed")
                         .arg(master.event.uid,
                              DateOf(steps == kMostSteps ? at : end).toString(Qt::ISODate)));
    }
  }

  void CheckTime() const {
    if (timer_.elapsed() > kLongestRepeatsMs) {
      throw CalendarFormatError(
          QStringLiteral("the calendar repeats its events too often to be read"));
    }
  }

  // `time` of `property` in the zone its TZID names, when the calendar defines that zone and
  // it can be used; else as written. Zones the calendar does not define are not looked up
  // elsewhere: a TZID is the platform's text, not a name of a file to read.
  icaltimetype TimeOf(icaltimetype time, icalproperty* property) {
    if (time.is_date || icaltime_is_null_time(time)) return time;
    icalparameter* tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
    if (tzid == nullptr) return time;
    time.zone = Zone(icalparameter_get_tzid(tzid));
    return time;
  }

  icaltimezone* Zone(const char* tzid) {
    if (tzid == nullptr) return nullptr;
    const QString name = QString::fromUtf8(tzid);
    const auto known = zones_.constFind(name);
    if (known != zones_.constEnd()) return *known;
    icaltimezone* zone = icalcomponent_get_timezone(root_, tzid);
    if (zone != nullptr && !Plain(icaltimezone_get_component(zone))) {
      Note(reading_, QStringLiteral("time zone %1 changes too often to be used: its times are "
                                    "read as written")
                         .arg(name));
      zone = nullptr;
    }
    zones_.insert(name, zone);
    return zone;
  }

  icalcomponent* root_;
  QDate today_;
  CalendarReading reading_;
  QHash<QString, icaltimezone*> zones_;
  QElapsedTimer timer_;
};

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
  return CalendarReader(root.get(), today, today.addDays(daysAhead)).Read();
}

}  // namespace taurelin
