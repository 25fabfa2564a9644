#include "site/store/store_url.h"

#include <charconv>

#include "site/store/postgres_store.h"
#include "site/store/sqlite_store.h"
#include "site/store/store.h"

namespace kelvo_site {
namespace {

constexpr std::string_view kSqlite = "sqlite://";
constexpr std::string_view kPostgres = "postgresql://";

[[noreturn]] void Refuse(const std::string& why) {
  throw StoreError{"store url: " + why};
}

PostgresUrl ParsePostgres(std::string_view rest) {
  PostgresUrl url;
  const auto at = rest.find('@');
  if (at == std::string_view::npos || at == 0) Refuse("postgresql:// needs USER@HOST:PORT/DB");
  url.user = std::string(rest.substr(0, at));
  if (url.user.find(':') != std::string::npos) Refuse("no password in the url: give it in password_file");
  rest.remove_prefix(at + 1);
  const auto slash = rest.find('/');
  if (slash == std::string_view::npos || slash + 1 == rest.size())
    Refuse("postgresql:// needs a database: /DB");
  url.database = std::string(rest.substr(slash + 1));
  std::string_view host_port = rest.substr(0, slash);
  std::string_view port;
  if (host_port.starts_with('[')) {  // [::1]:5432
    const auto close = host_port.find(']');
    if (close == std::string_view::npos) Refuse("host \"" + std::string(host_port) + "\" lacks its ]");
    if (close + 1 < host_port.size()) {
      if (host_port[close + 1] != ':') Refuse("host \"" + std::string(host_port) + "\" is no host:port");
      port = host_port.substr(close + 2);
    }
    host_port = host_port.substr(1, close - 1);
  } else if (const auto colon = host_port.rfind(':'); colon != std::string_view::npos) {
    port = host_port.substr(colon + 1);
    host_port = host_port.substr(0, colon);
  }
  if (!port.empty() || rest.substr(0, slash).ends_with(':')) {
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), url.port);
    if (ec != std::errc() || end != port.data() + port.size() || url.port < 1 || url.port > 65535) {
      Refuse("port \"" + std::string(port) + "\" is no port number");
    }
  }
  if (host_port.empty()) Refuse("postgresql:// needs a host");
  url.host = std::string(host_port);
  if (url.database.find_first_of("/?#") != std::string::npos)
    Refuse("database \"" + url.database + "\" is no name");
  return url;
}

}  // namespace

std::variant<SqliteUrl, PostgresUrl> ParseStoreUrl(const std::string& url) {
  const std::string_view text(url);
  if (text.starts_with(kSqlite)) {
    std::string path(text.substr(kSqlite.size()));
    if (path.empty() || path.front() != '/')
      Refuse("sqlite:// needs an absolute path: sqlite:///var/lib/...");
    return SqliteUrl{std::move(path)};
  }
  if (text.starts_with(kPostgres)) return ParsePostgres(text.substr(kPostgres.size()));
  Refuse("\"" + url + "\" is neither sqlite:///PATH nor postgresql://USER@HOST:PORT/DB");
}

std::unique_ptr<Store> OpenStore(const std::string& url, const std::string& password,
                                 const Retention& retention) {
  const auto parts = ParseStoreUrl(url);
  if (const auto* sqlite = std::get_if<SqliteUrl>(&parts)) return OpenSqliteStore(sqlite->path, retention);
  return OpenPostgresStore(std::get<PostgresUrl>(parts), password, retention);
}

}  // namespace kelvo_site
