#include "store.h"

#include "sqlite_store.h"
#ifdef KESTROVA_HAVE_POSTGRESQL
#include "postgres_store.h"
#endif

namespace kestrova::service {

std::unique_ptr<Store> OpenStore(const std::string& location) {
  const std::string sqlitePrefix = "sqlite:";
  if (location.rfind(sqlitePrefix, 0) == 0) {
    std::string path = location.substr(sqlitePrefix.size());
    if (path.empty()) throw std::invalid_argument("--db sqlite: needs a file path, e.g. sqlite:/var/lib/kestrova.db");
    return OpenSqliteStore(path);
  }
  if (location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0) {
#ifdef KESTROVA_HAVE_POSTGRESQL
    return OpenPostgresStore(location);
#else
    throw std::invalid_argument("this kestrova-service was built without PostgreSQL support");
#endif
  }
  throw std::invalid_argument("unknown --db \"" + location + "\": use sqlite:PATH or postgresql://...");
}

}  // namespace kestrova::service
