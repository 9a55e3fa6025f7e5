#pragma once

// The two date texts of the protocol and the weekday helpers. Requests and replies carry
// dates as "yyyy.mm.dd"; statements and the text form of date columns use "dd.mm.yyyy".

#include <QDate>
#include <QDateTime>
#include <QString>

#include <stdexcept>

namespace taurelin {

// A text that should be a date is none.
class ConversionError : public std::runtime_error {
 public:
  explicit ConversionError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

// "dd.mm.yyyy" to "yyyy.mm.dd" by character positions, unchecked: a short text gives what
// stands at those positions (the empty text gives "..").
QString LocalToProtocolDate(const QString& local);
// "yyyy.mm.dd" to "dd.mm.yyyy" by character positions, unchecked.
QString ProtocolToLocalDate(const QString& protocol);
// Reads "dd.mm.yyyy"; throws ConversionError for a text that is not such a date.
QDate ParseLocalDate(const QString& local);
// Monday = 1 ... Sunday = 7.
int IsoDayOfWeek(const QDate& date);
// The Monday of the date's week; a Monday maps to itself. The time of day is kept.
QDate FirstDayOfWeek(const QDate& date);
QDateTime FirstDayOfWeek(const QDateTime& moment);

}  // namespace taurelin
