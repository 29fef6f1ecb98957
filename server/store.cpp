#include "store.h"

#include "service_state.h"
#include "sqlite_store.h"
#ifdef KESTROVA_HAVE_POSTGRESQL
#include "postgres_shared_state.h"
#include "postgres_store.h"
#endif

namespace kestrova::service {

namespace {

bool IsPostgres(const std::string& location) {
  return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}

}  // namespace

std::unique_ptr<Store> OpenStore(const std::string& location, const StoreOptions& options) {
  const std::string sqlitePrefix = "sqlite:";
  if (location.rfind(sqlitePrefix, 0) == 0) {
    std::string path = location.substr(sqlitePrefix.size());
    if (path.empty()) throw std::invalid_argument("--db sqlite: needs a file path, e.g. sqlite:/var/lib/kestrova.db");
    return OpenSqliteStore(path);
  }
  if (IsPostgres(location)) {
#ifdef KESTROVA_HAVE_POSTGRESQL
    return OpenPostgresStore(std::make_shared<PostgresPool>(location, options));
#else
    throw std::invalid_argument("this kestrova-service was built without PostgreSQL support");
#endif
  }
  throw std::invalid_argument("unknown --db \"" + location + "\": use sqlite:PATH or postgresql://...");
}

ServiceState OpenServiceState(const std::string& location, const StoreOptions& options,
                              const ThrottlePolicy& policy) {
  ServiceState state;
#ifdef KESTROVA_HAVE_POSTGRESQL
  if (IsPostgres(location)) {
    auto pool = std::make_shared<PostgresPool>(location, options);
    state.store = OpenPostgresStore(pool);
    state.sessions = std::make_unique<PostgresSessionRegistry>(pool);
    state.throttle = std::make_unique<PostgresLoginThrottle>(pool, policy);
    return state;
  }
#endif
  state.store = OpenStore(location, options);
  state.sessions = std::make_unique<MemorySessionRegistry>();
  state.throttle = std::make_unique<MemoryLoginThrottle>(policy);
  return state;
}

}  // namespace kestrova::service
