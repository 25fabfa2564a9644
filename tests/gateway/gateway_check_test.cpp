// kelvo-gateway --check on good and bad files: exit status, and the line and
// key named for each fault. The executable is spawned as a user runs it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

struct CheckRun {
  int status = -1;
  std::string out;  // stdout and stderr together
};

CheckRun Check(const std::string& path) {
  // A check that hangs (on a FIFO, say) ends as a failure instead of holding the suite.
  const std::string command =
      "timeout 20 " + std::string(KELVO_GATEWAY_PATH) + " --check --config '" + path + "' 2>&1";
  CheckRun run;
  FILE* pipe = popen(command.c_str(), "r");
  std::array<char, 4096> buffer{};
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) run.out.append(buffer.data(), n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

class ConfigFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("kelvo-gateway-check-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& text, int mode = 0644) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path) << text;
    chmod(path.c_str(), static_cast<mode_t>(mode));
    return path;
  }
  std::filesystem::path dir_;
};

constexpr const char* kBroker = "[broker]\nurl = \"mqtt://127.0.0.1:1883\"\n";  // lines 1-2
constexpr const char* kBus =
    "[[bus]]\nname = \"rack1\"\nport = \"tcp://127.0.0.1:4001\"\naddresses = [1, 2, 3]\n";  // 4 lines

struct Case {
  const char* name;
  std::string text;
  int status;
  std::vector<std::string> said;      // all of these in the output
  std::vector<std::string> unsaid{};  // and none of these
};

TEST_F(ConfigFiles, ChecksEveryFault) {
  const std::string b = kBroker;
  const std::string bus = kBus;
  const std::string bad_profile = Write("bad-profile.toml", "[field.x]\nlabel = \"nope\"\n");
  const std::string no_certificate = Write("ca.pem", "not a certificate\n");
  const std::string spaced_token = Write("token", "two words\n", 0600);
  const std::string notify = "[notify]\nwebhook_url = ";  // lines 7-8 after b + bus
  const std::vector<Case> cases = {
      {"pinned example, comments and all",
       "[broker]\nurl = \"mqtt://127.0.0.1:1883\"      # mqtts:// for TLS\nclient_id = \"site-a\"\n"
       "topic_prefix = \"kelvo/site-a\"\nstats_interval_ms = 10000\noffline_after = 3\nmax_queued = 10000\n\n"
       "[[bus]]\nname = \"rack1\"\nport = \"tcp://127.0.0.1:4001\"\nbaud = 9600\ninterval_ms = 1000\n"
       "timeout_ms = 500\naddresses = [1, 2, 3, 7, 9, 10, 11]\n",
       0,
       {"1 bus, 7 units", "rack1: tcp://127.0.0.1:4001", "1-3, 7, 9-11", "500 ms timeout", "\"site-a\"",
        "kelvo/site-a/rack1/ADDRESS/status"}},
      {"defaults",
       b + bus,
       0,
       {"kelvo-gateway-", "keepalive 30 s", "a round every 1000 ms, 1000 ms timeout"}},
      {"timeout follows a short interval", b + bus + "interval_ms = 300\n", 0, {"300 ms timeout"}},
      {"typo in a key", b + "topic_prefx = \"x\"\n" + bus, 2, {"line 3", "\"topic_prefx\"", "unknown"}},
      {"unknown table", b + bus + "[homeassistant]\nenable = true\n", 2, {"line 8", "\"enable\""}},
      {"missing key of the second bus",
       b + bus + "\n[[bus]]\nname = \"rack2\"\nport = \"/dev/ttyUSB0\"\n",
       2,
       {"[[bus]] number 2", "line 8", "\"addresses\""}},
      {"no url", "[broker]\nclient_id = \"a\"\n" + bus, 2, {"line 1", "\"url\""}},
      {"address out of range",
       b + "[[bus]]\nname = \"r\"\nport = \"tcp://h:1\"\naddresses = [1, 256]\n",
       2,
       {"line 6", "\"addresses\"", "0-255"}},
      {"address twice",
       b + "[[bus]]\nname = \"r\"\nport = \"tcp://h:1\"\naddresses = [4, 4]\n",
       2,
       {"line 6", "address 4 twice"}},
      {"bus name",
       b + "[[bus]]\nname = \"rack 1\"\nport = \"tcp://h:1\"\naddresses = [1]\n",
       2,
       {"line 4", "\"name\""}},
      {"same bus name twice", b + bus + bus, 2, {"line 8", "\"rack1\" names another"}},
      {"bad port",
       b + "[[bus]]\nname = \"r\"\nport = \"tcp://h:0\"\naddresses = [1]\n",
       2,
       {"line 5", "\"port\""}},
      {"keepalive too short", b + "keepalive_s = 4\n" + bus, 2, {"line 3", "\"keepalive_s\"", "5-65535"}},
      {"text for a number",
       b + "max_queued = \"lots\"\n" + bus,
       2,
       {"line 3", "\"max_queued\"", "whole number"}},
      {"url scheme", "[broker]\nurl = \"http://h\"\n" + bus, 2, {"line 2", "\"url\"", "mqtt://"}},
      {"password in the url", "[broker]\nurl = \"mqtt://u:p@h\"\n" + bus, 2, {"line 2", "password_file"}},
      {"ca_file without TLS",
       b + "ca_file = \"/etc/hostname\"\n" + bus,
       2,
       {"line 3", "\"ca_file\"", "mqtts://"}},
      {"scale 0", b + bus + "[homeassistant.fields.\"总电压\"]\nscale = 0\n", 2, {"line 8", "\"scale\""}},
      {"no bus", b, 2, {"no [[bus]]"}},
      {"not TOML", b + "url = \n" + bus, 2, {"line 3"}},
      {"binary noise", std::string("\x00\xFF\xFE<\x01>\n", 7) + b, 2, {"line 1"}},
      // What MQTT forbids in a topic, named by line and key.
      {"tab in the prefix",
       b + "topic_prefix = \"site\\tx\"\n" + bus,
       2,
       {"line 3", "\"topic_prefix\"", "U+0009"}},
      {"NUL in the prefix", b + "topic_prefix = \"a\\u0000\"\n" + bus, 2, {"line 3", "U+0000"}},
      {"C1 control in the prefix", b + "topic_prefix = \"a\\u0085b\"\n" + bus, 2, {"line 3", "U+0085"}},
      {"DEL in the prefix", b + "topic_prefix = \"a\\u007F\"\n" + bus, 2, {"line 3", "U+007F"}},
      {"wildcard inside the prefix", b + "topic_prefix = \"a/+/b\"\n" + bus, 2, {"line 3", "\"+\""}},
      {"invalid UTF-8 in the prefix", b + "topic_prefix = \"a\xFF\"\n" + bus, 2, {"line 3"}},
      {"prefix too long for a topic",
       b + "topic_prefix = \"" + std::string(65500, 'p') + "\"\n" + bus,
       2,
       {"line 3", "\"topic_prefix\"", "65535"}},
      {"longest prefix", b + "topic_prefix = \"" + std::string(65453, 'p') + "\"\n" + bus, 0, {"valid"}},
      {"control character in client_id", b + "client_id = \"gw\\u0001\"\n" + bus, 2, {"line 3", "U+0001"}},
      {"tab in the discovery prefix",
       b + bus + "[homeassistant]\nprefix = \"ha\\tx\"\n",
       2,
       {"line 8", "\"prefix\"", "U+0009"}},
      {"bus name of 65,530 characters",
       b + "[[bus]]\nname = \"" + std::string(65530, 'n') + "\"\nport = \"tcp://h:1\"\naddresses = [1]\n",
       2,
       {"line 4", "\"name\"", "1-64"}},
      {"bus name of 64 characters",
       b + "[[bus]]\nname = \"" + std::string(64, 'n') + "\"\nport = \"tcp://h:1\"\naddresses = [1]\n",
       0,
       {"valid"}},
      // One port on two buses: the second would find it busy with the first.
      {"tcp port twice",
       b + bus + "[[bus]]\nname = \"rack2\"\nport = \"tcp://127.0.0.1:4001\"\naddresses = [4]\n",
       2,
       {"line 9", "\"port\"", "port also used by bus rack1, line 5"}},
      {"tcp port twice, host in capitals",
       b + "[[bus]]\nname = \"a\"\nport = \"tcp://Serial-1:4001\"\naddresses = [1]\n" +
           "[[bus]]\nname = \"b\"\nport = \"tcp://serial-1:4001\"\naddresses = [2]\n",
       2,
       {"line 9", "port also used by bus a, line 5"}},
      {"device twice, spelt two ways",
       b + "[[bus]]\nname = \"a\"\nport = \"/dev/ttyS0\"\naddresses = [1]\n" +
           "[[bus]]\nname = \"b\"\nport = \"/dev/../dev/ttyS0\"\naddresses = [2]\n",
       2,
       {"line 9", "port also used by bus a, line 5"}},
      {"the default profile",
       b + bus,
       0,
       {"values in the units of", "default.toml", "/var/lib/kelvo-gateway"}},
      {"values off", b + bus + "[site]\nprofile = \"none\"\n", 0, {"no values"}},
      {"a profile with a fault",
       b + bus + "[site]\nprofile = \"" + bad_profile + "\"\n",
       2,
       {"line 8", "\"profile\"", "bad-profile.toml: line 2", "\"nope\""}},
      {"a profile that is not there",
       b + bus + "[site]\nprofile = \"/nonexistent/p.toml\"\n",
       2,
       {"line 8", "/nonexistent/p.toml"}},
      {"typo in [site]",
       b + bus + "[site]\nstate_dirs = \"/tmp\"\n",
       2,
       {"line 8", "\"state_dirs\"", "unknown"}},
      {"an alarm rule",
       b + bus + "[[alarm]]\nname = \"cell_high\"\nvalue = \"cell_max\"\nabove = 3.6\nclear = 3.55\n",
       0,
       {"1 alarm rule beside offline and bus_down: cell_high"}},
      {"an alarm on a key the profile does not give",
       b + bus + "[[alarm]]\nname = \"x\"\nvalue = \"cell_maximum\"\nabove = 3.6\n",
       2,
       {"line 9", "\"value\"", "cell_maximum"}},
      {"an alarm without values",
       b + bus + "[site]\nprofile = \"none\"\n[[alarm]]\nname = \"x\"\nvalue = \"soc\"\nbelow = 20\n",
       2,
       {"line 11", "no profile is in use"}},
      {"a webhook, its path and query unshown",
       b + bus + notify + "\"https://alerts.example.org:8443/hook/PATHKEY?key=QUERYKEY\"\n" +
           "timeout_ms = 2000\nmax_queued = 50\n",
       0,
       {"events POSTed to the webhook https://alerts.example.org:8443;", "2000 ms for an answer",
        "at most 50 events"},
       {"PATHKEY", "QUERYKEY"}},
      {"webhook defaults",
       b + bus + notify + "\"http://127.0.0.1:8080/hook\"\n",
       0,
       {"webhook http://127.0.0.1:8080;", "10000 ms for an answer", "at most 1000 events"}},
      {"typo in [notify]",
       b + bus + notify + "\"http://h/x\"\ntimeout = 5\n",
       2,
       {"line 9", "\"timeout\"", "unknown key"}},
      {"[notify] without a url", b + bus + "[notify]\nmax_queued = 5\n", 2, {"line 7", "\"webhook_url\""}},
      {"webhook scheme", b + bus + notify + "\"ftp://h/x\"\n", 2, {"line 8", "\"webhook_url\"", "https://"}},
      {"webhook without a host", b + bus + notify + "\"http:///x\"\n", 2, {"line 8", "\"webhook_url\""}},
      {"credentials in the webhook url",
       b + bus + notify + "\"https://u:p@h/x\"\n",
       2,
       {"line 8", "token_file"},
       {"u:p"}},
      {"webhook ca_file without TLS",
       b + bus + notify + "\"http://h/x\"\nca_file = \"/etc/hostname\"\n",
       2,
       {"line 9", "\"ca_file\"", "https://"}},
      {"webhook ca_file without a certificate",
       b + bus + notify + "\"https://h/x\"\nca_file = \"" + no_certificate + "\"\n",
       2,
       {"line 9", "holds no PEM certificate"}},
      {"token that would break its header line",
       b + bus + notify + "\"http://h/x\"\ntoken_file = \"" + spaced_token + "\"\n",
       2,
       {"line 9", "\"token_file\"", "holds a space"},
       {"two words"}},
      {"webhook timeout too short",
       b + bus + notify + "\"http://h/x\"\ntimeout_ms = 50\n",
       2,
       {"line 9", "\"timeout_ms\"", "100-600000"}},
      {"other port on the same server",
       b + bus + "[[bus]]\nname = \"rack2\"\nport = \"tcp://127.0.0.1:4002\"\naddresses = [4]\n",
       0,
       {"2 buses"}},
  };
  for (const Case& c : cases) {
    const CheckRun run = Check(Write("gateway.toml", c.text));
    EXPECT_EQ(run.status, c.status) << c.name << "\n" << run.out;
    for (const std::string& text : c.said)
      EXPECT_NE(run.out.find(text), std::string::npos) << c.name << ": " << text << "\n" << run.out;
    for (const std::string& text : c.unsaid)
      EXPECT_EQ(run.out.find(text), std::string::npos) << c.name << ": " << text << "\n" << run.out;
  }
}

TEST_F(ConfigFiles, ConfigurationThatIsNoFileIsInvalid) {
  const std::string fifo = (dir_ / "fifo.toml").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string path;
    std::string said;
  } rows[] = {
      {(dir_ / "absent.toml").string(), "absent.toml: the configuration file cannot be read"},
      {dir_.string(), "is a directory, not a file"},
      {fifo, "is a named pipe (FIFO), not a file"},
  };
  for (const auto& row : rows) {
    const CheckRun run = Check(row.path);
    EXPECT_EQ(run.status, 2) << row.path << "\n" << run.out;
    EXPECT_NE(run.out.find(row.said), std::string::npos) << row.path << "\n" << run.out;
  }
}

// Each a file the gateway could not take a password from, with its own message.
TEST_F(ConfigFiles, PasswordFileMustBeARegularFileWithAPassword) {
  const std::string fifo = (dir_ / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(dir_ / "folder");
  const struct {
    std::string path;
    std::string said;
  } rows[] = {
      {fifo, "is a named pipe (FIFO), not a file"},
      {(dir_ / "folder").string(), "is a directory, not a file"},
      {Write("empty", "", 0600), "is empty"},
      {Write("blank", "\nsecond\n", 0600), "holds no password on its first line"},
      {(dir_ / "absent").string(), "cannot be read"},
  };
  for (const auto& row : rows) {
    const CheckRun run =
        Check(Write("gateway.toml", std::string(kBroker) + "username = \"gw\"\npassword_file = \"" +
                                        row.path + "\"\n" + kBus));
    EXPECT_EQ(run.status, 2) << row.path << "\n" << run.out;
    EXPECT_NE(run.out.find("line 4"), std::string::npos) << row.path << "\n" << run.out;
    EXPECT_NE(run.out.find(row.said), std::string::npos) << row.path << "\n" << run.out;
  }
}

// The broker's password and the webhook's token alike.
TEST_F(ConfigFiles, SecretFilesMustBePrivateAndNeverShow) {
  const std::string secret = "s3cret-Pa55";
  const std::string open = Write("open-secret", secret + "\n", 0644);
  const std::string closed = Write("secret", secret + "\n", 0600);
  const struct {
    const char* name;
    std::function<std::string(const std::string&)> config;
    const char* line;
  } rows[] = {
      {"password",
       [](const std::string& file) {
         return std::string(kBroker) + "username = \"gw\"\npassword_file = \"" + file + "\"\n" + kBus;
       },
       "line 4"},
      {"token",
       [](const std::string& file) {
         return std::string(kBroker) + kBus + "[notify]\nwebhook_url = \"http://h/x\"\ntoken_file = \"" +
                file + "\"\n";
       },
       "line 9"},
  };
  for (const auto& row : rows) {
    const CheckRun refused = Check(Write("a.toml", row.config(open)));
    EXPECT_EQ(refused.status, 2) << row.name;
    EXPECT_NE(refused.out.find("can be read by other users"), std::string::npos) << row.name << refused.out;
    EXPECT_NE(refused.out.find(row.line), std::string::npos) << row.name << refused.out;

    const CheckRun ok = Check(Write("b.toml", row.config(closed)));
    EXPECT_EQ(ok.status, 0) << row.name << ok.out;
    EXPECT_NE(ok.out.find(closed), std::string::npos) << row.name << ok.out;
    EXPECT_EQ(ok.out.find(secret), std::string::npos) << row.name << ok.out;
  }
}

}  // namespace
