#pragma once

// The web prices of a stay for one rental type, as the database's price matrix computes
// them, and the selection of the prices that fit the stay. Shared by availability (LEDIG)
// and reservation (RESERVER).

#include "handlers/instruction.h"

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

namespace taurelin {

// One row of the price matrix, in the matrix's order (description, board, start day, days).
struct WebPrice {
  int priceCode = 0;       // INTPRISKODE
  double total = 0;        // FLTTOTALPRISER: the price of the whole stay
  double board = 0;        // FLTPENSJON
  QString priceType;       // CHRPRISTYPE
  int boardType = 0;       // intPRISMET (NULL reads as 0)
  QString boardTypeText;   // intPRISMET as text (NULL reads as "")
  int startDay = 0;        // START_DAG: 0 fits every arrival weekday
  int days = 0;            // ANT_DAGER: 0 fits every stay
};

// Runs the price matrix of the data module for the type at the facility (-1: all) and the
// stay. A stay that arrives and departs on one day is priced as one night. Throws
// DatabaseError when the matrix fails.
QList<WebPrice> OpenWebPriser(const HandlerContext& context, int type, int facility,
                              const QDate& arrival, const QDate& departure);

// The prices whose start day is the arrival's weekday or 0 and whose number of days fits
// into the nights (or is 0), and, when `boardType` is given, of that board type only.
QList<WebPrice> PricesForStay(const QList<WebPrice>& prices, const QDate& arrival,
                              const QDate& departure, std::optional<double> boardType);

// A board type given in a request, as the price filter compares it. Throws ConversionError
// when it is not a number: such a filter cannot be evaluated.
double BoardTypeFilter(const QString& value);

}  // namespace taurelin
