#include "codec/frame_validation.h"

#include <algorithm>
#include <array>
#include <limits>

#include "codec/frame_check.h"

namespace codec {
namespace {

std::uint32_t Count(std::size_t n) noexcept {
  return static_cast<std::uint32_t>(std::min<std::size_t>(n, std::numeric_limits<std::uint32_t>::max()));
}

int ItemIndex(std::size_t index) noexcept {
  return static_cast<int>(index);
}

FrameFinding HeaderFinding(FrameFault fault, ItemRole role, std::string_view frame) {
  const HeaderField& field = kHeaderFields[static_cast<std::size_t>(role)];
  return {.fault = fault,
          .field = ItemIndex(static_cast<std::size_t>(role)),
          .label = ItemLabel(role),
          .position = field.at,
          .role = role,
          .text = frame.substr(field.at, field.width)};
}

// The payload walked field by field as the command's layout lays it out,
// each count read from the payload itself. Stops at the first fault.
class LayoutWalk {
 public:
  LayoutWalk(std::string_view payload, FieldLayout layout) : payload_(payload), layout_(layout) {
    std::size_t p = 0;
    for (std::size_t j = 0; j < layout.size(); ++j) {
      const FieldKind kind = layout[j].kind;
      std::size_t width = FieldWidth(kind, 0);
      if (kind == FieldKind::Prefixed && p + kByteWidth > payload.size()) {
        width = kByteWidth;  // its count is cut off: the payload ends inside it
      } else if (HasCount(kind)) {
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(p) + CountOffset(kind);
        const std::string_view digits =
            at < 0 ? std::string_view{} : payload.substr(static_cast<std::size_t>(at), kByteWidth);
        const auto count = digits.size() == kByteWidth ? ReadStrictHex(digits) : std::nullopt;
        if (!count) {
          finding_ =
              Field(FrameFault::NotUpperHex, j, static_cast<std::size_t>(std::max<std::ptrdiff_t>(at, 0)));
          finding_->text = digits;
          finding_->in_count = true;
          return;
        }
        width = FieldWidth(kind, *count);
      }
      spans_[j] = {p, std::min(p + width, payload.size())};
      reached_ = j + 1;
      if (p + width > payload.size()) {
        finding_ = Field(FrameFault::LayoutShort, j, p);
        finding_->expected = Count(p + width);
        finding_->actual = Count(payload.size());
        return;
      }
      p += width;
    }
    if (p != payload.size()) {
      finding_ = FrameFinding{.fault = FrameFault::LayoutLong,
                              .position = kPayloadAt + p,
                              .expected = Count(p),
                              .actual = Count(payload.size())};
    }
  }

  [[nodiscard]] const std::optional<FrameFinding>& finding() const noexcept { return finding_; }

  // The item index of the field the walk found at payload character q, or -1.
  [[nodiscard]] int FieldAt(std::size_t q) const noexcept {
    for (std::size_t j = 0; j < reached_; ++j) {
      if (spans_[j].begin <= q && q < spans_[j].end) return ItemIndex(kHeaderItems + j);
    }
    return -1;
  }

 private:
  FrameFinding Field(FrameFault fault, std::size_t j, std::size_t p) const {
    return {.fault = fault,
            .field = ItemIndex(kHeaderItems + j),
            .label = layout_[j].label,
            .position = kPayloadAt + p,
            .role = ItemRole::PayloadField};
  }

  struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;
  };
  std::string_view payload_;
  FieldLayout layout_;
  std::array<Span, kMostPayloadFields> spans_{};
  std::size_t reached_ = 0;
  std::optional<FrameFinding> finding_;
};

}  // namespace

std::vector<FrameFinding> ValidateFrame(std::string_view frame, ValidationMode mode) {
  std::vector<FrameFinding> findings;
  const std::size_t length = frame.size();
  if (length == 0) {
    findings.push_back({.fault = FrameFault::TooShort, .expected = Count(kShortestFrame), .actual = 0});
    return findings;
  }
  // The trailer's items follow whatever the breakdown walks.
  const auto walked = BreakdownLayout(frame);
  const std::size_t check_item = kHeaderItems + (walked ? walked->size() : 0);
  const auto trailer = [&](FrameFault fault, ItemRole role, std::size_t item, std::size_t at,
                           std::size_t width) {
    return FrameFinding{.fault = fault,
                        .field = ItemIndex(item),
                        .label = ItemLabel(role),
                        .position = at,
                        .role = role,
                        .text = frame.substr(std::min(at, length), width)};
  };

  if (frame.front() != kStartMark)
    findings.push_back(HeaderFinding(FrameFault::StartMark, ItemRole::StartMark, frame));
  if (length < 2 || frame.back() != kEndMark) {
    findings.push_back(
        trailer(FrameFault::EndMark, ItemRole::EndMark, check_item + 1, length < 2 ? length : length - 1, 1));
  }
  if (length < kShortestFrame) {
    findings.push_back(
        {.fault = FrameFault::TooShort, .expected = Count(kShortestFrame), .actual = Count(length)});
    return findings;
  }

  const auto read = [&](ItemRole role) -> std::optional<std::uint32_t> {
    const HeaderField& field = kHeaderFields[static_cast<std::size_t>(role)];
    auto value = ReadStrictHex(frame.substr(field.at, field.width));
    if (!value) findings.push_back(HeaderFinding(FrameFault::NotUpperHex, role, frame));
    return value;
  };
  if (const auto message_length = read(ItemRole::MessageLength);
      message_length && *message_length != length) {
    FrameFinding finding = HeaderFinding(FrameFault::MessageLength, ItemRole::MessageLength, frame);
    finding.expected = Count(length);
    finding.actual = message_length;
    findings.push_back(finding);
  }
  (void)read(ItemRole::Address);
  const auto command = read(ItemRole::Command);
  const auto layout = command ? FindFieldLayout(static_cast<std::int32_t>(*command)) : std::nullopt;
  if (command && !layout && mode == ValidationMode::RequireKnownCommand) {
    FrameFinding finding = HeaderFinding(FrameFault::UnknownCommand, ItemRole::Command, frame);
    finding.actual = command;
    findings.push_back(finding);
  }

  if (length > kShortestFrame && length < kShortestWithPayload) {
    findings.push_back(
        {.fault = FrameFault::TooShort, .expected = Count(kShortestWithPayload), .actual = Count(length)});
  }
  // The trailer closes the text; a payload lies between the payload length and it.
  const bool has_payload = length >= kShortestWithPayload;
  const std::string_view payload =
      has_payload ? frame.substr(kPayloadAt, CheckValueAt(length) - kPayloadAt) : std::string_view{};
  const bool walks = layout && (length == kShortestFrame || has_payload);
  const LayoutWalk walk(payload, walks ? *layout : FieldLayout{});
  if (has_payload) {
    if (const auto payload_length = read(ItemRole::PayloadLength);
        payload_length && *payload_length != payload.size()) {
      FrameFinding finding = HeaderFinding(FrameFault::PayloadLength, ItemRole::PayloadLength, frame);
      finding.expected = Count(payload.size());
      finding.actual = payload_length;
      findings.push_back(finding);
    }
    const auto bad = [](char c) { return !IsUpperHexDigit(c); };
    if (const auto first = std::find_if(payload.begin(), payload.end(), bad); first != payload.end()) {
      const auto q = static_cast<std::size_t>(first - payload.begin());
      const int field = walk.FieldAt(q);
      findings.push_back({.fault = FrameFault::NotUpperHex,
                          .field = field,
                          .label = field < 0
                                       ? std::string_view{}
                                       : (*layout)[static_cast<std::size_t>(field) - kHeaderItems].label,
                          .position = kPayloadAt + q,
                          .text = payload.substr(q, 1),
                          .more = static_cast<std::size_t>(std::count_if(first + 1, payload.end(), bad))});
    }
    if (payload.size() % 2 != 0) {
      findings.push_back(
          {.fault = FrameFault::PayloadOddLength, .position = kPayloadAt, .actual = Count(payload.size())});
    }
  }
  if (walks && walk.finding()) findings.push_back(*walk.finding());

  const std::uint8_t computed = FrameCheck8(CoveredByCheck(frame));
  const std::size_t check_at = CheckValueAt(length);
  if (const auto received = ReadStrictHex(frame.substr(check_at, kByteWidth)); received != computed) {
    FrameFinding finding =
        trailer(FrameFault::CheckValue, ItemRole::CheckValue, check_item, check_at, kByteWidth);
    finding.expected = computed;
    finding.actual = received;
    findings.push_back(finding);
  }
  return findings;
}

}  // namespace codec
