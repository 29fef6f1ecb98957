#include "login_throttle.h"

#include <algorithm>

namespace kestrova::service {

// Guessing with many made-up account names must not grow the table without
// end. Records whose window and lock are over are dropped each time the
// table has doubled since the last sweep (past kPruneAbove), so sweeping
// costs a constant per failure; at kMaxRecords, records without a running
// lock go too (at most once a second), and while every record holds a lock,
// new names are not recorded. Account names are at most
// a few hundred bytes (longer ones are refused before they get here), so the
// table stays within some tens of megabytes; filling it with locks takes
// kMaxRecords * maxFailures password hashes, hours of the server's time.
constexpr size_t kPruneAbove = 10000;
constexpr size_t kMaxRecords = 50000;

MemoryLoginThrottle::MemoryLoginThrottle(ThrottlePolicy policy) : policy_(policy) {}

long long MemoryLoginThrottle::lockedForSeconds(const std::string& account) {
  std::lock_guard lock(mutex_);
  auto it = records_.find(account);
  if (it == records_.end()) return 0;
  auto now = Clock::now();
  if (it->second.lockedUntil <= now) return 0;
  auto left = std::chrono::ceil<std::chrono::seconds>(it->second.lockedUntil - now);
  return left.count();
}

void MemoryLoginThrottle::recordFailure(const std::string& account) {
  std::lock_guard lock(mutex_);
  auto now = Clock::now();
  bool full = records_.size() >= kMaxRecords;
  if (records_.size() >= nextSweep_ || (full && now - lastSweep_ >= std::chrono::seconds(1))) sweep(now);
  if (records_.size() >= kMaxRecords && !records_.count(account)) return;
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

void MemoryLoginThrottle::recordSuccess(const std::string& account) {
  std::lock_guard lock(mutex_);
  records_.erase(account);
}

size_t MemoryLoginThrottle::recordCount() {
  std::lock_guard lock(mutex_);
  return records_.size();
}

void MemoryLoginThrottle::sweep(Clock::time_point now) {
  lastSweep_ = now;
  std::erase_if(records_, [&](const auto& entry) {
    const Record& r = entry.second;
    return r.lockedUntil <= now && now - r.firstFailure > policy_.window;
  });
  if (records_.size() >= kMaxRecords)
    std::erase_if(records_, [&](const auto& entry) { return entry.second.lockedUntil <= now; });
  nextSweep_ = std::max(kPruneAbove, records_.size() * 2);
}

}  // namespace kestrova::service
