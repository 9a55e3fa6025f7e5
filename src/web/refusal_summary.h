#pragma once

// Refusals that a flood would otherwise write to the log one by one (requests past a budget,
// connections past a cap or closed by a guard), counted by client address and reason and
// written as one line per address, reason and minute: "HTTP 203.0.113.7 request refused,
// past its budget: 412 in the last minute".
//
// Promises: at most `maxAddresses` addresses are counted apart in one minute; the rest are
// summed into one line, so a flood from many addresses writes a bounded log too.

#include <QMap>
#include <QString>
#include <QStringList>

namespace taurelin {

class RefusalSummary {
 public:
  explicit RefusalSummary(int maxAddresses = 100) : maxAddresses_(maxAddresses) {}

  void count(const QString& address, const QString& reason);
  // The lines of what was counted since the last call, and a fresh count.
  QStringList take();

 private:
  int maxAddresses_;
  QMap<QString, QMap<QString, qint64>> counts_;  // address → reason → refusals
  QMap<QString, qint64> others_;                 // reason → refusals past maxAddresses
};

}  // namespace taurelin
