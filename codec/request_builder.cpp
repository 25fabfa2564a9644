#include "codec/request_builder.h"

#include <array>
#include <cstring>

#include "codec/frame_check.h"
#include "codec/frame_format.h"
#include "codec/frame_text.h"

namespace codec {

std::string EncodeRequest(std::int32_t address, std::string_view command, std::string_view payload) {
  const std::size_t n = payload.size();
  const std::size_t length = n == 0 ? kShortestFrame : kPayloadAt + n + kTrailerWidth;
  if (length > kMaxFrameLength) return std::string(kLengthErrorText);

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
  return std::string(frame.data(), length);
}

}  // namespace codec
