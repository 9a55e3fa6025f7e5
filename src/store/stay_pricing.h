#pragma once

// The price of a stay at one web price, from the price's lines, and the web price matrix of a
// rental type from its prices. Pure computation: the SQLite procedure BEREGN_WEB_PRISMATRISE
// and the data module read the rows and call it, so both answer alike.

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

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

// A web price of a rental type with its lines that touch a stay: what a row of the web price
// matrix is computed from.
struct WebPriceSource {
  qint64 id = 0;                       // PRIS_ID
  int startDay = 0;                    // START_DAG
  int days = 0;                        // ANT_DAGER
  std::optional<qint64> board;         // PRIS.PENSJON
  std::optional<QString> description;  // PENSJON.BESKR
  std::optional<qint64> method;        // PENSJON.PRISMET
  QList<PriceLine> lines;
};

// A web price that prices every night of a stay, and the price of the stay at it.
struct PricedSource {
  const WebPriceSource* source = nullptr;
  StayPrice price;
};

// The sources that price every night from `arrival` up to `departure`, in the order given.
// When the total of one is out of range the matrix fails: the result is empty and
// `outOfRange` holds that source's id.
QList<PricedSource> PriceSources(const QList<WebPriceSource>& sources, QDate arrival,
                                 QDate departure, std::optional<qint64>* outOfRange);

// Puts priced sources in the order in which the web price matrix is read: by description,
// board method, start day and number of days, a missing value first and text by its UTF-8
// bytes, as both databases order them; sources that tie keep their order.
void SortAsPriceMatrix(QList<PricedSource>& priced);

// An amount in hundredths as the number nearest to it, which is what a database's exact
// decimal of that amount reads as.
double AmountNumber(qint64 hundredths);

// The letter of a price method by its start day and number of days: "U" a week (7/7),
// "M" midweek (7/5), "H" a weekend (5/2), "D" a night (0/1), "P" any other package.
QString PriceTypeCode(int startDay, int days);
// The price method as the price list shows it, from its text "start day/number of days":
// the letter of a method that has one, else the text itself.
QString PriceMethodText(const QString& startAndDays);

}  // namespace taurelin
