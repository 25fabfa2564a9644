#include "value_rows.h"

#include <algorithm>

#include "profile/value_meaning.h"
#include "profile_text.h"

namespace kelvo_monitor {
namespace {

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Power is exact to the sum of its inputs' decimals; shown, it keeps those of
// the finer input, since the figures past them were never measured.
kelvo_profile::ProfileValue AsShown(const kelvo_profile::ProfileValue& value,
                                    std::span<const kelvo_profile::ProfileValue> values) {
  kelvo_profile::ProfileValue shown = value;
  if (value.key != "power") return shown;
  const auto* volts = kelvo_profile::FindValue(values, "total_voltage");
  const auto* amperes = kelvo_profile::FindValue(values, "current");
  if (volts && amperes)
    shown.decimals = std::min(value.decimals, std::max(volts->decimals, amperes->decimals));
  return shown;
}

}  // namespace

std::vector<ValueRow> ValueRows(const std::vector<AnswerField>& fields, const kelvo_profile::Profile* profile,
                                std::span<const kelvo_profile::ProfileValue> values) {
  std::vector<ValueRow> rows;
  rows.reserve(fields.size() + std::size(kelvo_profile::kDerivedKeys));
  for (const AnswerField& field : fields) {
    ValueRow row{{}, field.label, {}, field.DecimalText(), field.hex, false};
    const kelvo_profile::ProfileField* read = profile ? profile->FieldForLabel(field.label_gbk) : nullptr;
    if (read) {
      row.key = Utf8(read->key);
      row.name = FieldTitle(read, field.label);
      // A bit field reads as the names of its set bits, its number beside them.
      const kelvo_profile::ProfileValue* flags =
          read->bits.empty() ? nullptr : kelvo_profile::FindValue(values, read->flags_key);
      if (flags) {
        row.value = ValueText(*flags, {});
      } else if (const kelvo_profile::ProfileValue* value = kelvo_profile::FindValue(values, read->key)) {
        row.value = ValueText(*value, read->unit);
      }
    }
    rows.push_back(std::move(row));
  }
  if (!profile) return rows;
  for (const std::string_view key : kelvo_profile::kDerivedKeys) {
    if (profile->FieldForKey(key)) continue;  // the profile reads it from a field, shown above
    const kelvo_profile::ProfileValue* value = kelvo_profile::FindValue(values, key);
    if (!value) continue;
    rows.push_back({Utf8(key),
                    DerivedTitle(key),
                    ValueText(AsShown(*value, values), kelvo_profile::ValueUnit(*profile, key)),
                    {},
                    {},
                    true});
  }
  return rows;
}

}  // namespace kelvo_monitor
