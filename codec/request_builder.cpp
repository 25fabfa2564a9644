#include "codec/request_builder.h"

#include "codec/requests.h"

namespace codec {

std::string EncodeRequest(std::int32_t address, std::string_view command, std::string_view payload) {
  BuiltRequest request = BuildRequest(address, command, payload);
  if (!request.ok()) return std::string(kLengthErrorText);
  return std::move(request.frame);
}

}  // namespace codec
