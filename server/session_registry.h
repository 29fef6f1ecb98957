// Signed-in sessions. Tokens are 32 random bytes from libsodium, written as
// hex. One process on SQLite keeps them in memory (a restart means signing in
// again, which the tool does by itself); several processes on one PostgreSQL
// database keep them in the database (postgres_shared_state.h), so a token
// from one instance works on every other and survives a restart.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace kestrova::service {

// Sessions unused for the idle limit are forgotten, and every session ends
// the absolute limit after its sign-in however busy it is, so a stolen token
// does not stay good for ever. The tool signs in again by itself.
struct SessionLimits {
  std::chrono::seconds idle = std::chrono::hours(12);
  std::chrono::seconds absolute = std::chrono::hours(24);
};

class SessionRegistry {
 public:
  virtual ~SessionRegistry() = default;
  virtual std::string open(std::int64_t companyId) = 0;
  // The session's company, or nothing when the token is unknown or expired.
  // A successful look-up counts as use.
  virtual std::optional<std::int64_t> companyOf(const std::string& token) = 0;
  // Ends every session of the company but keep (after a password change:
  // whoever knew the old password is signed out, the changer stays).
  virtual void endOtherSessions(std::int64_t companyId, const std::string& keep) = 0;
};

// A new token: 32 random bytes as hex.
std::string NewSessionToken();

class MemorySessionRegistry final : public SessionRegistry {
 public:
  using Clock = std::chrono::steady_clock;

  explicit MemorySessionRegistry(std::chrono::seconds idleLimit = SessionLimits{}.idle,
                                 std::chrono::seconds absoluteLimit = SessionLimits{}.absolute);

  std::string open(std::int64_t companyId) override;
  std::optional<std::int64_t> companyOf(const std::string& token) override;
  void endOtherSessions(std::int64_t companyId, const std::string& keep) override;

 private:
  struct Session {
    std::int64_t companyId;
    Clock::time_point opened;
    Clock::time_point lastUsed;
  };
  bool expired(const Session& session, Clock::time_point now) const;
  void forgetExpired(Clock::time_point now);

  std::chrono::seconds idleLimit_;
  std::chrono::seconds absoluteLimit_;
  std::mutex mutex_;
  std::unordered_map<std::string, Session> sessions_;
  Clock::time_point lastSweep_;
};

}  // namespace kestrova::service
