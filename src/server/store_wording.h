#pragma once

// The operator's words for what the booking store reports, and how each is shown: a failure
// at start-up as a box (an error box when the database cannot be reached, a plain one when
// the rental types cannot be read), the rest as notices that nobody has to wait for. Outages
// also go to the log, so that one can tell afterwards when requests failed and why.

#include "server/operator_messages.h"
#include "store/store_reports.h"

#include <QString>

#include <functional>

namespace taurelin {

// The sentence the operator reads for `report`.
QString StoreReportText(const StoreReport& report);

class OperatorStoreReports : public StoreReports {
 public:
  OperatorStoreReports(OperatorMessages& messages, std::function<void(const QString&)> log);
  void report(const StoreReport& report) override;

 private:
  OperatorMessages& messages_;
  std::function<void(const QString&)> log_;
};

}  // namespace taurelin
