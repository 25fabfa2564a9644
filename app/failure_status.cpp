#include "failure_status.h"

#include <array>
#include <stdexcept>

#include "codec/frame_breakdown.h"

namespace {

constexpr std::array<fw::StatusMessage, 1> kStatusMessages = {{
    {codec::InvalidArgumentError::kStatus, u"参数错误。"},
}};

}  // namespace

std::span<const fw::StatusMessage> ProgramStatusMessages() noexcept {
  return kStatusMessages;
}

std::optional<std::uint32_t> StatusOfCurrentFailure() {
  try {
    throw;
  } catch (const std::invalid_argument&) {
    return codec::InvalidArgumentError::kStatus;
  } catch (...) {
    return std::nullopt;
  }
}
