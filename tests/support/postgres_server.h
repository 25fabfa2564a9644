// A throwaway PostgreSQL server for tests: its own cluster in a temporary
// directory, on a free loopback port, trusting local connections. As root it
// runs as `nobody`, since the server refuses to run as root.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kvz_test {

class PostgresServer {
 public:
  // Creates the cluster and starts the server; throws std::runtime_error
  // with the server's log when it does not come up within 60 s.
  PostgresServer();
  ~PostgresServer();
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  [[nodiscard]] int port() const { return port_; }

  // A new, empty database, as the store's URL names it.
  [[nodiscard]] std::string UrlOfNewDatabase();

  // Stops the server (fast shutdown) and waits for it to be gone.
  void Stop();
  // Starts it again on the same port and data.
  void Start();

 private:
  void RunToEnd(const std::vector<std::string>& argv, const std::string& log);
  [[nodiscard]] pid_t Spawn(const std::vector<std::string>& argv, const std::string& log);
  void Execute(const std::string& sql);

  std::string dir_;
  int port_ = 0;
  pid_t server_ = -1;
  int databases_ = 0;
};

}  // namespace kvz_test
