#include "sim/unit_answers.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <string_view>

#include "codec/frame_text.h"

namespace kelvo_sim {
namespace {

// Fixed identity of every simulated unit; only the serial numbers carry the address.
constexpr std::uint32_t kCpuSerialWord3 = 0x4B565A53;
constexpr std::uint32_t kCpuSerialWord2 = 0x494D3136;
constexpr std::uint32_t kCpuSerialWord1 = 0x00000000;
constexpr std::string_view kApplicationVersion = "1.4.2";
constexpr std::string_view kFactoryName = "kelvo";
constexpr std::string_view kMainboardName = "KVZ-SIM";
constexpr std::string_view kReleaseDate = "2024-03-18";
constexpr std::uint32_t kProductionDate = 1694736000;      // 2023-09-15 00:00 UTC
constexpr std::uint32_t kInitialisationTime = 1695196800;  // 2023-09-20 08:00 UTC
constexpr std::uint32_t kCapabilities = 0x0000000F;        // status, identity, one register, many registers
constexpr std::uint32_t kRestartCount = 3;

constexpr std::array<std::uint16_t, 8> kProtectionSettings = {3650, 3450, 2500, 2800, 5000, 10000, 105, 3400};

// `bytes` bytes of `value`, big-endian, two upper-case digits a byte.
void PutHex(std::string& out, std::uint32_t value, int bytes) {
  for (int shift = 8 * bytes - 4; shift >= 0; shift -= 4)
    out += codec::HexDigit(static_cast<int>(value >> shift));
}

// A count byte and then the text's bytes.
void PutPrefixed(std::string& out, std::string_view text) {
  PutHex(out, static_cast<std::uint32_t>(text.size()), 1);
  for (const char c : text) PutHex(out, static_cast<unsigned char>(c), 1);
}

}  // namespace

std::string StatusPayload(const BatteryFigures& f) {
  std::string p;
  PutHex(p, f.device_time, 4);
  PutHex(p, f.work_cycle_ms, 2);
  PutHex(p, f.health_percent, 1);
  PutHex(p, f.total_voltage, 2);
  PutHex(p, static_cast<std::uint32_t>(f.cell_mv.size()), 1);
  for (const int mv : f.cell_mv) PutHex(p, mv, 2);
  PutHex(p, f.charge_current, 2);
  PutHex(p, f.discharge_current, 2);
  PutHex(p, static_cast<std::uint32_t>(f.temperatures.size()), 1);
  for (const int t : f.temperatures) PutHex(p, t, 1);
  PutHex(p, 0, 2);  // temperature-sensor protection
  PutHex(p, 0, 2);  // voltage state
  PutHex(p, f.current_state, 2);
  PutHex(p, 0, 2);  // temperature state
  PutHex(p, 0, 2);  // alarms
  PutHex(p, f.mos_state, 1);
  for (int i = 0; i < 4; ++i) PutHex(p, 0, 2);  // cell over-charge/over-discharge protection and alarms
  PutHex(p, f.balancing, 2);
  PutHex(p, f.discharge_count, 2);
  PutHex(p, f.charge_count, 2);
  PutHex(p, f.charge_percent, 1);
  PutHex(p, f.remaining_capacity, 2);
  PutHex(p, f.full_capacity, 2);
  PutHex(p, f.learned_capacity, 2);
  PutHex(p, f.total_charged_ah, 2);
  PutHex(p, f.total_discharged_ah, 2);
  return p;
}

std::string ServiceSerial(int address) {
  char text[16];
  std::snprintf(text, sizeof text, "KS2309-%03d", address);
  return text;
}

std::string IdentityPayload(const Battery& battery, std::uint32_t command_version) {
  const std::string serial = ServiceSerial(battery.address());
  unsigned serial_sum = 0;
  for (const char c : serial) serial_sum += static_cast<unsigned char>(c);

  std::string p;
  PutHex(p, command_version, 4);
  PutHex(p, static_cast<std::uint32_t>(battery.cells()), 1);
  PutHex(p, kCpuSerialWord3, 4);
  PutHex(p, kCpuSerialWord2, 4);
  PutHex(p, kCpuSerialWord1, 4);
  PutHex(p, static_cast<std::uint32_t>(battery.address()), 4);
  PutPrefixed(p, kApplicationVersion);
  PutPrefixed(p, serial);
  PutPrefixed(p, kFactoryName);
  PutPrefixed(p, kMainboardName);
  PutPrefixed(p, kReleaseDate);
  PutHex(p, serial_sum, 1);  // the serial's self-check: the sum of its bytes
  PutHex(p, kProductionDate, 4);
  PutHex(p, kInitialisationTime, 4);
  PutHex(p, kCapabilities, 4);
  PutHex(p, battery.deviceTime(), 4);
  PutHex(p, kRestartCount, 4);
  PutHex(p, battery.clockStart(), 4);  // the unit restarted when the simulation began
  PutHex(p, Battery::kDesignCapacity, 2);
  return p;
}

std::uint16_t RegisterValue(const BatteryFigures& f, int reg) {
  const auto cells = static_cast<int>(f.cell_mv.size());
  const auto sensors = static_cast<int>(f.temperatures.size());
  const int summary[] = {f.total_voltage,   f.charge_current,  f.discharge_current, f.remaining_capacity,
                         f.full_capacity,   f.design_capacity, f.charge_percent,    f.health_percent,
                         f.discharge_count, f.charge_count};
  int value = 0;
  if (reg == 0x0010) value = static_cast<int>(f.device_time >> 16);
  if (reg == 0x0011) value = static_cast<int>(f.device_time & 0xFFFF);
  if (reg >= 0x0020 && reg < 0x0020 + static_cast<int>(std::size(summary))) value = summary[reg - 0x0020];
  if (reg >= 0x0030 && reg < 0x0030 + std::min(cells, 32)) value = f.cell_mv[reg - 0x0030];
  if (reg >= 0x0050 && reg < 0x0050 + std::min(sensors, 16)) value = f.temperatures[reg - 0x0050];
  if (reg >= 0x0100 && reg < 0x0100 + static_cast<int>(kProtectionSettings.size())) {
    value = kProtectionSettings[reg - 0x0100];
  }
  return static_cast<std::uint16_t>(value);
}

std::string RegisterPayload(const BatteryFigures& f, int reg) {
  std::string p;
  PutHex(p, static_cast<std::uint32_t>(reg), 2);
  PutHex(p, RegisterValue(f, reg), 2);
  return p;
}

std::string RegistersPayload(const BatteryFigures& f, const std::vector<int>& regs) {
  std::string p;
  PutHex(p, static_cast<std::uint32_t>(regs.size()), 1);
  for (const int reg : regs) p += RegisterPayload(f, reg);
  return p;
}

}  // namespace kelvo_sim
