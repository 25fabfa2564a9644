#include "profile/profile_choice.h"

#include <unistd.h>

#include <array>
#include <filesystem>

namespace kelvo_profile {
namespace {

constexpr std::string_view kProfileUnderShare = "kelvo/profiles/default.toml";

// The directory of the running program, or empty where the system says none.
std::string ProgramDirectory() {
  std::array<char, 4096> path{};
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return {};
  return std::filesystem::path(std::string(path.data(), static_cast<std::size_t>(length)))
      .parent_path()
      .string();
}

}  // namespace

std::vector<std::string> DefaultProfileCandidates() {
  std::vector<std::string> candidates;
  if (const std::string directory = ProgramDirectory(); !directory.empty()) {
    candidates.push_back(directory + "/../share/" + std::string(kProfileUnderShare));
  }
  candidates.push_back("/usr/share/" + std::string(kProfileUnderShare));
  candidates.emplace_back(KVZ_PROFILE_SOURCE_PATH);
  return candidates;
}

std::string FindDefaultProfile() {
  for (const std::string& candidate : DefaultProfileCandidates()) {
    std::error_code error;
    if (std::filesystem::is_regular_file(candidate, error)) {
      return std::filesystem::path(candidate).lexically_normal().string();
    }
  }
  return {};
}

ProfileLoad LoadChosenProfile(std::string_view choice) {
  if (choice == kNoProfile) return {};
  if (!choice.empty()) return LoadProfile(std::string(choice));
  const std::string path = FindDefaultProfile();
  if (!path.empty()) return LoadProfile(path);
  std::string text = "no default profile: looked for";
  for (const std::string& candidate : DefaultProfileCandidates()) text += ' ' + candidate;
  text += "; give one with --profile FILE, or --profile none";
  return {std::nullopt, ProfileError{{}, 0, {}, std::move(text)}};
}

}  // namespace kelvo_profile
