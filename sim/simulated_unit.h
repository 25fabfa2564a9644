// The protocol side of a simulated battery unit: a request frame in, the
// answer frame out. Pure and deterministic given the seed and the clock it is
// given, so tests call it directly; UnitServer puts it on a wire.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "codec/requests.h"
#include "sim/battery_model.h"
#include "sim/faults.h"

namespace kelvo_sim {

struct BatteryConfig {
  int cells = 16;
  int sensors = 4;
  std::uint32_t clock_start = 1700000000;  // device time when the unit starts (2023-11-14 22:13:20 UTC)
};

class SimulatedUnit {
 public:
  // One battery for each of `addresses` (0-255, each once). `seed` drives the
  // faults; the batteries themselves draw nothing.
  SimulatedUnit(std::vector<int> addresses, BatteryConfig config, std::uint64_t seed);

  // The answer to `request`, or none: not well formed, not one of our
  // addresses, not 0x42/0x48/0x65/0x66. The unit's clock starts at the first
  // `now` it is given; its device time is clock_start plus the whole seconds
  // since. 0xE6 answers as many of the asked registers as fit in one frame.
  [[nodiscard]] std::optional<std::string> Answer(std::string_view request,
                                                  std::chrono::steady_clock::time_point now);

  // What goes on the line for `request` once `faults` are applied: the echo,
  // noise, the answer (dropped, corrupted, from the wrong address, delayed or
  // split). Every draw comes from the unit's one generator, in a fixed order.
  [[nodiscard]] Delivery Deliver(std::string_view request, std::chrono::steady_clock::time_point now,
                                 const Faults& faults);

  // A reason when the 0x42 answer of `config` would not fit in a frame, or a
  // count is out of range (cells 1-255, sensors 0-255); none when it is fine.
  static std::optional<std::string> CheckConfig(BatteryConfig config);

  [[nodiscard]] const std::vector<int>& addresses() const noexcept { return addresses_; }
  // The battery at `address`, or null when the unit does not answer there.
  [[nodiscard]] const Battery* battery(int address) const noexcept;

 private:
  struct Reply {
    int address;
    int command;
    std::string payload;
  };
  [[nodiscard]] std::optional<Reply> Respond(std::string_view request,
                                             std::chrono::steady_clock::time_point now);
  [[nodiscard]] std::optional<std::size_t> BatteryIndex(int address) const noexcept;
  [[nodiscard]] double Chance();

  std::vector<int> addresses_;
  std::vector<Battery> batteries_;
  // By address: the index into batteries_ + 1; 0 for none.
  std::array<int, codec::kHighestAddress + 1> battery_at_{};
  std::optional<std::chrono::steady_clock::time_point> start_;
  std::mt19937_64 random_;
};

}  // namespace kelvo_sim
