#include "web/refusal_summary.h"

namespace taurelin {

void RefusalSummary::count(const QString& address, const QString& reason) {
  auto found = counts_.find(address);
  if (found == counts_.end()) {
    if (counts_.size() >= maxAddresses_) {
      ++others_[reason];
      return;
    }
    found = counts_.insert(address, {});
  }
  ++(*found)[reason];
}

QStringList RefusalSummary::take() {
  QStringList lines;
  for (auto address = counts_.cbegin(); address != counts_.cend(); ++address) {
    for (auto reason = address->cbegin(); reason != address->cend(); ++reason) {
      lines << QStringLiteral("HTTP %1 refused %2 times in the last minute: %3")
                   .arg(address.key())
                   .arg(*reason)
                   .arg(reason.key());
    }
  }
  for (auto reason = others_.cbegin(); reason != others_.cend(); ++reason) {
    lines << QStringLiteral("HTTP other addresses refused %1 times in the last minute: %2")
                 .arg(*reason)
                 .arg(reason.key());
  }
  counts_.clear();
  others_.clear();
  return lines;
}

}  // namespace taurelin
