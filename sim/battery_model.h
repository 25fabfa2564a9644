// One simulated battery: its charge going down and up in a steady cycle, and
// the figures the unit reports about it.
//
// The protocol states no units; the simulated unit assumes these (the same
// table stands in README.md for users):
//   cell voltage            mV
//   total voltage           10 mV
//   charge/discharge current 10 mA
//   temperature             degrees C + 40 (0 is -40 C)
//   capacity                10 mAh
//   total charged/discharged Ah
//   state of charge, health per cent
//   work cycle duration     ms
//   device time and dates   Unix seconds (UTC)
//
// The battery is a pure function of its address and of the whole seconds since
// the unit started, so every figure can be worked out by hand.
#pragma once

#include <cstdint>
#include <vector>

namespace kelvo_sim {

// Figures of the battery at one moment, in the units above.
struct BatteryFigures {
  std::uint32_t device_time = 0;
  int work_cycle_ms = 0;
  int health_percent = 0;
  int total_voltage = 0;
  std::vector<int> cell_mv;
  int charge_current = 0;
  int discharge_current = 0;
  std::vector<int> temperatures;  // degrees C + 40
  int current_state = 0;          // bit 0 charging, bit 1 discharging
  int mos_state = 0;              // bit 0 charge switch on, bit 1 discharge switch on
  int balancing = 0;              // bit i: cell i + 1 being balanced (the first 16 cells)
  int discharge_count = 0;
  int charge_count = 0;
  int charge_percent = 0;
  int remaining_capacity = 0;
  int full_capacity = 0;
  int learned_capacity = 0;
  int design_capacity = 0;
  int total_charged_ah = 0;
  int total_discharged_ah = 0;
};

// The cycle: discharge at 18 A down to 20 % of the full-charge capacity, then
// charge at 9 A up to 90 %, and again. Each address starts at its own point:
// 80 % less 10 % for each step of address % 5, discharging at even addresses
// and charging at odd ones; cell voltages and temperatures carry small
// offsets of their own that also depend on the address.
class Battery {
 public:
  static constexpr int kDesignCapacity = 5000;  // 50 Ah
  static constexpr int kFullCapacity = 4850;    // health 97 %
  static constexpr int kLearnedCapacity = 4820;
  static constexpr int kDischargeCurrent = 1800;  // 18 A: one capacity step every 2 s
  static constexpr int kChargeCurrent = 900;      // 9 A: one capacity step every 4 s
  static constexpr int kLowPercent = 20;
  static constexpr int kHighPercent = 90;

  Battery(int address, int cells, int sensors, std::uint32_t clock_start);

  // Moves the battery on to `seconds` since the unit started; earlier times
  // than already reached leave it where it is.
  void AdvanceTo(std::int64_t seconds);

  [[nodiscard]] BatteryFigures Figures() const;
  // The cell offsets are the battery's own: the same cell always reads the
  // same few mV away from the others.
  [[nodiscard]] int CellOffsetMv(int cell) const noexcept;
  [[nodiscard]] std::int64_t seconds() const noexcept { return seconds_; }
  [[nodiscard]] std::uint32_t deviceTime() const noexcept;
  [[nodiscard]] std::uint32_t clockStart() const noexcept { return clock_start_; }
  [[nodiscard]] int cells() const noexcept { return cells_; }
  [[nodiscard]] int address() const noexcept { return address_; }

 private:
  [[nodiscard]] int RemainingCapacity() const noexcept;

  int address_;
  int cells_;
  int sensors_;
  std::uint32_t clock_start_;
  std::int64_t seconds_ = 0;
  bool charging_ = false;
  std::int64_t charge_mas_ = 0;  // stored charge in mA s
  std::int64_t charged_mas_ = 0;
  std::int64_t discharged_mas_ = 0;
  int discharge_count_ = 120;
  int charge_count_ = 119;
};

}  // namespace kelvo_sim
