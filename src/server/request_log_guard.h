#pragma once

// Keeps the log of requests readable and its disk from filling under a flood. Each request
// asks before its lines are written; past `linesPerSecond` lines in one second (0: no such
// bound) the rest of that second's requests are counted by kind instead, and each kind that was counted gets one summary
// line when its second is over ("HTTP requests: 1840 more in the second from 12:00:01, not
// logged one by one (more than 50 log lines a second)"). While the log's disk is below its floor
// of free space no request is logged and no summary either; the server's own lines (start-up,
// errors, notices) are never held back here.
//
// Promises: pure computation over the times it is given; in any one second at most
// `linesPerSecond` request lines are admitted, plus at most one summary line per kind; every
// request not admitted is counted once, by kind and by why (a flood or a low disk), in totals
// that only grow.

#include <QMap>
#include <QString>
#include <QStringList>

namespace taurelin {

class RequestLogGuard {
 public:
  enum class Why { kFlood, kLowDisk };

  explicit RequestLogGuard(int linesPerSecond = 50) : linesPerSecond_(linesPerSecond) {}
  void setLinesPerSecond(int lines) { linesPerSecond_ = lines; }

  // Whether a request of `kind` that writes `lines` lines at `nowMs` (milliseconds since 1970)
  // may write them; when not, it is counted.
  bool admit(const QString& kind, int lines, qint64 nowMs);
  // The summary lines of the seconds that are over by `nowMs` (each is given once).
  QStringList takeSummaries(qint64 nowMs);
  // Whether there are requests counted whose summary is still to come.
  bool pending() const { return !counted_.isEmpty(); }

  // The log's disk is below its floor (true) or above it again (false).
  void setDiskLow(bool low) { diskLow_ = low; }
  bool diskLow() const { return diskLow_; }

  // The requests not logged one by one since start, by kind.
  const QMap<QString, qint64>& unlogged(Why why) const {
    return why == Why::kFlood ? floodTotals_ : lowDiskTotals_;
  }

 private:
  // Moves what was counted in the second before `second` into the summaries to give.
  void endSecondsBefore(qint64 second);

  int linesPerSecond_;
  bool diskLow_ = false;
  qint64 second_ = -1;     // the second now being counted
  int admittedLines_ = 0;  // request lines admitted in it
  QMap<QString, qint64> counted_;  // kind -> requests not admitted in it (a flood)
  QStringList summaries_;          // of seconds that are over, not yet taken
  QMap<QString, qint64> floodTotals_;
  QMap<QString, qint64> lowDiskTotals_;
};

}  // namespace taurelin
