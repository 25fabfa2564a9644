#include "site/store/postgres_store.h"

namespace kelvo_site {

std::unique_ptr<Store> OpenPostgresStore(const PostgresUrl& url, const std::string&, const Retention&) {
  throw StoreError{"PostgreSQL at " + url.host + ":" + std::to_string(url.port) + ": engine not built yet"};
}

}  // namespace kelvo_site
