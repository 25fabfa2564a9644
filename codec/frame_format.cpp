#include "codec/frame_format.h"

#include "codec/frame_text.h"

namespace codec {

static_assert(kShortestFrame == 11 && kShortestWithPayload == 14 && kPayloadAt == 10);

std::optional<std::uint32_t> ReadStrictHex(std::string_view digits) noexcept {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : digits) {
    if (!IsUpperHexDigit(c)) return std::nullopt;
    value = value << 4 | HexNibbleValue(c);
  }
  return value;
}

std::string_view ItemLabel(ItemRole role) noexcept {
  switch (role) {
    case ItemRole::StartMark: return "\xBF\xAA\xCA\xBC\xD7\xD6\xB7\xFB";                      // 开始字符
    case ItemRole::MessageLength: return "\xCA\xFD\xBE\xDD\xB1\xA8\xCE\xC4\xB3\xA4\xB6\xC8";  // 数据报文长度
    case ItemRole::Version: return "\xB0\xE6\xB1\xBE";                                        // 版本
    case ItemRole::Address: return "\xB5\xD8\xD6\xB7";                                        // 地址
    case ItemRole::Command: return "\xC3\xFC\xC1\xEE\xD7\xD6";                                // 命令字
    case ItemRole::PayloadLength: return "\xCA\xFD\xBE\xDD\xB8\xBA\xD4\xD8\xB3\xA4\xB6\xC8";  // 数据负载长度
    case ItemRole::PayloadField: return {};
    case ItemRole::CheckValue: return "\xD0\xA3\xD1\xE9\xD6\xB5";       // 校验值
    case ItemRole::EndMark: return "\xBD\xE1\xCA\xF8\xB1\xEA\xCA\xB6";  // 结束标识
  }
  return {};
}

std::optional<FieldLayout> BreakdownLayout(std::string_view frame) noexcept {
  if (frame.size() <= kCommandAt) return FindFieldLayout(0);
  return FindFieldLayout(ParseHexNumber(frame.substr(kCommandAt, kByteWidth)));
}

}  // namespace codec
