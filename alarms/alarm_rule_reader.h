// Alarm rules from [[alarm]] tables: in the gateway's configuration among its
// other tables, or in a file of their own (the monitor's --alarms FILE).
#pragma once

#include <toml++/toml.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "alarms/alarm_rule.h"
#include "profile/profile.h"

namespace kelvo_alarms {

// Why the rules were refused, worded as a profile's refusal:
// "FILE: line N: key "KEY" in [[alarm]] number M: why" in `text`; `line` 0
// where no line applies (a file that cannot be read), `key` empty where no
// key is at fault.
struct AlarmRuleError {
  std::string file;
  int line = 0;
  std::string key;
  std::string text;
};

// Exactly one of the two is set.
struct AlarmRulesLoad {
  std::optional<AlarmRules> rules;
  std::optional<AlarmRuleError> error;
};

// The [[alarm]] tables of `root`, which may hold other keys (the caller reads
// those); `source` names the file in messages. None is no rule.
//
// A rule may watch the profile's keys (not KEY_flags, which are names, not
// numbers), the derived keys and `extra_keys`, values the caller adds to
// every answer's (the gateway's energy counters). With no profile (values
// off) no key has a value, and every rule is refused.
//
// Refuses an unknown key, a bad type, a name that is not [a-z0-9_]+, taken
// twice or built in ("offline", "bus_down"), a value no watchable key gives,
// none or more than one of above, below and nonzero, and a clear on the wrong
// side of the threshold. Throws only std::bad_alloc.
[[nodiscard]] AlarmRulesLoad ReadAlarmRules(const toml::table& root, const std::string& source,
                                            const kelvo_profile::Profile* profile,
                                            std::span<const std::string_view> extra_keys = {});

// Rules from TOML text that holds nothing but [[alarm]] tables; as above, and
// a TOML syntax error or any other top-level key is refused.
[[nodiscard]] AlarmRulesLoad ParseAlarmRules(std::string_view text, const std::string& source,
                                             const kelvo_profile::Profile* profile,
                                             std::span<const std::string_view> extra_keys = {});

// Reads the file at `path`, as ParseAlarmRules.
[[nodiscard]] AlarmRulesLoad LoadAlarmRules(const std::string& path, const kelvo_profile::Profile* profile,
                                            std::span<const std::string_view> extra_keys = {});

}  // namespace kelvo_alarms
