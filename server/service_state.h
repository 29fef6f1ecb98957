// The service's database and the state every request checks against it:
// sessions and the sign-in throttle. On SQLite (one process) the two live in
// memory; on PostgreSQL they live in the database, so any number of
// instances can serve the same companies and a restart signs nobody out.
#pragma once

#include <memory>
#include <string>

#include "login_throttle.h"
#include "session_registry.h"
#include "store.h"

namespace kestrova::service {

struct ServiceState {
  std::unique_ptr<Store> store;
  std::unique_ptr<SessionRegistry> sessions;
  std::unique_ptr<LoginThrottle> throttle;
};

// Opens what a --db text names (see OpenStore).
ServiceState OpenServiceState(const std::string& location, const StoreOptions& options,
                              const ThrottlePolicy& policy);

}  // namespace kestrova::service
