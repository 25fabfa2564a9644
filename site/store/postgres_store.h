// The server engine: PostgreSQL through libpq.
#pragma once

#include <memory>
#include <string>

#include "site/store/store.h"
#include "site/store/store_url.h"

namespace kelvo_site {

// Connects (within a few seconds) and creates the tables where missing; the
// password travels as a connection parameter only. Throws StoreError naming
// the server and the cause.
[[nodiscard]] std::unique_ptr<Store> OpenPostgresStore(const PostgresUrl& url, const std::string& password,
                                                       const Retention& retention);

}  // namespace kelvo_site
