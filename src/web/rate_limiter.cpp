#include "web/rate_limiter.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <vector>

namespace taurelin {
namespace {

qint64 SteadyMs() {
  static QElapsedTimer started = [] {
    QElapsedTimer timer;
    timer.start();
    return timer;
  }();
  return started.elapsed();
}

int CeilSeconds(double ms) { return static_cast<int>(std::ceil(std::max(0.0, ms) / 1000.0)); }

}  // namespace

RateLimiter::RateLimiter(int maxBuckets, Clock clock)
    : maxBuckets_(std::max(2, maxBuckets)), clock_(clock ? std::move(clock) : SteadyMs) {}

double RateLimiter::Fill(const Bucket& bucket, qint64 now) {
  return std::min(bucket.quota, bucket.tokens + static_cast<double>(now - bucket.updatedMs) *
                                                    bucket.perMs);
}

RateDecision RateLimiter::take(const QString& client, const RatePolicy& policy, double cost) {
  const qint64 now = clock_();
  const QString key = QString::fromLatin1(policy.name) + u'\n' + client;
  auto found = buckets_.find(key);
  if (found == buckets_.end()) {
    if (buckets_.size() >= maxBuckets_) makeRoom(now);
    Bucket fresh;
    fresh.quota = std::max(1, policy.quota);
    fresh.tokens = fresh.quota;
    fresh.updatedMs = now;
    fresh.perMs = fresh.quota / (std::max(1, policy.windowSeconds) * 1000.0);
    found = buckets_.insert(key, fresh);
  }
  Bucket& bucket = *found;
  bucket.tokens = Fill(bucket, now);
  bucket.updatedMs = now;
  const double needed = std::clamp(cost, 1.0, bucket.quota);
  RateDecision decision;
  decision.allowed = bucket.tokens >= needed;
  if (decision.allowed) {
    bucket.tokens -= needed;
  } else {
    decision.retryAfterSeconds = std::max(1, CeilSeconds((needed - bucket.tokens) / bucket.perMs));
  }
  decision.remaining = static_cast<int>(std::floor(bucket.tokens));
  decision.resetSeconds = CeilSeconds((bucket.quota - bucket.tokens) / bucket.perMs);
  return decision;
}

void RateLimiter::makeRoom(qint64 now) {
  for (auto it = buckets_.begin(); it != buckets_.end();) {
    it = Fill(*it, now) >= it->quota ? buckets_.erase(it) : std::next(it);
  }
  if (buckets_.size() < maxBuckets_) return;
  std::vector<qint64> times;
  times.reserve(static_cast<size_t>(buckets_.size()));
  for (const Bucket& bucket : buckets_) times.push_back(bucket.updatedMs);
  auto middle = times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2);
  std::nth_element(times.begin(), middle, times.end());
  const qint64 cut = *middle;
  for (auto it = buckets_.begin(); it != buckets_.end();) {
    it = it->updatedMs <= cut ? buckets_.erase(it) : std::next(it);
  }
}

QByteArray RateLimitPolicyHeader(const RatePolicy& policy) {
  return '"' + policy.name + "\";q=" + QByteArray::number(policy.quota) +
         ";w=" + QByteArray::number(policy.windowSeconds);
}

QByteArray RateLimitHeader(const RatePolicy& policy, const RateDecision& decision) {
  return '"' + policy.name + "\";r=" + QByteArray::number(decision.remaining) +
         ";t=" + QByteArray::number(decision.resetSeconds);
}

}  // namespace taurelin
