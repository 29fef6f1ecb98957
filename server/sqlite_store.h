#pragma once

#include <memory>
#include <string>

#include "store.h"

namespace kestrova::service {

// The embedded store: one SQLite file, created with its schema when missing.
std::unique_ptr<Store> OpenSqliteStore(const std::string& path);

}  // namespace kestrova::service
