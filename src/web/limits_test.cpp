// The limits that protect one client from another: budgets, guest limits, and the answers kept
// for repeated writes. Each runs on a clock the test turns.

#include "web/endpoint_table.h"
#include "web/guest_rules.h"
#include "web/http_access.h"
#include "web/idempotency_cache.h"
#include "web/rate_limiter.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

TEST(RateLimiterTest, ABucketSpendsItsQuotaAndFillsAtItsRate) {
  qint64 now = 0;
  RateLimiter limiter(100, [&now] { return now; });
  const RatePolicy reads{"reads", 60, 60};  // one a second
  for (int i = 0; i < 60; ++i) ASSERT_TRUE(limiter.take("a", reads, 1).allowed) << i;
  const RateDecision refused = limiter.take("a", reads, 1);
  EXPECT_FALSE(refused.allowed);
  EXPECT_EQ(refused.retryAfterSeconds, 1);
  EXPECT_EQ(refused.remaining, 0);
  EXPECT_EQ(RateLimitHeader(reads, refused), "\"reads\";r=0;t=60");
  EXPECT_EQ(RateLimitPolicyHeader(reads), "\"reads\";q=60;w=60");
  // Another client, and another policy of the same client, have budgets of their own.
  EXPECT_TRUE(limiter.take("b", reads, 1).allowed);
  EXPECT_TRUE(limiter.take("a", {"writes", 5, 60}, 1).allowed);
  // A costly request waits until its cost has come back, no longer.
  EXPECT_EQ(limiter.take("a", reads, 12).retryAfterSeconds, 12);
  now += 12000;
  EXPECT_TRUE(limiter.take("a", reads, 12).allowed);
  // A request dearer than the whole quota passes once the bucket is full.
  now += 3600 * 1000;
  EXPECT_TRUE(limiter.take("a", reads, 1e9).allowed);
}

TEST(RateLimiterTest, AFloodFromManyClientsKeepsTheMemoryBounded) {
  qint64 now = 0;
  RateLimiter limiter(1000, [&now] { return now; });
  const RatePolicy reads{"reads", 10, 60};
  for (int i = 0; i < 100000; ++i) {
    limiter.take(QString::number(i), reads, 5);
    ++now;
  }
  EXPECT_LE(limiter.buckets(), 1000);
  // The latest clients are remembered: their budget stays spent.
  limiter.take(QStringLiteral("last"), reads, 10);
  EXPECT_FALSE(limiter.take(QStringLiteral("last"), reads, 1).allowed);
}

TEST(RequestCostTest, ALongerSpanOfDaysCostsMore) {
  const auto cost = [](const char* keyword, const char* first, const char* last,
                       const QString& from, const QString& to) {
    for (const Endpoint& endpoint : Endpoints()) {
      if (endpoint.keyword != QLatin1String(keyword)) continue;
      InstructionValues values;
      values.set(QLatin1String(first), from);
      values.set(QLatin1String(last), to);
      return RequestCost(endpoint, values);
    }
    return -1.0;
  };
  EXPECT_EQ(cost("LEDIG", "ANKOMST", "AVREISE", "2027.01.15", "2027.01.22"), 1);
  EXPECT_EQ(cost("LEDIG", "ANKOMST", "AVREISE", "2027.01.01", "2027.02.01"), 2);
  EXPECT_EQ(cost("LEDIGMATRISE", "FRA", "TIL", "2027.01.01", "2027.12.31"), 12);
  EXPECT_EQ(cost("LEDIGMATRISE", "FRA", "TIL", "2x27.01.01", "2027.12.31"), 1);
  EXPECT_EQ(cost("LEDIGMATRISE", "FRA", "TIL", "2027.12.31", "2027.01.01"), 1);
  EXPECT_EQ(cost("RESERVER", "ANKOMST", "AVREISE", "2027.01.01", "2027.12.31"), 1);
}

TEST(GuestRulesTest, HoldsAndBookersStayWithinTheGuestLimits) {
  GuestRules rules(GuestLimits{4, 900, 3, 2});
  QHash<qint64, BookingState> states;
  const auto stateOf = [&states](qint64 refnr) { return states.value(refnr, BookingState::kHeld); };
  qint64 now = 1'000'000;
  EXPECT_EQ(rules.checkHold("a", 5, 900, now, stateOf)->code, "guest_limit");
  EXPECT_EQ(rules.checkHold("a", 4, 901, now, stateOf)->code, "guest_limit");
  for (qint64 refnr = 1; refnr <= 3; ++refnr) {
    ASSERT_FALSE(rules.checkHold("a", 4, 900, now, stateOf));
    rules.held("a", refnr, 600 + static_cast<int>(refnr), now);
  }
  const std::optional<ApiError> fourth = rules.checkHold("a", 1, 60, now, stateOf);
  ASSERT_TRUE(fourth);
  EXPECT_EQ(fourth->status, 429);
  EXPECT_EQ(fourth->headers.value(0).second, "601");  // until the first hold ends
  EXPECT_FALSE(rules.checkHold("b", 1, 60, now, stateOf));  // another address
  // A hold that another program booked frees its place, as does one that ran out.
  states[2] = BookingState::kBooked;
  EXPECT_FALSE(rules.checkHold("a", 1, 60, now, stateOf));
  rules.held("a", 4, 60, now);
  EXPECT_TRUE(rules.checkHold("a", 1, 60, now, stateOf));
  now += 602 * 1000;
  EXPECT_FALSE(rules.checkHold("a", 1, 60, now, stateOf));

  rules.booked("a", now);
  EXPECT_FALSE(rules.checkBooker("a", now));
  rules.booked("a", now + 1000);
  const std::optional<ApiError> third = rules.checkBooker("a", now + 2000);
  ASSERT_TRUE(third);
  EXPECT_EQ(third->code, "too_many_bookings");
  EXPECT_FALSE(rules.checkBooker("a", now + GuestLedger::kDayMs + 1));
}

TEST(IdempotencyCacheTest, TheFirstAnswerComesAgainForTheSameRequestOnly) {
  IdempotencyCache cache(3, 1 << 20, 1000);
  const QByteArray request = RequestDigest("POST", "/api/v1/reservations", "{\"units\":1}");
  const QByteArray other = RequestDigest("POST", "/api/v1/reservations", "{\"units\":2}");
  cache.store("guest 1.2.3.4", "k", request, {201, "application/json", "{\"refnr\":1006}", {}}, 0);
  const IdempotencyCache::Lookup again = cache.find("guest 1.2.3.4", "k", request, 500);
  EXPECT_EQ(again.found, IdempotencyCache::Found::kSameRequest);
  EXPECT_EQ(again.answer.status, 201);
  EXPECT_EQ(again.answer.body, "{\"refnr\":1006}");
  EXPECT_EQ(cache.find("guest 1.2.3.4", "k", other, 500).found,
            IdempotencyCache::Found::kOtherRequest);
  // Another caller's key of the same name is another key.
  EXPECT_EQ(cache.find("guest 5.6.7.8", "k", request, 500).found,
            IdempotencyCache::Found::kNothing);
  // Past its lifetime, and past the count, the oldest go.
  EXPECT_EQ(cache.find("guest 1.2.3.4", "k", request, 1000).found,
            IdempotencyCache::Found::kNothing);
  for (int i = 0; i < 5; ++i) {
    cache.store("c", QByteArray::number(i), request, {201, "application/json", "{}", {}}, 2000);
  }
  EXPECT_EQ(cache.entries(), 3);
  EXPECT_EQ(cache.find("c", "0", request, 2000).found, IdempotencyCache::Found::kNothing);
  EXPECT_EQ(cache.find("c", "4", request, 2000).found, IdempotencyCache::Found::kSameRequest);
}

}  // namespace
}  // namespace taurelin
