#include "channels/busy_nights.h"

#include <algorithm>

namespace taurelin {

QList<BusyRun> BusyRuns(const QList<AvailabilityDay>& days, int type) {
  QList<BusyRun> runs;
  for (const AvailabilityDay& day : days) {
    if (day.type != type || day.free > 0) continue;
    if (!runs.isEmpty() && runs.last().departure == day.day) {
      runs.last().departure = day.day.addDays(1);
    } else {
      runs.append({day.day, day.day.addDays(1)});
    }
  }
  return runs;
}

std::optional<QList<BusyRun>> BusyNightsAhead(int type, const QDate& today, int daysAhead,
                                              const MatrixSpan& read) {
  QList<AvailabilityDay> days;
  bool listed = false;
  const QDate end = today.addDays(std::max(daysAhead, 1));  // the first night not covered
  for (QDate from = today; from < end; from = from.addDays(kMaxMatrixDays)) {
    const QDate to = std::min(from.addDays(kMaxMatrixDays - 1), end.addDays(-1));
    for (const AvailabilityDay& day : read(from, to)) {
      if (day.type != type) continue;
      listed = true;
      days.append(day);
    }
  }
  if (!listed) return std::nullopt;
  QList<BusyRun> runs = BusyRuns(days, type);
  if (!runs.isEmpty() && runs.first().first == today) {
    const QList<BusyRun> before =
        BusyRuns(read(today.addDays(-kMaxMatrixDays), today.addDays(-1)), type);
    if (!before.isEmpty() && before.last().departure == today) {
      runs.first().first = before.last().first;
    }
  }
  return runs;
}

}  // namespace taurelin
