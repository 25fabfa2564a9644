// The rules of kelvo-monitor --alarms FILE: a file of [[alarm]] tables,
// checked against the profile in use as the gateway checks its own.
#pragma once

#include <QString>
#include <memory>

#include "alarms/alarm_rule.h"
#include "profile/profile.h"

namespace kelvo_monitor {

// The rules of `path` for values under `profile` (null: values off, and then
// any rule is refused). Null when refused, with the library's message (the
// file, the line and the key) in `why`. Never throws but std::bad_alloc.
[[nodiscard]] std::shared_ptr<const kelvo_alarms::AlarmRules> LoadAlarmRulesFile(
    const QString& path, const kelvo_profile::Profile* profile, QString* why);

// No rules: the built-in alarms alone.
[[nodiscard]] std::shared_ptr<const kelvo_alarms::AlarmRules> NoAlarmRules();

}  // namespace kelvo_monitor
