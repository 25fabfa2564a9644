#include "cli/frame_checker.h"

#include <cstddef>
#include <cstdint>
#include <optional>

#include "cli/quoted.h"
#include "codec/frame_check.h"
#include "codec/frame_text.h"
#include "codec/payload_catalogue.h"

namespace kelvo_cli {
namespace {

// Fields are found from the text's own length, never from its counts, so that
// a wrong count shows up as a finding instead of moving everything after it.
constexpr std::size_t kShortestFrame = 11;  // no payload
constexpr std::size_t kShortestWithPayload = 14;
constexpr std::size_t kPayloadStart = 10;

bool IsUpperHexDigit(char c) noexcept {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

std::string TwoDigits(int value) {
  std::string out(2, '0');
  codec::WriteHexField(out.data(), value);
  return out;
}

// The value of a two-digit field, or none when it is not two upper-case digits.
std::optional<int> ReadByte(std::string_view field) noexcept {
  if (field.size() != 2 || !IsUpperHexDigit(field[0]) || !IsUpperHexDigit(field[1])) return std::nullopt;
  return 16 * codec::HexNibbleValue(field[0]) + codec::HexNibbleValue(field[1]);
}

// Reads a numeric header field, reporting it when it is not hexadecimal.
std::optional<int> ReadField(std::string_view frame, std::size_t at, std::string_view name,
                             std::vector<std::string>& findings) {
  const std::string_view field = frame.substr(at, 2);
  const std::optional<int> value = ReadByte(field);
  if (!value) {
    findings.push_back(std::string(name) + ' ' + Quoted(field) + " is not two upper-case hexadecimal digits");
  }
  return value;
}

void CheckPayloadDigits(std::string_view payload, std::vector<std::string>& findings) {
  std::size_t bad = 0;
  std::size_t first = 0;
  for (std::size_t i = 0; i < payload.size(); ++i) {
    if (IsUpperHexDigit(payload[i])) continue;
    if (bad++ == 0) first = i;
  }
  if (bad == 1) {
    findings.push_back("payload character " + std::to_string(first + 1) + ' ' +
                       Quoted(payload.substr(first, 1)) + " is not an upper-case hexadecimal digit");
  } else if (bad > 1) {
    findings.push_back("payload characters " + std::to_string(first + 1) + ' ' +
                       Quoted(payload.substr(first, 1)) + " and " + std::to_string(bad - 1) +
                       " more are not upper-case hexadecimal digits");
  }
  if (payload.size() % 2 != 0) {
    findings.push_back("payload has an odd number of characters (" + std::to_string(payload.size()) + ")");
  }
}

// Walks the payload field by field as the command's layout lays it out; each
// count is read from the payload itself.
void WalkLayout(std::string_view payload, int command, codec::FieldLayout layout,
                std::vector<std::string>& findings) {
  const std::string name = "command " + TwoDigits(command);
  std::size_t p = 0;
  std::size_t number = 0;
  for (const codec::FieldDescriptor& field : layout) {
    ++number;
    const std::string what =
        "field " + std::to_string(number) + " \"" + std::string(field.label) + "\" of " + name;
    std::size_t width = 0;
    std::optional<int> count;
    switch (field.kind) {
      case codec::FieldKind::Fixed1:
      case codec::FieldKind::Fixed2:
      case codec::FieldKind::Fixed4: width = 2 * static_cast<std::size_t>(field.kind); break;
      case codec::FieldKind::Prefixed:
        if (p + 2 > payload.size()) {  // its count is cut off: reported below
          width = 2;
          break;
        }
        count = ReadByte(payload.substr(p, 2));
        if (!count) {
          findings.push_back("count of " + what + " is not two upper-case hexadecimal digits");
          return;
        }
        width = 2 + 2 * static_cast<std::size_t>(*count);
        break;
      case codec::FieldKind::Array2:
      case codec::FieldKind::Array1:
      case codec::FieldKind::Array4: {
        // The count is the field just before, complete since the walk got here.
        count = p >= 2 ? ReadByte(payload.substr(p - 2, 2)) : std::nullopt;
        if (!count) {
          findings.push_back("count of " + what + " is not two upper-case hexadecimal digits");
          return;
        }
        const std::size_t item = field.kind == codec::FieldKind::Array1   ? 2
                                 : field.kind == codec::FieldKind::Array2 ? 4
                                                                          : 8;
        width = item * static_cast<std::size_t>(*count);
        break;
      }
    }
    if (p + width > payload.size()) {
      findings.push_back("payload ends inside " + what + " (" + std::to_string(p + width) +
                         " characters needed at least, " + std::to_string(payload.size()) + " present)");
      return;
    }
    p += width;
  }
  if (p != payload.size()) {
    findings.push_back("layout of " + name + " takes " + std::to_string(p) + " characters, the payload has " +
                       std::to_string(payload.size()));
  }
}

}  // namespace

std::vector<std::string> CheckFrame(std::string_view frame) {
  std::vector<std::string> findings;
  const std::size_t length = frame.size();
  if (length == 0) {
    findings.emplace_back("empty text");
    return findings;
  }
  if (frame.front() != '<') {
    findings.push_back("start character " + Quoted(frame.substr(0, 1)) + " is not \"<\"");
  }
  if (length < 2 || frame.back() != '>') {
    findings.push_back(length < 2 ? std::string("no end mark")
                                  : "end mark " + Quoted(frame.substr(length - 1)) + " is not \">\"");
  }
  if (length < kShortestFrame) {
    findings.push_back(std::to_string(length) + " characters: a frame has at least " +
                       std::to_string(kShortestFrame));
    return findings;
  }

  if (const auto message_length = ReadField(frame, 1, "message length", findings);
      message_length && static_cast<std::size_t>(*message_length) != length) {
    findings.push_back("message length " + TwoDigits(*message_length) + " says " +
                       std::to_string(*message_length) + " characters, the text has " +
                       std::to_string(length));
  }
  (void)ReadField(frame, 4, "address", findings);
  const std::optional<int> command = ReadField(frame, 6, "command", findings);

  if (length > kShortestFrame && length < kShortestWithPayload) {
    findings.push_back(std::to_string(length) + " characters: a frame has " + std::to_string(kShortestFrame) +
                       " without a payload and at least " + std::to_string(kShortestWithPayload) +
                       " with one");
  }
  // The check value and end mark close the text; a payload lies between the
  // payload length and them.
  const std::string_view payload = length >= kShortestWithPayload
                                       ? frame.substr(kPayloadStart, length - kShortestWithPayload + 1)
                                       : std::string_view{};
  if (length >= kShortestWithPayload) {
    if (const auto payload_length = ReadField(frame, 8, "payload length", findings);
        payload_length && static_cast<std::size_t>(*payload_length) != payload.size()) {
      findings.push_back("payload length " + TwoDigits(*payload_length) + " says " +
                         std::to_string(*payload_length) + " characters, the payload has " +
                         std::to_string(payload.size()));
    }
    CheckPayloadDigits(payload, findings);
  }
  if (length == kShortestFrame || length >= kShortestWithPayload) {
    if (command) {
      if (const auto layout = codec::FindFieldLayout(*command))
        WalkLayout(payload, *command, *layout, findings);
    }
  }

  const std::uint8_t computed = codec::FrameCheck8(frame.substr(1, length - 4));
  const std::string_view received = frame.substr(length - 3, 2);
  if (const std::optional<int> value = ReadByte(received); !value || *value != computed) {
    findings.push_back("check value: computed " + TwoDigits(computed) + ", received " +
                       (value ? std::string(received) : Quoted(received)));
  }
  return findings;
}

}  // namespace kelvo_cli
