// The addresses a simulated unit answers for, as the command line gives them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo_sim {

// "1-50,60", "0": comma-separated decimal addresses (0-255) and inclusive
// ranges LOW-HIGH, in the order given. None for anything else (blanks, signs,
// an empty item, a range running backwards, an address listed twice), with the
// reason in `why` when it is given.
[[nodiscard]] std::optional<std::vector<int>> ParseAddressList(std::string_view text,
                                                               std::string* why = nullptr);

}  // namespace kelvo_sim
