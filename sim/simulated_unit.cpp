#include "sim/simulated_unit.h"

#include <algorithm>

#include "codec/frame_breakdown.h"
#include "codec/frame_format.h"
#include "codec/frame_text.h"
#include "codec/frame_validation.h"
#include "codec/request_builder.h"
#include "codec/requests.h"
#include "sim/unit_answers.h"

namespace kelvo_sim {
namespace {

using codec::Command;

constexpr int kAddressCount = codec::kHighestAddress - codec::kLowestAddress + 1;
constexpr int kByteValues = 0x100;  // of one byte: a check value, a stray byte
// The 0x42 answer gives the cell and the sensor count in a byte each.
constexpr int kMostCounted = 0xFF;
constexpr int kMaxNoiseBytes = 8;
constexpr int kMaxSplitPieces = 4;
constexpr int kMaxSplitGapMs = 20;

// The frame the unit sends, or none when it would not fit.
std::optional<std::string> Encode(int address, int command, std::string_view payload) {
  char command_text[2];
  codec::WriteHexField(command_text, command);
  std::string frame = codec::EncodeRequest(address, std::string_view(command_text, 2), payload);
  if (frame == codec::kLengthErrorText) return std::nullopt;
  return frame;
}

// The request's payload fields, in layout order.
std::vector<std::string_view> PayloadFields(const codec::FrameItems& items) {
  std::vector<std::string_view> fields;
  for (const codec::FrameItem& item : items) {
    if (item.role == codec::ItemRole::PayloadField) fields.push_back(item.value);
  }
  return fields;
}

int ItemValue(const codec::FrameItems& items, codec::ItemRole role) {
  for (const codec::FrameItem& item : items) {
    if (item.role == role) return codec::ParseHexNumber(item.value);
  }
  return -1;
}

// The request `code` names, when the unit answers it.
std::optional<Command> AnsweredCommand(int code) {
  for (const Command command :
       {Command::Status, Command::DeviceInfo, Command::ReadRegister, Command::ReadRegisters}) {
    if (codec::CommandCode(command) == code) return command;
  }
  return std::nullopt;
}

}  // namespace

SimulatedUnit::SimulatedUnit(std::vector<int> addresses, BatteryConfig config, std::uint64_t seed)
    : addresses_(std::move(addresses)), random_(seed) {
  batteries_.reserve(addresses_.size());
  for (const int address : addresses_) {
    batteries_.emplace_back(address, config.cells, config.sensors, config.clock_start);
    battery_at_[static_cast<std::size_t>(address) % battery_at_.size()] = static_cast<int>(batteries_.size());
  }
}

std::optional<std::size_t> SimulatedUnit::BatteryIndex(int address) const noexcept {
  if (!codec::IsUnitAddress(address) || battery_at_[static_cast<std::size_t>(address)] == 0)
    return std::nullopt;
  return static_cast<std::size_t>(battery_at_[static_cast<std::size_t>(address)] - 1);
}

const Battery* SimulatedUnit::battery(int address) const noexcept {
  const auto index = BatteryIndex(address);
  return index ? &batteries_[*index] : nullptr;
}

std::optional<SimulatedUnit::Reply> SimulatedUnit::Respond(std::string_view request,
                                                           std::chrono::steady_clock::time_point now) {
  if (!codec::ValidateFrame(request).empty()) return std::nullopt;
  const codec::FrameItems items = codec::BreakDownFrame(request);
  const int address = ItemValue(items, codec::ItemRole::Address);
  const auto index = BatteryIndex(address);
  const auto command = AnsweredCommand(ItemValue(items, codec::ItemRole::Command));
  if (!index || !command) return std::nullopt;

  if (!start_) start_ = now;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - *start_).count();
  Battery& battery = batteries_[*index];
  battery.AdvanceTo(seconds);
  const BatteryFigures figures = battery.Figures();
  const std::vector<std::string_view> fields = PayloadFields(items);

  Reply reply{address, codec::AnswerCode(*command), {}};
  switch (*command) {
    case Command::Status: reply.payload = StatusPayload(figures); break;
    case Command::DeviceInfo:
      reply.payload = IdentityPayload(battery, static_cast<std::uint32_t>(codec::ParseHexNumber(fields[0])));
      break;
    case Command::ReadRegister:
      reply.payload = RegisterPayload(figures, codec::ParseHexNumber(fields[0]));
      break;
    case Command::ReadRegisters: {
      std::vector<int> regs;
      for (std::size_t i = 0; i + 4 <= fields[1].size(); i += 4) {
        regs.push_back(codec::ParseHexNumber(fields[1].substr(i, 4)));
      }
      // Asked for more than one frame holds: answer the first ones that fit.
      reply.payload = RegistersPayload(figures, regs);
      while (!regs.empty() && !Encode(address, reply.command, reply.payload)) {
        regs.pop_back();
        reply.payload = RegistersPayload(figures, regs);
      }
      break;
    }
  }
  return reply;
}

std::optional<std::string> SimulatedUnit::Answer(std::string_view request,
                                                 std::chrono::steady_clock::time_point now) {
  const auto reply = Respond(request, now);
  if (!reply) return std::nullopt;
  return Encode(reply->address, reply->command, reply->payload);
}

double SimulatedUnit::Chance() {
  return static_cast<double>(random_() >> 11) * 0x1.0p-53;
}

Delivery SimulatedUnit::Deliver(std::string_view request, std::chrono::steady_clock::time_point now,
                                const Faults& faults) {
  Delivery delivery;
  if (faults.echo) delivery.pieces.push_back({0, std::string(request), false});
  const auto reply = Respond(request, now);
  if (!reply) return delivery;
  if (faults.drop > 0 && Chance() < faults.drop) return delivery;

  int address = reply->address;
  if (faults.wrong_address > 0 && Chance() < faults.wrong_address) {
    const int other = 1 + static_cast<int>(random_() % (kAddressCount - 1));
    address = codec::kLowestAddress + (address - codec::kLowestAddress + other) % kAddressCount;
  }
  auto answer = Encode(address, reply->command, reply->payload);
  if (!answer) return delivery;
  if (faults.corrupt > 0 && Chance() < faults.corrupt) {
    char* check = answer->data() + codec::CheckValueAt(answer->size());
    const int wrong = codec::ParseHexNumber(std::string_view(check, 2)) + 1 +
                      static_cast<int>(random_() % (kByteValues - 1));
    codec::WriteHexField(check, wrong);
  }
  if (faults.noise) {
    std::string noise(1 + random_() % kMaxNoiseBytes, '\0');
    for (char& c : noise) {
      const auto byte = static_cast<int>(random_() % (kByteValues - 1));
      c = static_cast<char>(byte < codec::kStartMark ? byte : byte + 1);
    }
    delivery.pieces.push_back({0, std::move(noise), false});
  }

  std::vector<std::size_t> cuts;
  if (faults.split) {
    const auto pieces = 2 + random_() % (kMaxSplitPieces - 1);
    for (std::size_t i = 1; i < pieces; ++i) cuts.push_back(1 + random_() % (answer->size() - 1));
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  }
  cuts.push_back(answer->size());
  std::size_t from = 0;
  for (const std::size_t to : cuts) {
    const int gap = from == 0 ? faults.delay_ms : 1 + static_cast<int>(random_() % kMaxSplitGapMs);
    delivery.pieces.push_back({gap, answer->substr(from, to - from), to == answer->size()});
    from = to;
  }
  delivery.answer = std::move(answer);
  return delivery;
}

std::optional<std::string> SimulatedUnit::CheckConfig(BatteryConfig config) {
  const std::string highest = std::to_string(kMostCounted);
  if (config.cells < 1 || config.cells > kMostCounted) return "the cell count must be 1 to " + highest;
  if (config.sensors < 0 || config.sensors > kMostCounted) return "the sensor count must be 0 to " + highest;
  const auto fits = [&](int cells) {
    const Battery battery(0, cells, config.sensors, config.clock_start);
    return Encode(0, codec::AnswerCode(Command::Status), StatusPayload(battery.Figures())).has_value();
  };
  if (fits(config.cells)) return std::nullopt;
  int most = config.cells - 1;
  while (most > 0 && !fits(most)) --most;
  std::string reason = "the answer to 0x42 with " + std::to_string(config.cells) + " cells and " +
                       std::to_string(config.sensors) + " sensors would not fit in one frame (at most " +
                       std::to_string(codec::kMaxFrameLength) + " characters); ";
  reason += most > 0 ? "with " + std::to_string(config.sensors) + " sensors at most " + std::to_string(most) +
                           " cells fit"
                     : "use fewer sensors";
  return reason;
}

}  // namespace kelvo_sim
