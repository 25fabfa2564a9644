#include "codec/request_builder.h"

#include <array>
#include <cstring>

#include "codec/frame_check.h"
#include "codec/frame_text.h"

namespace codec {

std::string EncodeRequest(std::int32_t address, std::string_view command, std::string_view payload) {
  const std::size_t n = payload.size();
  const std::size_t length = n == 0 ? 11 : n + 13;
  if (length > kMaxFrameLength) return std::string(kLengthErrorText);

  std::array<char, kMaxFrameLength> frame;
  char* out = frame.data();
  *out++ = '<';
  out = WriteHexField(out, static_cast<int>(length));
  *out++ = '3';
  out = WriteHexField(out, address);
  out = WriteHexField(out, ParseHexNumber(command));
  if (n > 0) {
    out = WriteHexField(out, static_cast<int>(n));
    std::memcpy(out, payload.data(), n);
    out += n;
  }
  // Covered: everything between the start character and the check value.
  out = WriteHexField(out, FrameCheck8({frame.data() + 1, length - 4}));
  *out = '>';
  return std::string(frame.data(), length);
}

}  // namespace codec
