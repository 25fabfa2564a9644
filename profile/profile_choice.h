// Which profile a program uses: the one given (--profile FILE, or "none" for
// no values), else the default profile, found where the package installs it
// or in the source tree of a build that was never installed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "profile/profile.h"

namespace kelvo_profile {

// The text that turns values off: --profile none, profile = "none".
inline constexpr std::string_view kNoProfile = "none";

// Where the default profile is looked for, first first: beside the program
// (its directory's ../share/kelvo/profiles/default.toml, for any install
// prefix), then /usr/share/kelvo/profiles/default.toml (the package's), then
// profile/default.toml of the source tree the program was built from.
[[nodiscard]] std::vector<std::string> DefaultProfileCandidates();

// The first of DefaultProfileCandidates that exists, or empty.
[[nodiscard]] std::string FindDefaultProfile();

// The profile `choice` names: kNoProfile gives neither a profile nor an
// error (values off), an empty text the default profile (an error naming
// every place looked at when there is none), anything else a file's path.
[[nodiscard]] ProfileLoad LoadChosenProfile(std::string_view choice);

}  // namespace kelvo_profile
