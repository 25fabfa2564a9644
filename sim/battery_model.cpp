#include "sim/battery_model.h"

#include <algorithm>

namespace kelvo_sim {
namespace {

constexpr std::int64_t kMasPerCapacityStep = 36000;  // 10 mAh
constexpr std::int64_t kMasPerAh = 3600000;
constexpr std::int64_t kMaPerCurrentStep = 10;
constexpr std::int64_t kLowMas =
    std::int64_t{Battery::kFullCapacity} * Battery::kLowPercent / 100 * kMasPerCapacityStep;
constexpr std::int64_t kHighMas =
    std::int64_t{Battery::kFullCapacity} * Battery::kHighPercent / 100 * kMasPerCapacityStep;
constexpr int kInitialChargedAh = 5800;
constexpr int kInitialDischargedAh = 5820;
// Open-circuit cell voltage from empty to full, and the drop or rise across
// the cell's resistance under the discharge or charge current.
constexpr int kEmptyCellMv = 3000;
constexpr int kFullSwingMv = 400;
constexpr int kDischargeSagMv = 36;
constexpr int kChargeRiseMv = 18;
constexpr int kAmbientC = 25;
constexpr int kTemperatureOffset = 40;
constexpr int kBalanceAboveMv = 3;  // a cell this far above the middle is balanced while charging
constexpr int kBalancingBits = 16;  // the 0x42 answer's balancing state is two bytes

}  // namespace

Battery::Battery(int address, int cells, int sensors, std::uint32_t clock_start)
    : address_(address), cells_(cells), sensors_(sensors), clock_start_(clock_start) {
  const int start_percent = 80 - 10 * (address % 5);
  charge_mas_ = std::int64_t{kFullCapacity} * start_percent / 100 * kMasPerCapacityStep;
  charging_ = address % 2 == 1;
  if (charging_) std::swap(discharge_count_, charge_count_);
}

void Battery::AdvanceTo(std::int64_t seconds) {
  while (seconds_ < seconds) {
    const std::int64_t per_second = (charging_ ? kChargeCurrent : kDischargeCurrent) * kMaPerCurrentStep;
    const std::int64_t to_go = charging_ ? kHighMas - charge_mas_ : charge_mas_ - kLowMas;
    const std::int64_t to_switch = std::max<std::int64_t>(0, (to_go + per_second - 1) / per_second);
    const std::int64_t step = std::min(seconds - seconds_, to_switch);
    if (charging_) {
      charge_mas_ += step * per_second;
      charged_mas_ += step * per_second;
    } else {
      charge_mas_ -= step * per_second;
      discharged_mas_ += step * per_second;
    }
    seconds_ += step;
    if (step == to_switch) {
      charging_ = !charging_;
      ++(charging_ ? charge_count_ : discharge_count_);
    }
  }
}

int Battery::CellOffsetMv(int cell) const noexcept {
  return (cell * 7 + address_ * 3) % 11 - 5;
}

std::uint32_t Battery::deviceTime() const noexcept {
  return static_cast<std::uint32_t>(clock_start_ + static_cast<std::uint64_t>(seconds_));
}

int Battery::RemainingCapacity() const noexcept {
  return static_cast<int>(charge_mas_ / kMasPerCapacityStep);
}

BatteryFigures Battery::Figures() const {
  BatteryFigures f;
  const int remaining = RemainingCapacity();
  f.device_time = deviceTime();
  f.work_cycle_ms = 200 + static_cast<int>(seconds_ % 5);
  f.health_percent = kFullCapacity * 100 / kDesignCapacity;
  const int open_circuit_mv = kEmptyCellMv + kFullSwingMv * remaining / kFullCapacity;
  const int load_mv = charging_ ? kChargeRiseMv : -kDischargeSagMv;
  int total_mv = 0;
  for (int i = 0; i < cells_; ++i) {
    f.cell_mv.push_back(open_circuit_mv + load_mv + CellOffsetMv(i));
    total_mv += f.cell_mv.back();
    if (charging_ && i < kBalancingBits && CellOffsetMv(i) >= kBalanceAboveMv) f.balancing |= 1 << i;
  }
  f.total_voltage = total_mv / 10;
  f.charge_current = charging_ ? kChargeCurrent : 0;
  f.discharge_current = charging_ ? 0 : kDischargeCurrent;
  for (int j = 0; j < sensors_; ++j) {
    f.temperatures.push_back(kTemperatureOffset + kAmbientC + (j + address_) % 3 + (charging_ ? 1 : 3));
  }
  f.current_state = charging_ ? 1 : 2;
  f.mos_state = 3;
  f.discharge_count = discharge_count_;
  f.charge_count = charge_count_;
  f.charge_percent = remaining * 100 / kFullCapacity;
  f.remaining_capacity = remaining;
  f.full_capacity = kFullCapacity;
  f.learned_capacity = kLearnedCapacity;
  f.design_capacity = kDesignCapacity;
  f.total_charged_ah = kInitialChargedAh + static_cast<int>(charged_mas_ / kMasPerAh);
  f.total_discharged_ah = kInitialDischargedAh + static_cast<int>(discharged_mas_ / kMasPerAh);
  return f;
}

}  // namespace kelvo_sim
