// Any bytes as a gateway's status message: refused with a reason, or read
// into a `values` object that is JSON and whose numbers read back the same,
// the energy counters spliced in included.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "site/status_values.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

bool SameNumber(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view payload(reinterpret_cast<const char*>(data), size);
  std::string why;
  const std::optional<kelvo_site::StatusValues> status = kelvo_site::ParseStatus(payload, &why);
  if (!status) {
    Require(!why.empty());
    return 0;
  }
  // What one parser took for JSON, another does too.
  Require(nlohmann::json::accept(payload));
  Require(nlohmann::json::parse(status->values_json, nullptr, false).is_object());
  const kelvo_site::FlatValues& flat = status->flat;
  Require(flat.slots.size() == flat.numbers.size());
  const kelvo_site::FlatValues again = kelvo_site::FlattenValues(status->values_json);
  Require(again.slots == flat.slots);
  for (std::size_t i = 0; i < flat.numbers.size(); ++i)
    Require(SameNumber(again.numbers[i], flat.numbers[i]));
  return 0;
}
