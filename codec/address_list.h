// Lists of unit addresses as people write them: "1-50,60".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace codec {

// Comma-separated decimal addresses (kLowestAddress-kHighestAddress) and
// inclusive ranges LOW-HIGH, in the order given. None for anything else
// (blanks, signs, an empty item, a range running backwards, an address listed
// twice), with the reason in `why` when it is given ("address 7 is listed
// twice").
[[nodiscard]] std::optional<std::vector<int>> ParseAddressList(std::string_view text,
                                                               std::string* why = nullptr);

}  // namespace codec
