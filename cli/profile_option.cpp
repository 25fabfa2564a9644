#include "cli/profile_option.h"

#include "cli/message.h"
#include "cli/output.h"
#include "profile/profile_choice.h"

namespace kelvo_cli {

void AddProfileOption(CLI::App& command, ProfileOption& option) {
  command.add_option("--profile", option.choice,
                     "Unit profile (a TOML file) that gives answers their values in units, or none "
                     "(default: the default profile)");
}

std::optional<CommandProfile> LoadCommandProfile(const ProfileOption& option, bool used, int err_fd) {
  if (!option.given() && !used) return CommandProfile{};
  kelvo_profile::ProfileLoad load = kelvo_profile::LoadChosenProfile(option.choice.value_or(""));
  if (load.error) {
    Output err(err_fd, std::size_t{1} << 12, Output::OnError::Ignore);
    err.Text() = MessageLine(load.error->text);
    err.Flush();
    return std::nullopt;
  }
  return CommandProfile{std::move(load.profile)};
}

}  // namespace kelvo_cli
