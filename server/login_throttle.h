// Slows down password guessing: after too many failed sign-ins for one
// account within a window, that account is locked for a while. A successful
// sign-in clears the account's record. One process keeps the records in
// memory; instances sharing a PostgreSQL database count in the database
// (postgres_shared_state.h), so guesses spread over instances add up.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

namespace kestrova::service {

struct ThrottlePolicy {
  int maxFailures = 5;
  std::chrono::seconds window = std::chrono::minutes(15);
  std::chrono::seconds lockout = std::chrono::minutes(15);
};

class LoginThrottle {
 public:
  virtual ~LoginThrottle() = default;
  // Seconds the account stays locked, or 0 when it may try now.
  virtual long long lockedForSeconds(const std::string& account) = 0;
  virtual void recordFailure(const std::string& account) = 0;
  virtual void recordSuccess(const std::string& account) = 0;
};

class MemoryLoginThrottle final : public LoginThrottle {
 public:
  using Clock = std::chrono::steady_clock;

  explicit MemoryLoginThrottle(ThrottlePolicy policy = {});

  long long lockedForSeconds(const std::string& account) override;
  void recordFailure(const std::string& account) override;
  void recordSuccess(const std::string& account) override;
  // How many accounts have a record (to watch the table's size).
  size_t recordCount();

 private:
  struct Record {
    int failures = 0;
    Clock::time_point firstFailure;
    Clock::time_point lockedUntil;
  };
  void sweep(Clock::time_point now);

  ThrottlePolicy policy_;
  std::mutex mutex_;
  std::unordered_map<std::string, Record> records_;
  size_t nextSweep_ = 0;  // sweep when the table reaches this size
  Clock::time_point lastSweep_;
};

}  // namespace kestrova::service
