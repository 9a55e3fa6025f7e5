#pragma once

// What an availability question asks and what it answers.

#include "store/web_price.h"

#include <QDate>
#include <QList>

namespace taurelin {

// The nights from arrival up to departure; arriving and departing on one day is one night
// for the prices and the arrival day alone for the count.
struct Stay {
  QDate arrival;
  QDate departure;
};

// The free units of one rental type for a stay, and its web prices for the stay.
struct TypeAvailability {
  int type = 0;
  int free = 0;
  QList<WebPrice> prices;
};

}  // namespace taurelin
