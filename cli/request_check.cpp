#include "cli/request_check.h"

#include <algorithm>
#include <ctime>

#include "cli/frame_checker.h"
#include "codec/frame_text.h"
#include "codec/request_builder.h"
#include "codec/requests.h"
#include "text/gbk_text.h"

namespace kelvo_cli {

bool IsCommandByte(std::string_view command) noexcept {
  return !command.empty() && command.size() <= 2 && std::all_of(command.begin(), command.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
  });
}

std::optional<std::string> RequestProblem(std::string_view command, std::string_view payload, bool force) {
  const codec::BuiltRequest built = codec::BuildRequest(0, command, payload);
  if (!built.ok())
    return std::string(codec::kLengthErrorText) + " (" + codec::RequestFaultText(built.fault) + ")";
  if (force) return std::nullopt;
  const std::vector<std::string> findings = CheckFrame(built.frame);
  if (findings.empty()) return std::nullopt;
  kelvo_text::GbkToUtf8 utf8;  // payload field labels are the codec's GBK
  std::string problem = "the request would not be well formed: ";
  for (std::size_t i = 0; i < findings.size(); ++i) {
    if (i > 0) problem += "; ";
    utf8.Append(findings[i], problem);
  }
  return problem + " (--force sends it as it is)";
}

std::string DefaultPayload(std::string_view command) {
  if (codec::ParseHexNumber(command) != codec::CommandCode(codec::Command::Status)) return {};
  return codec::HostTimeHex(std::time(nullptr));
}

}  // namespace kelvo_cli
