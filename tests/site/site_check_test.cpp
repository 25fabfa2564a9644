// kelvo-site --check on good and bad files: exit status, what it says it
// would do, and the line and key named for each fault.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct CheckRun {
  int status = -1;
  std::string out;  // stdout and stderr together
};

CheckRun Check(const std::string& path) {
  const std::string command =
      "timeout 20 " + std::string(KELVO_SITE_PATH) + " --check --config '" + path + "' 2>&1";
  CheckRun run;
  FILE* pipe = popen(command.c_str(), "r");
  std::array<char, 4096> buffer{};
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) run.out.append(buffer.data(), n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

struct Case {
  const char* name;
  std::string text;
  int status;
  std::vector<std::string> said;
  std::vector<std::string> unsaid{};
};

TEST(SiteCheck, ChecksEveryFault) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kelvo-site-check-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto write = [&dir](const std::string& name, const std::string& text, int mode) {
    std::string path = (dir / name).string();
    std::ofstream(path) << text;
    chmod(path.c_str(), static_cast<mode_t>(mode));
    return path;
  };
  const std::string token = write("token", "s3cret-token-value\n", 0600);
  const std::string open_token = write("open-token", "s3cret-token-value\n", 0644);
  const std::string password = write("pg-password", "pg-s3cret\n", 0600);
  const std::string b = "[broker]\nurl = \"mqtt://127.0.0.1:1883\"\n";  // lines 1-2
  const std::vector<Case> cases = {
      {"pinned example",
       "[broker]\nurl = \"mqtt://127.0.0.1:1883\"\ntopic_prefixes = [\"kelvo/site-a\", \"kelvo/site-b\"]\n"
       "client_id = \"kelvo-site\"\n\n[store]\nurl = \"sqlite:///var/lib/kelvo-site/site.db\"\nraw_hours = "
       "48\n"
       "minute_days = 30\n\n[http]\nlisten = \"127.0.0.1:8080\"\ntoken_file = \"" +
           token + "\"\n",
       0,
       {"broker mqtt://127.0.0.1:1883 as client \"kelvo-site\"", "kelvo/site-a/+/+/status",
        "kelvo/site-b/events", "SQLite file /var/lib/kelvo-site/site.db", "kept 48 h",
        "values in the units of ", "default.toml", "http://127.0.0.1:8080/", "bearer token in " + token},
       {"s3cret"}},
      {"defaults, PostgreSQL with a password file",
       b + "[store]\nurl = \"postgresql://kelvo@db.example:5432/site\"\npassword_file = \"" + password +
           "\"\n",
       0,
       {"follows the gateway under \"kelvo/\"", "PostgreSQL postgresql://kelvo@db.example:5432/site",
        "password in " + password, "no token"},
       {"pg-s3cret"}},
      {"unknown key", b + "colour = \"blue\"\n", 2, {"line 3", "colour"}},
      {"bad url", "[broker]\nurl = \"http://127.0.0.1\"\n", 2, {"line 2", "\"url\""}},
      {"token file others can read",
       b + "[http]\ntoken_file = \"" + open_token + "\"\n",
       2,
       {"line 4", "token_file", "other users"},
       {"s3cret"}},
      {"listen without a port", b + "[http]\nlisten = \"127.0.0.1\"\n", 2, {"line 4", "listen"}},
      {"listen on a name",
       b + "[http]\nlisten = \"example.org:8080\"\n",
       2,
       {"line 4", "listen", "IP address"}},
      {"listen on a bad port", b + "[http]\nlisten = \"127.0.0.1:99999\"\n", 2, {"line 4", "listen"}},
      {"password in the store url",
       b + "[store]\nurl = \"postgresql://kelvo:pw@db:5432/site\"\n",
       2,
       {"line 4", "password_file"}},
      {"prefix with a wildcard",
       b + "topic_prefixes = [\"kelvo/#\"]\n",
       2,
       {"line 3", "topic_prefixes", "#"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CheckRun run = Check(write("site.toml", c.text, 0644));
    EXPECT_EQ(run.status, c.status) << run.out;
    for (const std::string& s : c.said)
      EXPECT_NE(run.out.find(s), std::string::npos) << s << " in\n" << run.out;
    for (const std::string& s : c.unsaid)
      EXPECT_EQ(run.out.find(s), std::string::npos) << s << " in\n" << run.out;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
