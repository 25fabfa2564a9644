// kelvo-site: the site's history and live page, from the gateways' topics.
#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <string>

#include "site/page_files.h"
#include "site/site_config.h"
#include "site/site_service.h"
#include "site/store/store.h"
#include "system/process_signals.h"

namespace {

constexpr int kInvalid = 2;

}  // namespace

int main(int argc, char** argv) {
  CLI::App cli{
      "Follows the gateways' topics on an MQTT broker, keeps every unit's history, and serves it and a "
      "live page over HTTP.",
      "kelvo-site"};
  cli.set_version_flag("--version", "kelvo-site " KVZ_VERSION, "Print the version and exit");
  std::string path;
  std::string page_dir;
  bool check = false;
  cli.add_option("--config", path, "The TOML configuration file")->required();
  cli.add_flag("--check", check, "Check the configuration, print what the service would do, and exit");
  cli.add_option("--page-dir", page_dir, "Serve the page from this directory instead of the installed one");
  cli.footer(
      "Runs until SIGINT or SIGTERM; SIGHUP reads the configuration again.\n"
      "Exit status: 0 success, 1 failure, 2 usage error or a configuration that does not check.\n"
      "Example: kelvo-site --config /etc/kelvo/site.toml --check\n"
      "See kelvo-site(8).");
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return cli.exit(e) == 0 ? 0 : kInvalid;
  }

  kelvo_site::SiteConfigResult loaded = kelvo_site::LoadSiteConfig(path);
  if (!loaded.config) {
    std::cerr << "kelvo-site: " << loaded.error << '\n';
    return kInvalid;
  }
  if (page_dir.empty()) {
    page_dir = kelvo_site::FindPageDir();
  } else if (!std::filesystem::is_regular_file(std::filesystem::path(page_dir) / "index.html")) {
    std::cerr << "kelvo-site: --page-dir " << page_dir << " holds no index.html\n";
    return kInvalid;
  }
  if (check) {
    std::cout << kelvo_site::DescribeSiteConfig(*loaded.config, path)
              << (page_dir.empty() ? std::string("no page found: the API only\n")
                                   : "the page from " + page_dir + "\n")
              << std::flush;
    return 0;
  }

  QCoreApplication app(argc, argv);
  kelvo_system::ProcessSignals signals_in({SIGINT, SIGTERM, SIGHUP});
  const std::string store_url = loaded.config->store.url;
  const std::string store_password = loaded.config->store.password;
  const kelvo_site::Retention retention = loaded.config->store.retention;
  kelvo_site::SiteService service(std::move(*loaded.config), path, page_dir, [=] {
    return kelvo_site::OpenStore(store_url, store_password, retention);
  });
  QObject::connect(&signals_in, &kelvo_system::ProcessSignals::received, &service, [&service](int number) {
    if (number == SIGHUP) {
      service.Reload();
    } else {
      service.Shutdown();
    }
  });
  QObject::connect(&service, &kelvo_site::SiteService::finished, &app, &QCoreApplication::quit);
  if (!service.Start()) return 1;
  return QCoreApplication::exec();
}
