#pragma once

// What the store has to tell the operator, as facts: which condition, on which database,
// with the driver's words where there are any. The server words each report and chooses how
// to show it; the store never holds a sentence meant for the operator.

#include <QString>

namespace taurelin {

enum class StoreCondition {
  kCannotConnect,          // the session connection could not open at start-up
  kRentalTypesUnreadable,  // the rental-type summary could not be read at start-up
  kCapacityUnknown,        // a capacity was asked of a pair the database does not know
  kUnreachable,            // an outage began; `detail` is the driver's error
  kAnswersAgain,           // the database answers again after an outage
};

struct StoreReport {
  StoreCondition condition;
  QString database;  // the alias; empty where the reporter does not know it
  QString detail;
};

// Receives the store's reports; one thread, like the connections. Implementations never
// block the event loop for long.
class StoreReports {
 public:
  virtual ~StoreReports() = default;
  virtual void report(const StoreReport& report) = 0;
};

}  // namespace taurelin
