// The payloads of the unit's four answers, as upper-case hex text, from the
// battery's figures and the unit's fixed identity.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/battery_model.h"

namespace kelvo_sim {

// Answer 0xC2: device time, cell voltages, currents, temperatures, states,
// counters and capacities, in the layout's order.
[[nodiscard]] std::string StatusPayload(const BatteryFigures& f);

// Answer 0xC8: `command_version` echoed from the request, then the battery's
// identity (serial number, versions, dates), its clock and design capacity.
[[nodiscard]] std::string IdentityPayload(const Battery& battery, std::uint32_t command_version);

// The service serial number of the unit at `address`: "KS2309-" and the
// address in three digits.
[[nodiscard]] std::string ServiceSerial(int address);

// The 16-bit registers, read-only:
//   0x0010/0x0011  device time, high and low word
//   0x0020 total voltage, 0x0021 charge current, 0x0022 discharge current,
//   0x0023 remaining capacity, 0x0024 full-charge capacity, 0x0025 design
//   capacity, 0x0026 charge per cent, 0x0027 health per cent, 0x0028 discharge
//   count, 0x0029 charge count
//   0x0030 + i    voltage of cell i + 1 (up to 32 cells)
//   0x0050 + j    temperature of sensor j + 1 (up to 16 sensors)
//   0x0100-0x0107 protection settings: cell over-voltage 3650 mV and its
//   release 3450 mV, under-voltage 2500 mV and its release 2800 mV, the
//   largest charge current 5000 and discharge current 10000, over-temperature
//   105 (65 C), balancing from 3400 mV
// Units as in battery_model.h; every other register reads 0.
[[nodiscard]] std::uint16_t RegisterValue(const BatteryFigures& f, int reg);

// Answer 0xE5: the register address and its value.
[[nodiscard]] std::string RegisterPayload(const BatteryFigures& f, int reg);

// Answer 0xE6: the count, then each register's address and value, in order.
[[nodiscard]] std::string RegistersPayload(const BatteryFigures& f, const std::vector<int>& regs);

}  // namespace kelvo_sim
