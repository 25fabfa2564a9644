#include "cli/frame_checker.h"

#include <cstddef>
#include <cstdint>

#include "cli/quoted.h"
#include "codec/frame_format.h"
#include "codec/frame_text.h"
#include "codec/frame_validation.h"

namespace kelvo_cli {
namespace {

using codec::FrameFault;
using codec::FrameFinding;

std::string TwoDigits(std::uint32_t value) {
  std::string out(2, '0');
  codec::WriteHexField(out.data(), static_cast<int>(value));
  return out;
}

std::string Number(const std::optional<std::uint32_t>& value) {
  return std::to_string(value.value_or(0));
}

std::string_view HeaderName(codec::ItemRole role) noexcept {
  switch (role) {
    case codec::ItemRole::MessageLength: return "message length";
    case codec::ItemRole::Address: return "address";
    case codec::ItemRole::Command: return "command";
    case codec::ItemRole::PayloadLength: return "payload length";
    default: return "field";
  }
}

// "field 2 "寄存器地址数组" of command 66": payload fields count from 1.
std::string PayloadField(std::string_view frame, const FrameFinding& finding) {
  const auto number = static_cast<std::size_t>(finding.field) - codec::kHeaderItems + 1;
  return "field " + std::to_string(number) + " \"" + std::string(finding.label) + "\" of command " +
         std::string(frame.substr(codec::kCommandAt, codec::kByteWidth));
}

std::string Sentence(std::string_view frame, const FrameFinding& finding) {
  const std::string length = std::to_string(frame.size());
  switch (finding.fault) {
    case FrameFault::StartMark: return "start character " + Quoted(finding.text) + " is not \"<\"";
    case FrameFault::EndMark:
      return finding.text.empty() ? std::string("no end mark")
                                  : "end mark " + Quoted(finding.text) + " is not \">\"";
    case FrameFault::TooShort:
      if (frame.empty()) return "empty text";
      if (frame.size() < codec::kShortestFrame) {
        return length + " characters: a frame has at least " + std::to_string(codec::kShortestFrame);
      }
      return length + " characters: a frame has " + std::to_string(codec::kShortestFrame) +
             " without a payload and at least " + std::to_string(codec::kShortestWithPayload) + " with one";
    case FrameFault::MessageLength:
      return "message length " + TwoDigits(*finding.actual) + " says " + Number(finding.actual) +
             " characters, the text has " + Number(finding.expected);
    case FrameFault::PayloadLength:
      return "payload length " + TwoDigits(*finding.actual) + " says " + Number(finding.actual) +
             " characters, the payload has " + Number(finding.expected);
    case FrameFault::NotUpperHex: {
      if (finding.in_count) {
        return "count of " + PayloadField(frame, finding) + " is not two upper-case hexadecimal digits";
      }
      if (finding.role != codec::ItemRole::PayloadField) {
        return std::string(HeaderName(finding.role)) + ' ' + Quoted(finding.text) +
               " is not two upper-case hexadecimal digits";
      }
      const std::string first =
          std::to_string(finding.position - codec::kPayloadAt + 1) + ' ' + Quoted(finding.text);
      if (finding.more == 0) return "payload character " + first + " is not an upper-case hexadecimal digit";
      return "payload characters " + first + " and " + std::to_string(finding.more) +
             " more are not upper-case hexadecimal digits";
    }
    case FrameFault::PayloadOddLength:
      return "payload has an odd number of characters (" + Number(finding.actual) + ")";
    case FrameFault::LayoutShort:
      return "payload ends inside " + PayloadField(frame, finding) + " (" + Number(finding.expected) +
             " characters needed at least, " + Number(finding.actual) + " present)";
    case FrameFault::LayoutLong:
      return "layout of command " + std::string(frame.substr(codec::kCommandAt, codec::kByteWidth)) +
             " takes " + Number(finding.expected) + " characters, the payload has " + Number(finding.actual);
    case FrameFault::UnknownCommand: return "command " + Quoted(finding.text) + " has no layout";
    case FrameFault::CheckValue:
      return "check value: computed " + TwoDigits(*finding.expected) + ", received " +
             (finding.actual ? std::string(finding.text) : Quoted(finding.text));
  }
  return {};
}

}  // namespace

std::vector<std::string> CheckFrame(std::string_view frame) {
  const std::vector<FrameFinding> findings = codec::ValidateFrame(frame);
  std::vector<std::string> sentences;
  sentences.reserve(findings.size());
  for (const FrameFinding& finding : findings) sentences.push_back(Sentence(frame, finding));
  return sentences;
}

}  // namespace kelvo_cli
