#include "web/http_metrics.h"

namespace taurelin {

void HttpMetrics::countAnswer(const QString& endpoint, const QString& method, int status,
                              qint64 micros) {
  ++answers_[{endpoint, method, status}];
  Time& time = times_[endpoint];
  time.micros += micros;
  ++time.count;
}

void HttpMetrics::countClosed(const QString& reason) { ++closed_[reason]; }

QByteArray HttpMetrics::text() const {
  QString out;
  out += QStringLiteral(
      "# HELP taurelin_http_requests_total HTTP requests answered.\n"
      "# TYPE taurelin_http_requests_total counter\n");
  for (auto it = answers_.constBegin(); it != answers_.constEnd(); ++it) {
    const auto& [endpoint, method, status] = it.key();
    out += QStringLiteral("taurelin_http_requests_total{endpoint=\"%1\",method=\"%2\","
                          "status=\"%3\"} %4\n")
               .arg(endpoint, method)
               .arg(status)
               .arg(it.value());
  }
  out += QStringLiteral(
      "# HELP taurelin_http_request_duration_seconds Time spent answering HTTP requests.\n"
      "# TYPE taurelin_http_request_duration_seconds summary\n");
  for (auto it = times_.constBegin(); it != times_.constEnd(); ++it) {
    out += QStringLiteral("taurelin_http_request_duration_seconds_sum{endpoint=\"%1\"} %2\n"
                          "taurelin_http_request_duration_seconds_count{endpoint=\"%1\"} %3\n")
               .arg(it.key())
               .arg(static_cast<double>(it->micros) / 1e6, 0, 'f', 6)
               .arg(it->count);
  }
  out += QStringLiteral(
      "# HELP taurelin_http_connections_closed_total HTTP connections the server closed.\n"
      "# TYPE taurelin_http_connections_closed_total counter\n");
  for (auto it = closed_.constBegin(); it != closed_.constEnd(); ++it) {
    out += QStringLiteral("taurelin_http_connections_closed_total{reason=\"%1\"} %2\n")
               .arg(it.key())
               .arg(it.value());
  }
  return out.toUtf8();
}

}  // namespace taurelin
