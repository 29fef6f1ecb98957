// Signed-in sessions, kept in memory: a restart of the service means signing
// in again, which the desktop tool does at every start anyway. Tokens are 32
// random bytes from libsodium, written as hex.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace kestrova::service {

class SessionRegistry {
 public:
  using Clock = std::chrono::steady_clock;

  // Sessions unused for idleLimit are forgotten, and every session ends
  // absoluteLimit after its sign-in however busy it is, so a stolen token
  // does not stay good for ever. The tool signs in again by itself.
  explicit SessionRegistry(std::chrono::seconds idleLimit = std::chrono::hours(12),
                           std::chrono::seconds absoluteLimit = std::chrono::hours(24));

  std::string open(std::int64_t companyId);
  // The session's company, or nothing when the token is unknown or expired.
  // A successful look-up counts as use.
  std::optional<std::int64_t> companyOf(const std::string& token);
  // Ends every session of the company but keep (after a password change:
  // whoever knew the old password is signed out, the changer stays).
  void endOtherSessions(std::int64_t companyId, const std::string& keep);

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
