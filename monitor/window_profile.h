// The unit profile the window shows values with, chosen as --profile chooses
// it: the default profile, a file, or none for the raw numbers alone.
#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "profile/profile.h"

namespace kelvo_monitor {

struct WindowProfile {
  QString choice;                                         // "" the default, "none", or a file's path
  std::shared_ptr<const kelvo_profile::Profile> profile;  // null: raw numbers only
};

// Loads `choice` ("" the default profile, "none" values off, else a file).
// None when the profile is refused, with the profile library's message (the
// file, the line and the key) in `why`. Never throws but std::bad_alloc.
[[nodiscard]] std::optional<WindowProfile> LoadWindowProfile(const QString& choice, QString* why);

// The profile in words for the status bar: its file name, "默认" for the
// default, or that values are off.
[[nodiscard]] QString ProfileName(const WindowProfile& profile);

}  // namespace kelvo_monitor
