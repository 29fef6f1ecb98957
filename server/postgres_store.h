#pragma once

#include <memory>
#include <string>

#include "store.h"

namespace kestrova::service {

// The store for a vendor running many companies: a PostgreSQL database given
// by a libpq connection string. The schema is created in the first schema of
// the connection's search path when it is missing.
std::unique_ptr<Store> OpenPostgresStore(const std::string& connectionString);

}  // namespace kestrova::service
