// The store URL of the configuration, taken apart.
#pragma once

#include <string>
#include <variant>

namespace kelvo_site {

// "sqlite:///ABS/PATH"
struct SqliteUrl {
  std::string path;
};

// "postgresql://USER@HOST:PORT/DB"
struct PostgresUrl {
  std::string user;
  std::string host;
  int port = 5432;
  std::string database;
};

// The parts of `url`; throws StoreError saying what is wrong with it. A
// password in the URL is refused: it belongs in the password file, where no
// log or process list shows it.
[[nodiscard]] std::variant<SqliteUrl, PostgresUrl> ParseStoreUrl(const std::string& url);

}  // namespace kelvo_site
