// Password work a single client address may ask for: a few attempts a second
// with a short burst. The per-account throttle stops guessing at one
// account; this stops one client from spending the hashing lane on made-up
// account names, each of which the per-account throttle sees only once.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

namespace kestrova::service {

class AddressRateLimit {
 public:
  using Clock = std::chrono::steady_clock;

  // perSecond attempts a second on average, up to burst at once. perSecond
  // 0: no limit.
  AddressRateLimit(double perSecond, double burst);

  // True when the address may make one more attempt now (and counts it).
  bool allow(const std::string& address, Clock::time_point now = Clock::now());

 private:
  struct Bucket {
    double tokens;
    Clock::time_point updated;
  };
  void forgetFullBuckets(Clock::time_point now);

  const double perSecond_, burst_;
  std::mutex mutex_;
  std::unordered_map<std::string, Bucket> buckets_;
  size_t nextSweep_ = 4096;
};

}  // namespace kestrova::service
