// What several kestrova-service instances on one PostgreSQL database must
// share, kept in that database: sessions (by the SHA-256 of their token,
// never the token itself), the sign-in throttle's records, and a version per
// company's catalogue that a trigger bumps with every change, so each
// instance knows when a kept list reply is out of date. No process keeps
// anything another one needs.
#pragma once

#include <memory>

#include "login_throttle.h"
#include "postgres_pool.h"
#include "session_registry.h"

namespace kestrova::service {

// Tables, the trigger and its function; run once at start (under the
// store's schema lock).
const char* SharedStateSchema();

class PostgresSessionRegistry final : public SessionRegistry {
 public:
  PostgresSessionRegistry(std::shared_ptr<PostgresPool> pool, SessionLimits limits = {});
  std::string open(std::int64_t companyId) override;
  std::optional<std::int64_t> companyOf(const std::string& token) override;
  void endOtherSessions(std::int64_t companyId, const std::string& keep) override;

 private:
  std::shared_ptr<PostgresPool> pool_;
  SessionLimits limits_;
};

class PostgresLoginThrottle final : public LoginThrottle {
 public:
  PostgresLoginThrottle(std::shared_ptr<PostgresPool> pool, ThrottlePolicy policy);
  long long lockedForSeconds(const std::string& account) override;
  void recordFailure(const std::string& account) override;
  void recordSuccess(const std::string& account) override;

 private:
  std::shared_ptr<PostgresPool> pool_;
  ThrottlePolicy policy_;
};

}  // namespace kestrova::service
