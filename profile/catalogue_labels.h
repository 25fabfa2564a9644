// The payload labels of the codec's catalogue as UTF-8, so that a profile
// written in UTF-8 can name them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "codec/payload_catalogue.h"

namespace kelvo_profile {

struct CatalogueLabel {
  std::string utf8;
  std::string_view gbk;  // owned by the codec
  codec::FieldKind kind;
};

// Every payload label of every layout once, in the catalogue's order. Built
// on the first call. Throws std::runtime_error when the system has no GBK
// converter, and std::bad_alloc.
[[nodiscard]] const std::vector<CatalogueLabel>& CatalogueLabels();

// The label whose UTF-8 text is `utf8`, or null.
[[nodiscard]] const CatalogueLabel* FindCatalogueLabel(std::string_view utf8);

}  // namespace kelvo_profile
