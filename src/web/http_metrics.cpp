#include "web/http_metrics.h"

namespace taurelin {
namespace {

void Family(QString& out, const char* name, const char* type, const char* help) {
  out += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n")
             .arg(QLatin1String(name), QLatin1String(help), QLatin1String(type));
}

}  // namespace

void HttpMetrics::countAnswer(const QString& endpoint, const QString& instruction,
                              const QString& method, int status, qint64 micros) {
  ++answers_[{endpoint, method, status}];
  if (!instruction.isEmpty()) {
    Outcomes& outcomes = instructions_[instruction];
    ++outcomes.requests;
    if (status >= 400) ++outcomes.failures;
  }
  Histogram& histogram = times_[endpoint];
  const double seconds = static_cast<double>(micros) / 1e6;
  for (size_t i = 0; i < kBounds.size(); ++i) {
    if (seconds <= kBounds[i]) ++histogram.buckets[i];
  }
  ++histogram.count;
  histogram.sum += seconds;
}

void HttpMetrics::countClosed(const QString& reason) { ++closed_[reason]; }

void HttpMetrics::countRefused(const QString& reason) { ++refused_[reason]; }

QByteArray HttpMetrics::text() const {
  QString out;
  Family(out, "taurelin_http_requests_total", "counter", "HTTP requests answered.");
  for (auto it = answers_.constBegin(); it != answers_.constEnd(); ++it) {
    const auto& [endpoint, method, status] = it.key();
    out += QStringLiteral("taurelin_http_requests_total{endpoint=\"%1\",method=\"%2\","
                          "status=\"%3\"} %4\n")
               .arg(endpoint, method)
               .arg(status)
               .arg(it.value());
  }
  Family(out, "taurelin_http_instruction_requests_total", "counter",
         "Instructions run for HTTP requests.");
  for (auto it = instructions_.constBegin(); it != instructions_.constEnd(); ++it) {
    out += QStringLiteral("taurelin_http_instruction_requests_total{instruction=\"%1\"} %2\n")
               .arg(it.key())
               .arg(it->requests);
  }
  Family(out, "taurelin_http_instruction_failures_total", "counter",
         "Instructions run for HTTP requests that were answered with an error.");
  for (auto it = instructions_.constBegin(); it != instructions_.constEnd(); ++it) {
    out += QStringLiteral("taurelin_http_instruction_failures_total{instruction=\"%1\"} %2\n")
               .arg(it.key())
               .arg(it->failures);
  }
  Family(out, "taurelin_http_request_duration_seconds", "histogram",
         "Time spent answering HTTP requests.");
  for (auto it = times_.constBegin(); it != times_.constEnd(); ++it) {
    const QString series = QStringLiteral("taurelin_http_request_duration_seconds");
    for (size_t i = 0; i < kBounds.size(); ++i) {
      out += QStringLiteral("%1_bucket{endpoint=\"%2\",le=\"%3\"} %4\n")
                 .arg(series, it.key())
                 .arg(kBounds[i])
                 .arg(it->buckets[i]);
    }
    out += QStringLiteral("%1_bucket{endpoint=\"%2\",le=\"+Inf\"} %3\n"
                          "%1_sum{endpoint=\"%2\"} %4\n%1_count{endpoint=\"%2\"} %3\n")
               .arg(series, it.key())
               .arg(it->count)
               .arg(it->sum, 0, 'f', 6);
  }
  Family(out, "taurelin_http_connections_closed_total", "counter",
         "HTTP connections the server closed or refused.");
  for (auto it = closed_.constBegin(); it != closed_.constEnd(); ++it) {
    out += QStringLiteral("taurelin_http_connections_closed_total{reason=\"%1\"} %2\n")
               .arg(it.key())
               .arg(it.value());
  }
  Family(out, "taurelin_http_refused_total", "counter",
         "HTTP requests refused before they ran, by reason.");
  for (auto it = refused_.constBegin(); it != refused_.constEnd(); ++it) {
    out += QStringLiteral("taurelin_http_refused_total{reason=\"%1\"} %2\n")
               .arg(it.key())
               .arg(it.value());
  }
  return out.toUtf8();
}

}  // namespace taurelin
