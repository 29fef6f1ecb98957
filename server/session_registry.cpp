#include "session_registry.h"

#include <sodium.h>

#include "password_hash.h"

namespace kestrova::service {

MemorySessionRegistry::MemorySessionRegistry(std::chrono::seconds idleLimit, std::chrono::seconds absoluteLimit)
    : idleLimit_(idleLimit), absoluteLimit_(absoluteLimit), lastSweep_(Clock::now()) {}

bool MemorySessionRegistry::expired(const Session& session, Clock::time_point now) const {
  return now - session.lastUsed > idleLimit_ || now - session.opened > absoluteLimit_;
}

std::string NewSessionToken() {
  InitCrypto();
  unsigned char bytes[32];
  randombytes_buf(bytes, sizeof bytes);
  char hex[sizeof bytes * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
  return hex;
}

std::string MemorySessionRegistry::open(std::int64_t companyId) {
  std::string token = NewSessionToken();

  std::lock_guard lock(mutex_);
  auto now = Clock::now();
  forgetExpired(now);
  sessions_[token] = Session{companyId, now, now};
  return token;
}

std::optional<std::int64_t> MemorySessionRegistry::companyOf(const std::string& token) {
  if (token.empty()) return std::nullopt;
  std::lock_guard lock(mutex_);
  auto now = Clock::now();
  auto it = sessions_.find(token);
  if (it == sessions_.end()) return std::nullopt;
  if (expired(it->second, now)) {
    sessions_.erase(it);
    return std::nullopt;
  }
  it->second.lastUsed = now;
  return it->second.companyId;
}

// Sweeping at most once a minute keeps sign-in cheap while still bounding the
// map by the sessions of the last idle period.
void MemorySessionRegistry::forgetExpired(Clock::time_point now) {
  if (now - lastSweep_ < std::chrono::minutes(1)) return;
  lastSweep_ = now;
  std::erase_if(sessions_, [&](const auto& entry) { return expired(entry.second, now); });
}

void MemorySessionRegistry::endOtherSessions(std::int64_t companyId, const std::string& keep) {
  std::lock_guard lock(mutex_);
  std::erase_if(sessions_,
                [&](const auto& entry) { return entry.second.companyId == companyId && entry.first != keep; });
}

}  // namespace kestrova::service
