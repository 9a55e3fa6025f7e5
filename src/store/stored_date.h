#pragma once

// A date as the booking database stores it: on SQLite ISO text 'yyyy-mm-dd', maybe followed
// by a time of day, or a local date 'dd.mm.yyyy' that another program wrote. Parsed by its
// digits, without the time zone work of QDateTime: such dates are read on every row of the
// occupancy statements.

#include <QDate>
#include <QString>
#include <QTime>

#include <optional>

namespace taurelin {

struct StoredDate {
  QDate date;
  QTime time{0, 0};
};

// The day of a text of exactly ten characters 'yyyy-mm-dd' made of digits: an invalid date
// when they name no day, nullopt when the text has another form. Parsing by digits is what
// QDate::fromString(text, "yyyy-MM-dd") does for such a text, without its general parser.
std::optional<QDate> IsoDateDigits(QStringView text);

// The same for UTF-8 bytes, as SQLite hands out a stored text without making a QString of it:
// the day of exactly ten bytes 'yyyy-mm-dd' made of digits (an invalid date when they name
// no day), nullopt for any other form.
std::optional<QDate> IsoDateDigits(const char* bytes, int size);

// The day of a text of exactly ten characters 'dd.mm.yyyy' made of digits, as the protocol's
// dates read locally: an invalid date when they name no day, nullopt for any other form. What
// QDate::fromString(text, "dd.MM.yyyy") gives such a text, without the general parser and its
// look at the time zone (a tenth of a first-time matrix's time).
std::optional<QDate> LocalDateDigits(QStringView text);

// A date given to a procedure as text: 'yyyy-mm-dd' or 'dd.mm.yyyy', exactly, and a real
// day; nullopt for anything else.
std::optional<QDate> ArgumentDate(const QString& text);

// The date and time of `text`, or nullopt when it is neither form or no real day.
std::optional<StoredDate> ParseStoredDate(const QString& text);

}  // namespace taurelin
