#include "login_throttle.h"

namespace kestrova::service {

// Guessing with many made-up account names must not grow the table without
// end: past this size, records whose window and lock are over are dropped.
constexpr size_t kPruneAbove = 10000;

LoginThrottle::LoginThrottle(ThrottlePolicy policy) : policy_(policy) {}

long long LoginThrottle::lockedForSeconds(const std::string& account) {
  std::lock_guard lock(mutex_);
  auto it = records_.find(account);
  if (it == records_.end()) return 0;
  auto now = Clock::now();
  if (it->second.lockedUntil <= now) return 0;
  auto left = std::chrono::ceil<std::chrono::seconds>(it->second.lockedUntil - now);
  return left.count();
}

void LoginThrottle::recordFailure(const std::string& account) {
  std::lock_guard lock(mutex_);
  auto now = Clock::now();
  if (records_.size() > kPruneAbove) forgetStale(now);
  Record& r = records_[account];
  if (r.failures == 0 || now - r.firstFailure > policy_.window) {
    r.failures = 0;
    r.firstFailure = now;
  }
  if (++r.failures >= policy_.maxFailures) {
    r.lockedUntil = now + policy_.lockout;
    r.failures = 0;
  }
}

void LoginThrottle::recordSuccess(const std::string& account) {
  std::lock_guard lock(mutex_);
  records_.erase(account);
}

void LoginThrottle::forgetStale(Clock::time_point now) {
  std::erase_if(records_, [&](const auto& entry) {
    const Record& r = entry.second;
    return r.lockedUntil <= now && now - r.firstFailure > policy_.window;
  });
}

}  // namespace kestrova::service
