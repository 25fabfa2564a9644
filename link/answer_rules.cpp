#include "link/answer_rules.h"

#include <optional>

#include "codec/field_numbers.h"
#include "codec/frame_breakdown.h"
#include "codec/frame_scanner.h"
#include "codec/frame_validation.h"
#include "codec/requests.h"

namespace kelvo_link {
namespace {

struct Header {
  std::uint64_t address;
  std::uint64_t command;
};

// Address and command of a frame, as the codec reads them; none when either
// is not complete hex (or the frame cannot be cut at all).
std::optional<Header> ReadHeader(std::string_view frame) {
  try {
    std::optional<std::uint64_t> address;
    std::optional<std::uint64_t> command;
    for (const codec::FrameItem& item : codec::BreakDownFrame(frame)) {
      if (item.role == codec::ItemRole::Address) address = codec::ReadItemNumbers(item).number;
      if (item.role == codec::ItemRole::Command) command = codec::ReadItemNumbers(item).number;
    }
    if (!address || !command) return std::nullopt;
    return Header{*address, *command};
  } catch (const codec::InvalidArgumentError&) {
    return std::nullopt;
  }
}

QString FaultText(codec::FrameFault fault) {
  using enum codec::FrameFault;
  switch (fault) {
    case StartMark: return QStringLiteral("no start mark");
    case EndMark: return QStringLiteral("no end mark");
    case TooShort: return QStringLiteral("too short for a frame");
    case MessageLength: return QStringLiteral("wrong message length");
    case PayloadLength: return QStringLiteral("wrong payload length");
    case NotUpperHex: return QStringLiteral("not upper-case hex");
    case PayloadOddLength: return QStringLiteral("payload of odd length");
    case LayoutShort: return QStringLiteral("payload too short for its command");
    case LayoutLong: return QStringLiteral("payload too long for its command");
    case UnknownCommand: return QStringLiteral("unknown command");
    case CheckValue: return QStringLiteral("bad check value");
  }
  return QStringLiteral("malformed");
}

QString Hex2(std::uint64_t value) {
  return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

AnswerVerdict JudgeAnswer(std::string_view request, std::string_view frame) {
  if (!request.empty() && frame == request) return AnswerVerdict::Echo;
  if (frame.size() > codec::kWireFrameCap) return AnswerVerdict::Overlong;
  if (!codec::ValidateFrame(frame).empty()) return AnswerVerdict::Malformed;
  const std::optional<Header> answer = ReadHeader(frame);
  const std::optional<Header> asked = ReadHeader(request);
  if (!answer) return AnswerVerdict::Malformed;
  if (!asked || answer->address != asked->address) return AnswerVerdict::WrongAddress;
  if (answer->command != static_cast<std::uint64_t>(codec::AnswerCode(static_cast<int>(asked->command))))
    return AnswerVerdict::WrongCommand;
  return AnswerVerdict::Accepted;
}

QString VerdictText(AnswerVerdict verdict) {
  switch (verdict) {
    case AnswerVerdict::Accepted: return QStringLiteral("accepted");
    case AnswerVerdict::Echo: return QStringLiteral("echo");
    case AnswerVerdict::Malformed: return QStringLiteral("malformed");
    case AnswerVerdict::WrongAddress: return QStringLiteral("wrong address");
    case AnswerVerdict::WrongCommand: return QStringLiteral("wrong command");
    case AnswerVerdict::Overlong: return QStringLiteral("overlong");
  }
  return {};
}

QString RejectionText(std::string_view request, std::string_view frame, AnswerVerdict verdict) {
  switch (verdict) {
    case AnswerVerdict::Accepted: return {};
    case AnswerVerdict::Echo: return QStringLiteral("only the echo of the request");
    case AnswerVerdict::Overlong: return QStringLiteral("overlong frame");
    case AnswerVerdict::Malformed: {
      const std::vector<codec::FrameFinding> findings = codec::ValidateFrame(frame);
      return findings.empty() ? QStringLiteral("malformed answer") : FaultText(findings.front().fault);
    }
    case AnswerVerdict::WrongAddress: {
      const std::optional<Header> answer = ReadHeader(frame);
      if (!answer || request.empty()) return QStringLiteral("unsolicited frame");
      return QStringLiteral("answer from address %1").arg(answer->address);
    }
    case AnswerVerdict::WrongCommand: {
      const std::optional<Header> answer = ReadHeader(frame);
      return QStringLiteral("wrong command %1").arg(answer ? Hex2(answer->command) : QStringLiteral("?"));
    }
  }
  return {};
}

}  // namespace kelvo_link
