#include "sim/faults.h"

#include <charconv>

namespace kelvo_sim {
namespace {

constexpr int kLongestDelayMs = 60000;

bool Fail(std::string* why, std::string reason) {
  if (why) *why = std::move(reason);
  return false;
}

bool ReadProbability(std::string_view text, double& out) {
  const char* end = text.data() + text.size();
  double value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
  if (ec != std::errc() || ptr != end || !(value >= 0 && value <= 1)) return false;
  out = value;
  return true;
}

}  // namespace

bool ParseFault(std::string_view text, Faults& faults, std::string* why) {
  const std::size_t equals = text.find('=');
  const std::string_view name = text.substr(0, equals);
  const bool has_value = equals != std::string_view::npos;
  const std::string_view value = has_value ? text.substr(equals + 1) : std::string_view();
  const std::string quoted = "\"" + std::string(text) + "\"";

  double* probability = name == "drop"            ? &faults.drop
                        : name == "corrupt"       ? &faults.corrupt
                        : name == "wrong-address" ? &faults.wrong_address
                                                  : nullptr;
  if (probability) {
    if (!has_value || !ReadProbability(value, *probability)) {
      return Fail(why,
                  "fault " + quoted + ": give a probability from 0 to 1, as " + std::string(name) + "=0.1");
    }
    return true;
  }
  if (name == "delay") {
    int ms = -1;
    const char* end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, ms);
    if (!has_value || ec != std::errc() || ptr != end || ms < 0 || ms > kLongestDelayMs) {
      return Fail(why, "fault " + quoted + ": give the delay in milliseconds, 0 to 60000, as delay=200");
    }
    faults.delay_ms = ms;
    return true;
  }
  bool* flag = name == "split"   ? &faults.split
               : name == "noise" ? &faults.noise
               : name == "echo"  ? &faults.echo
                                 : nullptr;
  if (flag) {
    if (has_value) return Fail(why, "fault " + quoted + ": " + std::string(name) + " takes no value");
    *flag = true;
    return true;
  }
  return Fail(why, "unknown fault " + quoted +
                       "; the faults are drop=P, corrupt=P, wrong-address=P, delay=MS, split, noise, echo");
}

}  // namespace kelvo_sim
