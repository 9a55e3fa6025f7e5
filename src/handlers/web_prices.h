#pragma once

// The selection of the web prices that fit a stay. Shared by availability (LEDIG) and
// reservation (RESERVER).

#include "handlers/instruction.h"
#include "store/web_price.h"

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

namespace taurelin {

// The prices whose start day is the arrival's weekday or 0 and whose number of days fits
// into the nights (or is 0), and, when `boardType` is given, of that board type only.
QList<WebPrice> PricesForStay(const QList<WebPrice>& prices, const QDate& arrival,
                              const QDate& departure, std::optional<double> boardType);

// A board type given in a request, as the price filter compares it. Throws ConversionError
// when it is not a number: such a filter cannot be evaluated.
double BoardTypeFilter(const QString& value);

}  // namespace taurelin
