#include "server/request_log_guard.h"

#include <QDateTime>

namespace taurelin {

bool RequestLogGuard::admit(const QString& kind, int lines, qint64 nowMs) {
  if (diskLow_) {
    ++lowDiskTotals_[kind];
    return false;
  }
  if (linesPerSecond_ <= 0) return true;
  const qint64 second = nowMs / 1000;
  if (second != second_) {
    endSecondsBefore(second);
    second_ = second;
    admittedLines_ = 0;
  }
  // A request is logged whole or not at all: its lines belong together.
  if (admittedLines_ + lines <= linesPerSecond_) {
    admittedLines_ += lines;
    return true;
  }
  ++counted_[kind];
  ++floodTotals_[kind];
  return false;
}

QStringList RequestLogGuard::takeSummaries(qint64 nowMs) {
  const qint64 second = nowMs / 1000;
  if (second != second_) {
    endSecondsBefore(second);
    second_ = second;
    admittedLines_ = 0;
  }
  QStringList lines;
  lines.swap(summaries_);
  return lines;
}

void RequestLogGuard::endSecondsBefore(qint64 second) {
  if (counted_.isEmpty() || second_ < 0 || second_ >= second) return;
  // A disk that ran low meanwhile takes the summaries with it, as it takes the requests.
  if (!diskLow_) {
    const QString from =
        QDateTime::fromMSecsSinceEpoch(second_ * 1000).toLocalTime().toString(u"hh:mm:ss");
    for (auto kind = counted_.cbegin(); kind != counted_.cend(); ++kind) {
      summaries_ << QStringLiteral("%1: %2 more in the second from %3, not logged one by one "
                                   "(more than %4 log lines a second)")
                        .arg(kind.key())
                        .arg(kind.value())
                        .arg(from)
                        .arg(linesPerSecond_);
    }
  }
  counted_.clear();
}

}  // namespace taurelin
