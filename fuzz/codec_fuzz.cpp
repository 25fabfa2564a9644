// Any bytes: the breakdown gives a text or InvalidArgumentError, the numbers
// of its items stay within their digits, validation never fails on its own,
// the scanner finds the same frames however the bytes are cut, and the
// builder gives the length error text or a frame whose check value holds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "codec/field_numbers.h"
#include "codec/frame_breakdown.h"
#include "codec/frame_check.h"
#include "codec/frame_scanner.h"
#include "codec/frame_validation.h"
#include "codec/request_builder.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  std::abort();
}

int TwoDigits(std::string_view frame, std::size_t at) {
  return 16 * HexValue(frame[at]) + HexValue(frame[at + 1]);
}

void CheckBreakdown(std::string_view frame) {
  try {
    const std::string text = codec::AnnotateFrame(frame);
    Require(text.size() >= 8 * 2);  // At least the eight bracketed labels.
    for (const codec::FrameItem& item : codec::BreakDownFrame(frame)) {
      const codec::ItemNumbers numbers = codec::ReadItemNumbers(item);
      if (numbers.number) Require(item.value.size() <= 8);
      Require(numbers.numbers.size() <= item.value.size() / 2);
    }
  } catch (const codec::InvalidArgumentError& e) {
    Require(e.status() == 0x80070057u);
  }
}

// A well-formed frame is one the breakdown can cut; every finding points into the frame.
void CheckValidation(std::string_view frame) {
  const auto findings = codec::ValidateFrame(frame, codec::ValidationMode::RequireKnownCommand);
  for (const codec::FrameFinding& finding : findings) {
    Require(finding.position <= frame.size());
    Require(finding.text.empty() ||
            (finding.text.data() >= frame.data() &&
             finding.text.data() + finding.text.size() <= frame.data() + frame.size()));
  }
  if (findings.empty()) (void)codec::BreakDownFrame(frame);
}

std::vector<std::string> ScannedFrames(std::string_view stream, std::size_t piece) {
  codec::FrameScanner scanner(64);
  std::vector<std::string> frames;
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    scanner.Feed(stream.substr(at, piece));
    while (const auto event = scanner.Next()) frames.emplace_back(event->frame);
  }
  return frames;
}

void CheckScanner(std::string_view stream) {
  if (stream.empty()) return;
  const std::size_t piece = static_cast<unsigned char>(stream[0]) % 16 + 1;
  Require(ScannedFrames(stream, piece) == ScannedFrames(stream, stream.size()));
}

// Input: 4 bytes of address, a command text up to the first NUL, the payload.
void CheckRequest(std::string_view input) {
  if (input.size() < 4) return;
  std::int32_t address = 0;
  for (int i = 0; i < 4; ++i)
    address = static_cast<std::int32_t>(static_cast<std::uint32_t>(address) << 8 |
                                        static_cast<unsigned char>(input[i]));
  input.remove_prefix(4);
  const std::size_t split = std::min(input.find('\0'), input.size());
  const std::string_view command = input.substr(0, split);
  const std::string_view payload = input.substr(std::min(split + 1, input.size()));

  const std::string frame = codec::EncodeRequest(address, command, payload);
  if (frame == codec::kLengthErrorText) {
    Require(payload.size() > 227);
    return;
  }
  const std::size_t n = payload.size();
  Require(frame.size() >= 11 && frame.size() <= 240);
  Require(frame.size() == (n == 0 ? 11 : n + 13));
  Require(frame.front() == '<' && frame.back() == '>' && frame[3] == '3');
  Require(TwoDigits(frame, 1) == static_cast<int>(frame.size()));
  Require(TwoDigits(frame, 4) == (address & 0xFF));
  if (n > 0) Require(TwoDigits(frame, 8) == static_cast<int>(n) && frame.substr(10, n) == payload);
  Require(TwoDigits(frame, frame.size() - 3) ==
          codec::FrameCheck8(std::string_view(frame).substr(1, frame.size() - 4)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckBreakdown(input);
  CheckValidation(input);
  CheckScanner(input);
  CheckRequest(input);
  return 0;
}
