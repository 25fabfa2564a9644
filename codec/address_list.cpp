#include "codec/address_list.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "codec/requests.h"

namespace codec {
namespace {

std::optional<int> ReadAddress(std::string_view digits) {
  if (digits.empty() || digits.size() > 3 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  int value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (value > kHighestAddress) return std::nullopt;
  return value;
}

std::optional<std::vector<int>> Refuse(std::string* why, std::string reason) {
  if (why) *why = std::move(reason);
  return std::nullopt;
}

}  // namespace

std::optional<std::vector<int>> ParseAddressList(std::string_view text, std::string* why) {
  std::vector<int> addresses;
  std::array<bool, kHighestAddress + 1> listed{};
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::string_view item = text.substr(start, comma - start);
    const std::size_t dash = item.find('-');
    const auto low = ReadAddress(item.substr(0, dash));
    const auto high = dash == std::string_view::npos ? low : ReadAddress(item.substr(dash + 1));
    if (!low || !high) {
      return Refuse(why, "\"" + std::string(item) + "\" is not an address " + std::to_string(kLowestAddress) +
                             "-" + std::to_string(kHighestAddress) + " or a range LOW-HIGH of them");
    }
    if (*high < *low) return Refuse(why, "range \"" + std::string(item) + "\" runs backwards");
    for (int a = *low; a <= *high; ++a) {
      if (listed[static_cast<std::size_t>(a)])
        return Refuse(why, "address " + std::to_string(a) + " is listed twice");
      listed[static_cast<std::size_t>(a)] = true;
      addresses.push_back(a);
    }
    if (comma == text.size()) return addresses;
    start = comma + 1;
  }
}

}  // namespace codec
