#pragma once

// The price of a stay at one web price, from the price's lines. Pure computation: the SQLite
// procedure BEREGN_WEB_PRISMATRISE reads the lines and calls it.

#include <QDate>
#include <QList>
#include <QString>

namespace taurelin {

// The amounts of a price for the days from `from` up to `until`, `until` excluded (invalid:
// open-ended). Amounts are in hundredths, so sums stay exact.
struct PriceLine {
  QDate from;
  QDate until;
  qint64 amount = 0;         // PRIS_UKE: a night, or a package
  qint64 weekendAmount = 0;  // PRIS_WEEK: a Friday or Saturday night, when above 0
};

struct StayPrice {
  enum Outcome { Priced, Unpriceable, OutOfRange };
  Outcome outcome = Unpriceable;
  qint64 total = 0;       // the whole stay
  qint64 firstNight = 0;  // the amount of the line that covers the first night
};

// Prices the nights from `arrival` up to `departure` (departure excluded). Each night takes
// the covering line with the latest start. A night that no line covers, or a stay without
// nights, is Unpriceable. With `packageDays` above 1 the stay is sold in packages of that
// many nights, the last one possibly cut short, each at the amount of the line that covers
// its first night; otherwise night by night, where a Friday or Saturday night takes the
// weekend amount when that is above 0. A total beyond 64 bits is OutOfRange.
StayPrice PriceStay(const QList<PriceLine>& lines, int packageDays, QDate arrival,
                    QDate departure);

// The letter of a price method by its start day and number of days: "U" a week (7/7),
// "M" midweek (7/5), "H" a weekend (5/2), "D" a night (0/1), "P" any other package.
QString PriceTypeCode(int startDay, int days);
// The price method as the price list shows it, from its text "start day/number of days":
// the letter of a method that has one, else the text itself.
QString PriceMethodText(const QString& startAndDays);

}  // namespace taurelin
