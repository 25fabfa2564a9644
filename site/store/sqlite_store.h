// The embedded engine: one SQLite file in WAL mode.
#pragma once

#include <memory>
#include <string>

#include "site/store/store.h"

namespace kelvo_site {

// Opens (creating where missing) the store at the absolute path `path`;
// throws StoreError naming the path and the cause.
[[nodiscard]] std::unique_ptr<Store> OpenSqliteStore(const std::string& path, const Retention& retention);

}  // namespace kelvo_site
