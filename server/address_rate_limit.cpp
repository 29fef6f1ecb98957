#include "address_rate_limit.h"

#include <algorithm>

namespace kestrova::service {

// Once the table has doubled since the last sweep (and holds more than this),
// addresses whose bucket has filled up again (no attempt for burst /
// perSecond seconds) are dropped: they would be allowed anyway, so forgetting
// them changes no answer, and sweeping costs a constant per attempt.
constexpr size_t kSweepAbove = 4096;

AddressRateLimit::AddressRateLimit(double perSecond, double burst)
    : perSecond_(perSecond), burst_(std::max(1.0, burst)) {}

bool AddressRateLimit::allow(const std::string& address, Clock::time_point now) {
  if (perSecond_ <= 0) return true;
  std::lock_guard lock(mutex_);
  if (buckets_.size() > nextSweep_) forgetFullBuckets(now);
  auto [it, added] = buckets_.try_emplace(address, Bucket{burst_, now});
  Bucket& bucket = it->second;
  double elapsed = std::chrono::duration<double>(now - bucket.updated).count();
  bucket.tokens = std::min(burst_, bucket.tokens + std::max(0.0, elapsed) * perSecond_);
  bucket.updated = now;
  if (bucket.tokens < 1) return false;
  bucket.tokens -= 1;
  return true;
}

void AddressRateLimit::forgetFullBuckets(Clock::time_point now) {
  std::erase_if(buckets_, [&](const auto& entry) {
    double elapsed = std::chrono::duration<double>(now - entry.second.updated).count();
    return entry.second.tokens + elapsed * perSecond_ >= burst_;
  });
  nextSweep_ = std::max(kSweepAbove, buckets_.size() * 2);
}

}  // namespace kestrova::service
