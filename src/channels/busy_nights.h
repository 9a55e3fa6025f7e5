#pragma once

// The nights on which a rental type has nothing left to sell, as runs of consecutive nights:
// what an exported calendar feed shows as taken. A day of the availability matrix is the
// night that begins on it, so a run is its first night and its departure day (the day after
// its last night).
//
// Promises: pure: it reads nothing but the matrix days it is handed or asks for; a night is
// busy when the type has no free unit (free <= 0); consecutive busy nights are one run, also
// across the spans the matrix is asked in; runs come in order of their first night.

#include "store/occupancy_engine.h"

#include <QDate>
#include <QList>

#include <functional>
#include <optional>

namespace taurelin {

struct BusyRun {
  QDate first;      // the first busy night
  QDate departure;  // the day after the last busy night

  bool operator==(const BusyRun&) const = default;
};

// The busy runs of `type` among `days` (matrix days of any types, in order of day within
// each type); a day the matrix does not list is not busy.
QList<BusyRun> BusyRuns(const QList<AvailabilityDay>& days, int type);

// The matrix days of every type from `from` to `to`, at most kMaxMatrixDays days; it may
// throw what the store throws.
using MatrixSpan = std::function<QList<AvailabilityDay>(const QDate& from, const QDate& to)>;

// The busy runs of `type` over the nights from `today` to `daysAhead` nights ahead (today
// included), asked of `read` in spans of at most kMaxMatrixDays. A run that takes in today
// starts where it really began: then, and only then, the span before today is read as well,
// so a run begun further back than that starts there. Nothing when the matrix lists no day of
// `type` (a type not sold there).
std::optional<QList<BusyRun>> BusyNightsAhead(int type, const QDate& today, int daysAhead,
                                              const MatrixSpan& read);

}  // namespace taurelin
