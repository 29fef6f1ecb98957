#include "postgres_shared_state.h"

#include <sodium.h>

#include "password_hash.h"

namespace kestrova::service {
namespace {

// The token's SHA-256 as hex: what the database holds, so a copy of the
// table signs nobody in.
std::string TokenHash(const std::string& token) {
  InitCrypto();
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(token.data()), token.size());
  char hex[sizeof digest * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
  return hex;
}

std::string Seconds(std::chrono::seconds s) { return std::to_string(s.count()) + " seconds"; }

}  // namespace

const char* SharedStateSchema() {
  return R"SQL(
CREATE TABLE IF NOT EXISTS sessions (
  token_hash TEXT PRIMARY KEY,
  company_id BIGINT NOT NULL REFERENCES companies(id) ON DELETE CASCADE,
  opened TIMESTAMPTZ NOT NULL DEFAULT now(),
  last_used TIMESTAMPTZ NOT NULL DEFAULT now()
);
CREATE INDEX IF NOT EXISTS sessions_by_company ON sessions (company_id);
CREATE TABLE IF NOT EXISTS sign_in_failures (
  account TEXT PRIMARY KEY,
  failures INTEGER NOT NULL,
  first_failure TIMESTAMPTZ NOT NULL,
  locked_until TIMESTAMPTZ
);
CREATE TABLE IF NOT EXISTS catalogue_versions (
  company_id BIGINT PRIMARY KEY REFERENCES companies(id) ON DELETE CASCADE,
  version BIGINT NOT NULL
);
CREATE OR REPLACE FUNCTION bump_catalogue_version() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  INSERT INTO catalogue_versions AS v (company_id, version)
    VALUES (CASE WHEN TG_OP = 'DELETE' THEN OLD.company_id ELSE NEW.company_id END, 1)
    ON CONFLICT (company_id) DO UPDATE SET version = v.version + 1;
  RETURN NULL;
END $$;
CREATE OR REPLACE TRIGGER videos_bump_catalogue_version AFTER INSERT OR UPDATE OR DELETE ON videos
  FOR EACH ROW EXECUTE FUNCTION bump_catalogue_version();
)SQL";
}

PostgresSessionRegistry::PostgresSessionRegistry(std::shared_ptr<PostgresPool> pool, SessionLimits limits)
    : pool_(std::move(pool)), limits_(limits) {}

std::string PostgresSessionRegistry::open(std::int64_t companyId) {
  std::string token = NewSessionToken();
  pool_->run([&](pqxx::work& tx) {
    // Expired sessions go as new ones come, so the table holds about the
    // sessions of one idle period.
    tx.exec_params("DELETE FROM sessions WHERE last_used < now() - $1::interval OR opened < now() - $2::interval",
                   Seconds(limits_.idle), Seconds(limits_.absolute));
    tx.exec_params("INSERT INTO sessions (token_hash, company_id) VALUES ($1, $2)", TokenHash(token), companyId);
    return 0;
  });
  return token;
}

std::optional<std::int64_t> PostgresSessionRegistry::companyOf(const std::string& token) {
  if (token.empty()) return std::nullopt;
  return pool_->runStatement([&](pqxx::nontransaction& tx) -> std::optional<std::int64_t> {
    // One round trip: the look-up, and the mark of use, written at most once
    // a minute per session rather than with every request.
    auto rows = tx.exec_params(
        "WITH live AS (SELECT company_id FROM sessions WHERE token_hash = $1 "
        "  AND last_used > now() - $2::interval AND opened > now() - $3::interval), "
        "touched AS (UPDATE sessions SET last_used = now() WHERE token_hash = $1 "
        "  AND last_used < now() - interval '60 seconds' AND EXISTS (SELECT 1 FROM live)) "
        "SELECT company_id FROM live",
        TokenHash(token), Seconds(limits_.idle), Seconds(limits_.absolute));
    if (rows.empty()) return std::nullopt;
    return rows[0][0].as<std::int64_t>();
  });
}

void PostgresSessionRegistry::endOtherSessions(std::int64_t companyId, const std::string& keep) {
  pool_->run([&](pqxx::work& tx) {
    tx.exec_params("DELETE FROM sessions WHERE company_id = $1 AND token_hash <> $2", companyId, TokenHash(keep));
    return 0;
  });
}

PostgresLoginThrottle::PostgresLoginThrottle(std::shared_ptr<PostgresPool> pool, ThrottlePolicy policy)
    : pool_(std::move(pool)), policy_(policy) {}

long long PostgresLoginThrottle::lockedForSeconds(const std::string& account) {
  return pool_->runStatement([&](pqxx::nontransaction& tx) -> long long {
    auto rows = tx.exec_params(
        "SELECT ceil(extract(epoch FROM locked_until - now()))::bigint FROM sign_in_failures "
        "WHERE account = $1 AND locked_until > now()",
        account);
    return rows.empty() ? 0 : rows[0][0].as<long long>();
  });
}

// The same rule as the in-memory throttle: failures count within a window
// from the first; reaching the limit locks the account and starts counting
// afresh. The row is locked by the upsert, so failures on two instances at
// once both count.
void PostgresLoginThrottle::recordFailure(const std::string& account) {
  pool_->run([&](pqxx::work& tx) {
    // The count this failure makes: a fresh window starts at 1.
    const std::string fresh = "(f.failures = 0 OR f.first_failure < now() - $3::interval)";
    const std::string count = "(CASE WHEN " + fresh + " THEN 1 ELSE f.failures + 1 END)";
    tx.exec_params(
        "INSERT INTO sign_in_failures AS f (account, failures, first_failure, locked_until) "
        "VALUES ($1, CASE WHEN $2 <= 1 THEN 0 ELSE 1 END, now(), "
        "        CASE WHEN $2 <= 1 THEN now() + $4::interval END) "
        "ON CONFLICT (account) DO UPDATE SET "
        "  failures = CASE WHEN " + count + " >= $2 THEN 0 ELSE " + count + " END, "
        "  first_failure = CASE WHEN " + fresh + " THEN now() ELSE f.first_failure END, "
        "  locked_until = CASE WHEN " + count + " >= $2 THEN now() + $4::interval ELSE f.locked_until END",
        account, policy_.maxFailures, Seconds(policy_.window), Seconds(policy_.lockout));
    // Records whose window and lock are over are dropped now and then, so
    // made-up account names do not grow the table for good.
    if (randombytes_uniform(100) == 0)
      tx.exec_params(
          "DELETE FROM sign_in_failures WHERE (locked_until IS NULL OR locked_until < now()) "
          "AND first_failure < now() - $1::interval",
          Seconds(policy_.window));
    return 0;
  });
}

void PostgresLoginThrottle::recordSuccess(const std::string& account) {
  pool_->run([&](pqxx::work& tx) {
    tx.exec_params("DELETE FROM sign_in_failures WHERE account = $1", account);
    return 0;
  });
}

}  // namespace kestrova::service
