// --profile FILE|none, shared by send, poll, listen and decode: which unit
// profile gives their records "values".
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "profile/profile.h"

namespace kelvo_cli {

struct ProfileOption {
  std::optional<std::string> choice;  // none: the default profile

  [[nodiscard]] bool given() const { return choice.has_value(); }
};

// The profile a command uses, once loaded; none when values are off.
struct CommandProfile {
  std::optional<kelvo_profile::Profile> profile;

  [[nodiscard]] const kelvo_profile::Profile* get() const { return profile ? &*profile : nullptr; }
};

void AddProfileOption(CLI::App& command, ProfileOption& option);

// Loads the profile --profile names whenever it is given (so that a bad one
// is refused whatever the output), else the default profile when `used` (the
// output shows values). A refused profile is reported on `err_fd` with the
// file, the line and the key; then none, and the command exits kUsageError.
[[nodiscard]] std::optional<CommandProfile> LoadCommandProfile(const ProfileOption& option, bool used,
                                                               int err_fd);

}  // namespace kelvo_cli
