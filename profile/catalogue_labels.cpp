#include "profile/catalogue_labels.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "text/gbk_text.h"

namespace kelvo_profile {
namespace {

std::vector<CatalogueLabel> BuildLabels() {
  const auto converter = std::make_unique<kelvo_text::GbkToUtf8>();  // its tables are large
  std::vector<CatalogueLabel> labels;
  for (std::int32_t command = 0; command <= 0xFF; ++command) {
    const std::optional<codec::FieldLayout> layout = codec::FindFieldLayout(command);
    if (!layout) continue;
    for (const codec::FieldDescriptor& field : *layout) {
      const bool known = std::any_of(labels.begin(), labels.end(),
                                     [&](const CatalogueLabel& l) { return l.gbk == field.label; });
      if (!known) labels.push_back({converter->Convert(field.label), field.label, field.kind});
    }
  }
  return labels;
}

}  // namespace

const std::vector<CatalogueLabel>& CatalogueLabels() {
  static const std::vector<CatalogueLabel> kLabels = BuildLabels();
  return kLabels;
}

const CatalogueLabel* FindCatalogueLabel(std::string_view utf8) {
  for (const CatalogueLabel& label : CatalogueLabels()) {
    if (label.utf8 == utf8) return &label;
  }
  return nullptr;
}

}  // namespace kelvo_profile
