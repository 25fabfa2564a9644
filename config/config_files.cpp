#include "config/config_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kelvo_config {
namespace {

std::string NotARegularFile(const std::string& path, struct stat* info) {
  if (stat(path.c_str(), info) != 0) return std::string("cannot be read: ") + std::strerror(errno);
  if (S_ISREG(info->st_mode)) return {};
  if (S_ISDIR(info->st_mode)) return "is a directory, not a file";
  if (S_ISFIFO(info->st_mode)) return "is a named pipe (FIFO), not a file";
  if (S_ISSOCK(info->st_mode)) return "is a socket, not a file";
  return "is a device, not a file";
}

}  // namespace

std::string NotAReadableFile(const std::string& path) {
  struct stat info {};
  if (std::string why = NotARegularFile(path, &info); !why.empty()) return why;
  if (access(path.c_str(), R_OK) != 0) return std::string("cannot be read: ") + std::strerror(errno);
  return {};
}

SecretFile ReadSecretFile(const std::string& path, const std::string& what, const std::string& owner) {
  struct stat info {};
  if (const std::string why = NotARegularFile(path, &info); !why.empty()) return {{}, path + " " + why};
  if (info.st_size == 0) return {{}, path + " is empty: the " + what + " goes on its first line"};
  if ((info.st_mode & S_IROTH) != 0) {
    return {
        {},
        path + " can be read by other users: chmod o-rwx " + path + " (and keep it owned by " + owner + ")"};
  }
  std::ifstream in(path, std::ios::binary);
  std::string secret;
  if (!in || !std::getline(in, secret)) return {{}, "cannot read " + path};
  if (!secret.empty() && secret.back() == '\r') secret.pop_back();
  if (secret.empty()) return {{}, path + " holds no " + what + " on its first line"};
  return {std::move(secret), {}};
}

TextFile ReadTextFile(const std::string& path) {
  struct stat info {};
  if (std::string why = NotARegularFile(path, &info); !why.empty()) return {{}, std::move(why)};
  std::ifstream in(path, std::ios::binary);
  if (!in) return {{}, "cannot be read"};
  std::ostringstream text;
  text << in.rdbuf();
  return {text.str(), {}};
}

}  // namespace kelvo_config
