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

// One frame checked in frame order: the marks, the header, the payload and
// the check value, each step adding what it finds.
class Validation {
 public:
  Validation(std::string_view frame, ValidationMode mode)
      : frame_(frame), length_(frame.size()), mode_(mode), walked_(BreakdownLayout(frame)) {}

  std::vector<FrameFinding> Run() && {
    if (length_ == 0) {
      findings_.push_back({.fault = FrameFault::TooShort, .expected = Count(kShortestFrame), .actual = 0});
      return std::move(findings_);
    }
    CheckMarks();
    if (length_ < kShortestFrame) {
      findings_.push_back(
          {.fault = FrameFault::TooShort, .expected = Count(kShortestFrame), .actual = Count(length_)});
      return std::move(findings_);
    }
    const std::optional<FieldLayout> layout = CheckHeader();
    CheckPayload(layout);
    CheckValue();
    return std::move(findings_);
  }

 private:
  // The trailer's items follow whatever the breakdown walks.
  [[nodiscard]] std::size_t CheckItem() const noexcept {
    return kHeaderItems + (walked_ ? walked_->size() : 0);
  }

  [[nodiscard]] FrameFinding Trailer(FrameFault fault, ItemRole role, std::size_t item, std::size_t at,
                                     std::size_t width) const {
    return FrameFinding{.fault = fault,
                        .field = ItemIndex(item),
                        .label = ItemLabel(role),
                        .position = at,
                        .role = role,
                        .text = frame_.substr(std::min(at, length_), width)};
  }

  // A header field's value; none, with a finding, when it is not upper-case hex.
  std::optional<std::uint32_t> Read(ItemRole role) {
    const HeaderField& field = kHeaderFields[static_cast<std::size_t>(role)];
    auto value = ReadStrictHex(frame_.substr(field.at, field.width));
    if (!value) findings_.push_back(HeaderFinding(FrameFault::NotUpperHex, role, frame_));
    return value;
  }

  void CheckMarks() {
    if (frame_.front() != kStartMark) {
      findings_.push_back(HeaderFinding(FrameFault::StartMark, ItemRole::StartMark, frame_));
    }
    if (length_ < 2 || frame_.back() != kEndMark) {
      findings_.push_back(Trailer(FrameFault::EndMark, ItemRole::EndMark, CheckItem() + 1,
                                  length_ < 2 ? length_ : length_ - 1, 1));
    }
  }

  // The message length, the address and the command; the command's layout.
  std::optional<FieldLayout> CheckHeader() {
    if (const auto message_length = Read(ItemRole::MessageLength);
        message_length && *message_length != length_) {
      FrameFinding finding = HeaderFinding(FrameFault::MessageLength, ItemRole::MessageLength, frame_);
      finding.expected = Count(length_);
      finding.actual = message_length;
      findings_.push_back(finding);
    }
    (void)Read(ItemRole::Address);
    const auto command = Read(ItemRole::Command);
    const auto layout = command ? FindFieldLayout(static_cast<std::int32_t>(*command)) : std::nullopt;
    if (command && !layout && mode_ == ValidationMode::RequireKnownCommand) {
      FrameFinding finding = HeaderFinding(FrameFault::UnknownCommand, ItemRole::Command, frame_);
      finding.actual = command;
      findings_.push_back(finding);
    }
    return layout;
  }

  void CheckPayload(const std::optional<FieldLayout>& layout) {
    if (length_ > kShortestFrame && length_ < kShortestWithPayload) {
      findings_.push_back(
          {.fault = FrameFault::TooShort, .expected = Count(kShortestWithPayload), .actual = Count(length_)});
    }
    // The trailer closes the text; a payload lies between the payload length and it.
    const bool has_payload = length_ >= kShortestWithPayload;
    const std::string_view payload =
        has_payload ? frame_.substr(kPayloadAt, CheckValueAt(length_) - kPayloadAt) : std::string_view{};
    const bool walks = layout && (length_ == kShortestFrame || has_payload);
    const LayoutWalk walk(payload, walks ? *layout : FieldLayout{});
    if (has_payload) {
      if (const auto payload_length = Read(ItemRole::PayloadLength);
          payload_length && *payload_length != payload.size()) {
        FrameFinding finding = HeaderFinding(FrameFault::PayloadLength, ItemRole::PayloadLength, frame_);
        finding.expected = Count(payload.size());
        finding.actual = payload_length;
        findings_.push_back(finding);
      }
      CheckPayloadDigits(payload, walk, layout);
      if (payload.size() % 2 != 0) {
        findings_.push_back(
            {.fault = FrameFault::PayloadOddLength, .position = kPayloadAt, .actual = Count(payload.size())});
      }
    }
    if (walks && walk.finding()) findings_.push_back(*walk.finding());
  }

  // The first character that is not an upper-case hex digit, in the field the walk put it in.
  void CheckPayloadDigits(std::string_view payload, const LayoutWalk& walk,
                          const std::optional<FieldLayout>& layout) {
    const auto bad = [](char c) { return !IsUpperHexDigit(c); };
    const auto first = std::find_if(payload.begin(), payload.end(), bad);
    if (first == payload.end()) return;
    const auto q = static_cast<std::size_t>(first - payload.begin());
    const int field = walk.FieldAt(q);
    findings_.push_back({.fault = FrameFault::NotUpperHex,
                         .field = field,
                         .label = field < 0 ? std::string_view{}
                                            : (*layout)[static_cast<std::size_t>(field) - kHeaderItems].label,
                         .position = kPayloadAt + q,
                         .text = payload.substr(q, 1),
                         .more = static_cast<std::size_t>(std::count_if(first + 1, payload.end(), bad))});
  }

  void CheckValue() {
    const std::uint8_t computed = FrameCheck8(CoveredByCheck(frame_));
    const std::size_t check_at = CheckValueAt(length_);
    if (const auto received = ReadStrictHex(frame_.substr(check_at, kByteWidth)); received != computed) {
      FrameFinding finding =
          Trailer(FrameFault::CheckValue, ItemRole::CheckValue, CheckItem(), check_at, kByteWidth);
      finding.expected = computed;
      finding.actual = received;
      findings_.push_back(finding);
    }
  }

  std::string_view frame_;
  std::size_t length_;
  ValidationMode mode_;
  std::optional<FieldLayout> walked_;
  std::vector<FrameFinding> findings_;
};

}  // namespace

std::vector<FrameFinding> ValidateFrame(std::string_view frame, ValidationMode mode) {
  return Validation(frame, mode).Run();
}

}  // namespace codec
