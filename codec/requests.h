// The requests a host sends, stated once: the command codes, the bit that
// marks an answer, the range of unit addresses, the host's clock as a frame
// carries it, and a builder for each request the tools send.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <string_view>

#include "codec/frame_format.h"
#include "codec/request_builder.h"

namespace codec {

// The host's requests; each answer is its request's code with kAnswerBit set.
enum class Command : std::uint8_t {
  Status = 0x42,         // the unit's state (0xC2); carries the host time
  DeviceInfo = 0x48,     // the unit's identity (0xC8)
  ReadRegister = 0x65,   // one register (0xE5)
  ReadRegisters = 0x66,  // several registers (0xE6)
};

inline constexpr int kAnswerBit = 0x80;

[[nodiscard]] constexpr int CommandCode(Command command) noexcept {
  return static_cast<int>(command);
}
// The command code of the answer to a request with code `request`.
[[nodiscard]] constexpr int AnswerCode(int request) noexcept {
  return request | kAnswerBit;
}
[[nodiscard]] constexpr int AnswerCode(Command command) noexcept {
  return AnswerCode(CommandCode(command));
}
// The code as the frame writes it: "42".
[[nodiscard]] std::string CommandHex(Command command);

// Unit addresses: one byte.
inline constexpr int kLowestAddress = 0;
inline constexpr int kHighestAddress = 0xFF;
[[nodiscard]] constexpr bool IsUnitAddress(long long value) noexcept {
  return value >= kLowestAddress && value <= kHighestAddress;
}

// The most registers one 0x66 request may ask for: the 0xE6 answer, a count
// byte and four bytes a register, must still fit in a frame as long as the
// builder writes.
inline constexpr std::size_t kMostRegisters =
    (kMaxFrameLength - kPayloadAt - kTrailerWidth - kByteWidth) / (4 * kByteWidth);

// The Unix time `now` in seconds as 8 upper-case hex digits (its low 32 bits),
// as 0x42 and 0x48 carry the host's clock.
[[nodiscard]] std::string HostTimeHex(std::time_t now);

enum class RequestFault {
  None,
  TooLong,            // the frame would exceed kMaxFrameLength
  AddressOutOfRange,  // not kLowestAddress-kHighestAddress
  RegisterCount,      // no register, or more than kMostRegisters
};

// A request frame, or why none was built.
struct BuiltRequest {
  std::string frame;  // "<...>"; empty unless ok()
  RequestFault fault = RequestFault::None;

  [[nodiscard]] bool ok() const noexcept { return fault == RequestFault::None; }
};

// A few words for a user: "the payload is too long", ...; empty for None.
[[nodiscard]] std::string RequestFaultText(RequestFault fault);

// Any request, laid out as EncodeRequest lays it out (the address and command
// as their low 8 bits); refused only when the frame would be too long.
[[nodiscard]] BuiltRequest BuildRequest(std::int32_t address, std::string_view command,
                                        std::string_view payload);

// 0x42 with the host time `now`.
[[nodiscard]] BuiltRequest StatusRequest(int address, std::time_t now);
// 0x48: command version 1, the host time `now`, client type 1.
[[nodiscard]] BuiltRequest DeviceInfoRequest(int address, std::time_t now);
// 0x65 for one register.
[[nodiscard]] BuiltRequest RegisterRequest(int address, std::uint16_t register_address);
// 0x66 for 1 to kMostRegisters registers, in the order given.
[[nodiscard]] BuiltRequest RegistersRequest(int address, std::span<const std::uint16_t> register_addresses);

}  // namespace codec
