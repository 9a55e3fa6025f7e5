#pragma once

// Token buckets by client: for each client (an address, or a key's name) and each policy
// (reads, writes) a bucket that holds up to a policy's quota and fills at that quota per
// window. A request takes its cost out of the bucket, or is refused and told how long until
// it would fit.
//
// Promises: pure computation on the time it is given; a bucket unused long enough to be
// full again is forgotten, so the memory holds at most `maxBuckets` buckets whatever the
// number of clients (past that, the buckets used longest ago go first); a request costing
// more than a whole quota is taken as costing the quota, so it can always pass in the end.

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>

namespace taurelin {

struct RatePolicy {
  QByteArray name;    // "reads", "writes": named in the answer's headers
  int quota = 0;      // what the bucket holds, in units of cost
  int windowSeconds = 60;  // the time in which an empty bucket fills again
};

struct RateDecision {
  bool allowed = false;
  int remaining = 0;      // whole units left after this request
  int resetSeconds = 0;   // until the bucket is full again
  int retryAfterSeconds = 0;  // refused: until this request would fit
};

class RateLimiter {
 public:
  using Clock = std::function<qint64()>;  // milliseconds, never going back

  explicit RateLimiter(int maxBuckets = 50000, Clock clock = {});

  // Takes `cost` (at least 1) from the bucket of `client` under `policy`.
  RateDecision take(const QString& client, const RatePolicy& policy, double cost);

  int buckets() const { return static_cast<int>(buckets_.size()); }

 private:
  struct Bucket {
    double tokens = 0;
    qint64 updatedMs = 0;
    double quota = 0;
    double perMs = 0;
  };
  // Forgets the buckets that are full again; when that is not enough, the older half.
  void makeRoom(qint64 now);
  static double Fill(const Bucket& bucket, qint64 now);

  int maxBuckets_;
  Clock clock_;
  QHash<QString, Bucket> buckets_;
};

// The headers of the HTTP API working group's draft for `decision` under `policy`:
// RateLimit-Policy ("reads";q=120;w=60) and RateLimit ("reads";r=57;t=2).
QByteArray RateLimitPolicyHeader(const RatePolicy& policy);
QByteArray RateLimitHeader(const RatePolicy& policy, const RateDecision& decision);

}  // namespace taurelin
