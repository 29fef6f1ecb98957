#pragma once

#include <memory>
#include <string>

#include "postgres_pool.h"
#include "store.h"

namespace kestrova::service {

// The store for a vendor running many companies: a PostgreSQL database given
// by a libpq connection string. The schema is created in the first schema of
// the connection's search path when it is missing.
// Instances on one database see each other's catalogue changes through
// catalogueVersion (kept by a trigger on the videos table).
std::unique_ptr<Store> OpenPostgresStore(std::shared_ptr<PostgresPool> pool);

}  // namespace kestrova::service
