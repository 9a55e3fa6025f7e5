#pragma once

// The HTTP face's counters, written in the Prometheus text format for GET /metrics:
// answers by endpoint, method and status; requests and failures (an error answer) by
// instruction; a histogram of the time spent answering, by endpoint; connections the face
// closed itself, by reason; and requests refused before they ran (a budget spent, a guest
// limit, a key), by reason. Endpoints are counted by their path pattern (or "other"),
// so that no client can grow the set of series.

#include <QByteArray>
#include <QMap>
#include <QString>

#include <array>
#include <tuple>

namespace taurelin {

class HttpMetrics {
 public:
  // `instruction` is empty for an answer that ran none.
  void countAnswer(const QString& endpoint, const QString& instruction, const QString& method,
                   int status, qint64 micros);
  void countClosed(const QString& reason);
  // A request refused before it ran, for `reason` (a fixed name, never a client's text).
  void countRefused(const QString& reason);
  QByteArray text() const;

 private:
  static constexpr std::array<double, 8> kBounds{0.001, 0.0025, 0.005, 0.01,
                                                 0.025, 0.05,   0.1,   1.0};
  struct Histogram {
    std::array<qint64, kBounds.size()> buckets{};
    qint64 count = 0;
    double sum = 0;
  };
  struct Outcomes {
    qint64 requests = 0;
    qint64 failures = 0;
  };
  QMap<std::tuple<QString, QString, int>, qint64> answers_;
  QMap<QString, Outcomes> instructions_;
  QMap<QString, Histogram> times_;
  QMap<QString, qint64> closed_;
  QMap<QString, qint64> refused_;
};

}  // namespace taurelin
