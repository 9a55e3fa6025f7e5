#pragma once

// The HTTP face's counters, written in the Prometheus text format for GET /metrics: answers
// by endpoint, method and status, the time spent answering by endpoint, and connections the
// face closed itself, by reason. Endpoints are counted by their path pattern (or "other"),
// so that no client can grow the set of series.

#include <QByteArray>
#include <QMap>
#include <QString>

#include <tuple>

namespace taurelin {

class HttpMetrics {
 public:
  void countAnswer(const QString& endpoint, const QString& method, int status, qint64 micros);
  void countClosed(const QString& reason);
  QByteArray text() const;

 private:
  struct Time {
    qint64 micros = 0;
    qint64 count = 0;
  };
  QMap<std::tuple<QString, QString, int>, qint64> answers_;
  QMap<QString, Time> times_;
  QMap<QString, qint64> closed_;
};

}  // namespace taurelin
