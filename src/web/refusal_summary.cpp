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
      lines << QStringLiteral("HTTP %1 %2: %3 in the last minute")
                   .arg(address.key(), reason.key())
                   .arg(*reason);
    }
  }
  for (auto reason = others_.cbegin(); reason != others_.cend(); ++reason) {
    lines << QStringLiteral("HTTP other addresses %1: %2 in the last minute")
                 .arg(reason.key())
                 .arg(*reason);
  }
  counts_.clear();
  others_.clear();
  return lines;
}

}  // namespace taurelin
