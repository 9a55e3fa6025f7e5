#pragma once

// One row of the web price matrix (BEREGN_WEB_PRISMATRISE) of a rental type and a stay, as
// availability and reservation use it.

#include <QString>

namespace taurelin {

// In the matrix's order (description, board, start day, days).
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

}  // namespace taurelin
