// The rows of the values table for one answer: each payload field with its
// value in the profile's unit beside the raw number and the hex text, then
// the figures derived from them.
#pragma once

#include <QString>
#include <span>
#include <vector>

#include "answer_fields.h"
#include "profile/profile.h"
#include "profile/profile_values.h"

namespace kelvo_monitor {

struct ValueRow {
  QString key;    // the profile's key (what alarms will name); empty without one
  QString name;   // in the window's language
  QString value;  // in the profile's unit; empty where the profile says nothing
  QString raw;    // the number as the unit sent it; empty for a derived figure
  QString hex;    // the field's characters; empty for a derived figure
  bool derived = false;
};

// `fields` of one answer, and `values` (ApplyProfile's on the same answer)
// when `profile` is not null: then the derived figures follow the fields.
[[nodiscard]] std::vector<ValueRow> ValueRows(const std::vector<AnswerField>& fields,
                                              const kelvo_profile::Profile* profile,
                                              std::span<const kelvo_profile::ProfileValue> values);

}  // namespace kelvo_monitor
