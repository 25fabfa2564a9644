#include "codec/requests.h"

#include <array>
#include <cstring>

#include "codec/frame_check.h"
#include "codec/frame_text.h"
#include "codec/request_builder.h"

namespace codec {
namespace {

// What 0x48 says of the host: the command version it speaks and its client type.
constexpr std::string_view kDeviceInfoVersion = "00000001";
constexpr std::string_view kDeviceInfoClientType = "0001";

std::string Hex(std::uint32_t value, int digits) {
  std::string text(static_cast<std::size_t>(digits), '0');
  for (int i = 0; i < digits; ++i) {
    text[static_cast<std::size_t>(i)] = HexDigit(static_cast<int>(value >> (4 * (digits - 1 - i))));
  }
  return text;
}

BuiltRequest Refused(RequestFault fault) {
  return {{}, fault};
}

BuiltRequest Build(int address, Command command, std::string_view payload) {
  if (!IsUnitAddress(address)) return Refused(RequestFault::AddressOutOfRange);
  return BuildRequest(address, CommandHex(command), payload);
}

}  // namespace

std::string CommandHex(Command command) {
  return Hex(static_cast<std::uint32_t>(CommandCode(command)), 2);
}

std::string HostTimeHex(std::time_t now) {
  return Hex(static_cast<std::uint32_t>(now), 8);
}

std::string RequestFaultText(RequestFault fault) {
  switch (fault) {
    case RequestFault::None: return {};
    case RequestFault::TooLong: return "the payload is too long";
    case RequestFault::AddressOutOfRange:
      return "the address is not " + std::to_string(kLowestAddress) + "-" + std::to_string(kHighestAddress);
    case RequestFault::RegisterCount:
      return "a register request takes 1 to " + std::to_string(kMostRegisters) + " registers";
  }
  return {};
}

BuiltRequest BuildRequest(std::int32_t address, std::string_view command, std::string_view payload) {
  const std::size_t n = payload.size();
  const std::size_t length = n == 0 ? kShortestFrame : kPayloadAt + n + kTrailerWidth;
  if (length > kMaxFrameLength) return Refused(RequestFault::TooLong);

  std::array<char, kMaxFrameLength> frame;
  char* out = frame.data();
  *out++ = kStartMark;
  out = WriteHexField(out, static_cast<int>(length));
  *out++ = kVersionDigit;
  out = WriteHexField(out, address);
  out = WriteHexField(out, ParseHexNumber(command));
  if (n > 0) {
    out = WriteHexField(out, static_cast<int>(n));
    std::memcpy(out, payload.data(), n);
    out += n;
  }
  out = WriteHexField(out, FrameCheck8(CoveredByCheck({frame.data(), length})));
  *out = kEndMark;
  return {std::string(frame.data(), length), RequestFault::None};
}

BuiltRequest StatusRequest(int address, std::time_t now) {
  return Build(address, Command::Status, HostTimeHex(now));
}

BuiltRequest DeviceInfoRequest(int address, std::time_t now) {
  std::string payload(kDeviceInfoVersion);
  payload += HostTimeHex(now);
  payload += kDeviceInfoClientType;
  return Build(address, Command::DeviceInfo, payload);
}

BuiltRequest RegisterRequest(int address, std::uint16_t register_address) {
  return Build(address, Command::ReadRegister, Hex(register_address, 4));
}

BuiltRequest RegistersRequest(int address, std::span<const std::uint16_t> register_addresses) {
  if (register_addresses.empty() || register_addresses.size() > kMostRegisters) {
    return Refused(RequestFault::RegisterCount);
  }
  std::string payload = Hex(static_cast<std::uint32_t>(register_addresses.size()), 2);
  for (const std::uint16_t r : register_addresses) payload += Hex(r, 4);
  return Build(address, Command::ReadRegisters, payload);
}

}  // namespace codec
