// The subcommands of kelvo-frame: each registers itself with what it runs, so
// that main() is a list of registrations.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kelvo_cli {

// Runs a chosen subcommand after parsing; returns the exit status.
using CommandRun = std::function<int()>;

class CommandRegistry {
 public:
  explicit CommandRegistry(CLI::App& app) : app_(app) {}

  // Adds subcommand `name`; `run` is called when the user chose it. Options
  // go on the returned subcommand, their storage captured by `run`.
  CLI::App* Add(const std::string& name, const std::string& description, CommandRun run) {
    CLI::App* command = app_.add_subcommand(name, description);
    commands_.emplace_back(command, std::move(run));
    return command;
  }

  // Takes a subcommand that its own code added to the app.
  void Adopt(CLI::App* command, CommandRun run) { commands_.emplace_back(command, std::move(run)); }

  // The status of the chosen subcommand (the parser asks for exactly one).
  [[nodiscard]] int RunChosen() const {
    for (const auto& [command, run] : commands_) {
      if (*command) return run();
    }
    return 0;
  }

 private:
  CLI::App& app_;
  std::vector<std::pair<CLI::App*, CommandRun>> commands_;
};

}  // namespace kelvo_cli
