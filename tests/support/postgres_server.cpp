#include "postgres_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace kvz_test {
namespace {

constexpr const char* kBin = "/usr/lib/postgresql/15/bin/";
constexpr const char* kUser = "kelvo";
constexpr auto kStartDeadline = std::chrono::seconds(60);

int FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("no free loopback port");
  }
  close(fd);
  return ntohs(address.sin_port);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Who the server runs as: nobody when we are root, else ourselves.
const passwd* Unprivileged() {
  if (geteuid() != 0) return nullptr;
  const passwd* nobody = getpwnam("nobody");
  if (nobody == nullptr)
    throw std::runtime_error("running as root, and there is no user nobody to run PostgreSQL as");
  return nobody;
}

}  // namespace

PostgresServer::PostgresServer() {
  char pattern[] = "/tmp/kvz-postgres-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("cannot make a temporary directory");
  dir_ = pattern;
  if (const passwd* user = Unprivileged();
      user != nullptr && chown(dir_.c_str(), user->pw_uid, user->pw_gid) != 0) {
    throw std::runtime_error("cannot hand " + dir_ + " to nobody");
  }
  RunToEnd({std::string(kBin) + "initdb", "-D", dir_ + "/data", "-U", kUser, "--auth=trust", "-E", "UTF8",
            "--locale=C", "--no-sync", "--no-instructions"},
           dir_ + "/initdb.log");
  port_ = FreeLoopbackPort();
  Start();
}

PostgresServer::~PostgresServer() {
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void PostgresServer::Start() {
  if (server_ > 0) return;
  server_ = Spawn({std::string(kBin) + "postgres", "-D", dir_ + "/data", "-p", std::to_string(port_), "-k",
                   dir_, "-c", "listen_addresses=127.0.0.1", "-c", "fsync=off", "-c", "full_page_writes=off"},
                  dir_ + "/postgres.log");
  const std::string conninfo = "host=127.0.0.1 port=" + std::to_string(port_) + " user=" + kUser +
                               " dbname=postgres connect_timeout=2";
  const auto deadline = std::chrono::steady_clock::now() + kStartDeadline;
  while (PQping(conninfo.c_str()) != PQPING_OK) {
    int status = 0;
    if (waitpid(server_, &status, WNOHANG) == server_) {
      server_ = -1;
      throw std::runtime_error("PostgreSQL ended at start:\n" + ReadFile(dir_ + "/postgres.log"));
    }
    if (std::chrono::steady_clock::now() > deadline) {
      Stop();
      throw std::runtime_error("PostgreSQL did not accept connections:\n" + ReadFile(dir_ + "/postgres.log"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // Poll interval, not a wait for a result.
  }
}

void PostgresServer::Stop() {
  if (server_ <= 0) return;
  kill(server_, SIGINT);  // Fast shutdown: sessions end, the server exits.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  int status = 0;
  while (waitpid(server_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(server_, SIGKILL);
      waitpid(server_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  server_ = -1;
}

std::string PostgresServer::UrlOfNewDatabase() {
  const std::string name = "site" + std::to_string(++databases_);
  Execute("CREATE DATABASE " + name);
  return "postgresql://" + std::string(kUser) + "@127.0.0.1:" + std::to_string(port_) + "/" + name;
}

void PostgresServer::Execute(const std::string& sql) {
  const std::string conninfo =
      "host=127.0.0.1 port=" + std::to_string(port_) + " user=" + kUser + " dbname=postgres";
  PGconn* conn = PQconnectdb(conninfo.c_str());
  PGresult* result = PQexec(conn, sql.c_str());
  const bool done = PQresultStatus(result) == PGRES_COMMAND_OK;
  const std::string error = PQerrorMessage(conn);
  PQclear(result);
  PQfinish(conn);
  if (!done) throw std::runtime_error(sql + ": " + error);
}

pid_t PostgresServer::Spawn(const std::vector<std::string>& argv, const std::string& log) {
  const passwd* user = Unprivileged();
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) throw std::runtime_error("cannot write " + log);
  if (user != nullptr && fchown(out, user->pw_uid, user->pw_gid) != 0)
    throw std::runtime_error("cannot chown " + log);
  const pid_t child = fork();
  if (child == 0) {
    // Only async-signal-safe calls from here on.
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    if (user != nullptr &&
        (setgroups(0, nullptr) != 0 || setgid(user->pw_gid) != 0 || setuid(user->pw_uid) != 0)) {
      _exit(126);
    }
    if (chdir(dir_.c_str()) != 0) _exit(126);
    execv(args[0], args.data());
    _exit(127);
  }
  close(out);
  if (child < 0) throw std::runtime_error("cannot start " + argv[0]);
  return child;
}

void PostgresServer::RunToEnd(const std::vector<std::string>& argv, const std::string& log) {
  const pid_t child = Spawn(argv, log);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error(argv[0] + " failed:\n" + ReadFile(log));
  }
}

}  // namespace kvz_test
