#include "alarms/alarm_rule_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

#include "profile/profile_values.h"

namespace kelvo_alarms {
namespace {

// Raised while reading; carries the complete refusal. Never leaves this file.
struct Refusal {
  AlarmRuleError error;
};

// Longer delays than a year are a slip of the finger, and would overflow the
// clock's nanoseconds long before they were useful.
constexpr double kLongestDelayS = 365.0 * 24 * 3600;

constexpr std::string_view kRuleKeys[] = {"name",  "value", "above",       "below",    "nonzero",
                                          "clear", "for_s", "clear_for_s", "severity", "latch"};

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

// The shortest text that reads back as `x`: 3.6, not 3.600000.
std::string NumberText(double x) {
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text, x);
  return error == std::errc() ? std::string(text, end) : std::to_string(x);
}

bool IsNameText(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
}

int LineOf(const toml::node& node) {
  return static_cast<int>(node.source().begin.line);
}

[[noreturn]] void Fail(const std::string& source, int line, std::string_view key, const std::string& what) {
  std::ostringstream out;
  out << source << ": line " << line << ": " << what;
  throw Refusal{{source, line, std::string(key), out.str()}};
}

// One [[alarm]] table: every read names the file, the line and the key.
class RuleTable {
 public:
  RuleTable(const toml::table& table, std::string name, const std::string& source)
      : table_(table), name_(std::move(name)), source_(source) {
    for (const auto& [key, node] : table_) {
      if (std::find(std::begin(kRuleKeys), std::end(kRuleKeys), key.str()) == std::end(kRuleKeys)) {
        Fail(source_, LineOf(node), key.str(), "unknown key " + Quoted(key.str()) + " in " + name_);
      }
    }
  }

  [[noreturn]] void FailKey(std::string_view key, const std::string& what) const {
    Fail(source_, KeyLine(key), key, "key " + Quoted(key) + " in " + name_ + ": " + what);
  }
  [[noreturn]] void FailTable(const std::string& what) const {
    Fail(source_, line(), {}, name_ + " " + what);
  }

  [[nodiscard]] bool Has(std::string_view key) const { return table_.contains(key); }
  [[nodiscard]] int line() const { return LineOf(table_); }
  [[nodiscard]] int KeyLine(std::string_view key) const { return LineOf(*table_.get(key)); }

  [[nodiscard]] std::string RequiredString(std::string_view key) const {
    if (!Has(key)) {
      Fail(source_, line(), key, name_ + " has no key " + Quoted(key) + ", which is required");
    }
    const auto* value = table_.get(key)->as_string();
    if (value == nullptr) FailKey(key, "must be a string in double quotes");
    return value->get();
  }

  [[nodiscard]] std::optional<std::string> String(std::string_view key) const {
    if (!Has(key)) return std::nullopt;
    return RequiredString(key);
  }

  [[nodiscard]] std::optional<double> Number(std::string_view key) const {
    if (!Has(key)) return std::nullopt;
    const toml::node& node = *table_.get(key);
    double value = 0;
    if (const auto* i = node.as_integer()) {
      value = static_cast<double>(i->get());
    } else if (const auto* f = node.as_floating_point()) {
      value = f->get();
    } else {
      FailKey(key, "must be a number");
    }
    if (!std::isfinite(value)) FailKey(key, "must be a finite number");
    return value;
  }

  [[nodiscard]] std::optional<bool> Boolean(std::string_view key) const {
    if (!Has(key)) return std::nullopt;
    const auto* value = table_.get(key)->as_boolean();
    if (value == nullptr) FailKey(key, "must be true or false");
    return value->get();
  }

  [[nodiscard]] Duration Delay(std::string_view key) const {
    const double seconds = Number(key).value_or(0);
    if (seconds < 0) FailKey(key, "must not be negative");
    if (seconds > kLongestDelayS) FailKey(key, "must be at most " + NumberText(kLongestDelayS) + " (a year)");
    return std::chrono::round<Duration>(std::chrono::duration<double>(seconds));
  }

 private:
  const toml::table& table_;
  std::string name_;
  const std::string& source_;
};

class KeyCheck {
 public:
  KeyCheck(const kelvo_profile::Profile* profile, std::span<const std::string_view> extra_keys)
      : profile_(profile), extra_keys_(extra_keys) {}

  // Why `key` has no number to watch; empty when it has.
  [[nodiscard]] std::string WhyNot(const std::string& key) const {
    if (profile_ == nullptr) {
      return "no profile is in use (values are off), so there is no value " + Quoted(key) + " to watch";
    }
    if (profile_->FieldForKey(key) != nullptr) return {};
    if (std::find(std::begin(kelvo_profile::kDerivedKeys), std::end(kelvo_profile::kDerivedKeys), key) !=
        std::end(kelvo_profile::kDerivedKeys)) {
      return {};
    }
    if (std::find(extra_keys_.begin(), extra_keys_.end(), key) != extra_keys_.end()) return {};
    for (const kelvo_profile::ProfileField& field : profile_->fields()) {
      if (!field.flags_key.empty() && field.flags_key == key) {
        return Quoted(key) + " is the names of bits, not a number: watch " + Quoted(field.key) +
               " with nonzero = true";
      }
    }
    return Quoted(key) + " is no key of the profile " + profile_->source() + " nor a derived one";
  }

 private:
  const kelvo_profile::Profile* profile_;
  std::span<const std::string_view> extra_keys_;
};

void ReadCondition(const RuleTable& t, AlarmRule& rule) {
  const std::optional<double> above = t.Number("above");
  const std::optional<double> below = t.Number("below");
  const std::optional<bool> nonzero = t.Boolean("nonzero");
  if (nonzero && !*nonzero) t.FailKey("nonzero", "must be true; leave it out for above or below");
  const int given = int{above.has_value()} + int{below.has_value()} + int{nonzero.has_value()};
  if (given == 0) t.FailTable("has none of \"above\", \"below\" and \"nonzero\", and needs one");
  if (given > 1) {
    // The later one in the file is at fault.
    std::string_view later;
    for (const std::string_view key : {"above", "below", "nonzero"}) {
      if (t.Has(key) && (later.empty() || t.KeyLine(key) > t.KeyLine(later))) later = key;
    }
    t.FailKey(later, "only one of \"above\", \"below\" and \"nonzero\" may be given");
  }
  if (above) {
    rule.comparison = Comparison::Above;
    rule.threshold = *above;
  } else if (below) {
    rule.comparison = Comparison::Below;
    rule.threshold = *below;
  } else {
    rule.comparison = Comparison::Nonzero;
    rule.threshold = 0;
  }
  rule.clear = t.Number("clear").value_or(rule.threshold);
  if (t.Has("clear")) {
    if (rule.comparison == Comparison::Nonzero) {
      t.FailKey("clear", "a nonzero rule clears when the value is 0 and takes no clear level");
    }
    if (rule.comparison == Comparison::Above && rule.clear > rule.threshold) {
      t.FailKey("clear", NumberText(rule.clear) + " is above the threshold " + NumberText(rule.threshold) +
                             ": an above rule clears at or below it");
    }
    if (rule.comparison == Comparison::Below && rule.clear < rule.threshold) {
      t.FailKey("clear", NumberText(rule.clear) + " is below the threshold " + NumberText(rule.threshold) +
                             ": a below rule clears at or above it");
    }
  }
}

AlarmRule ReadRule(const RuleTable& t, const KeyCheck& keys) {
  AlarmRule rule;
  rule.line = t.line();
  rule.name = t.RequiredString("name");
  if (!IsNameText(rule.name)) t.FailKey("name", "must be lower-case letters, digits and \"_\"");
  if (rule.name == kOfflineAlarm || rule.name == kBusDownAlarm) {
    t.FailKey("name", Quoted(rule.name) + " is a built-in alarm's name");
  }
  rule.value = t.RequiredString("value");
  if (const std::string why = keys.WhyNot(rule.value); !why.empty()) t.FailKey("value", why);
  ReadCondition(t, rule);
  rule.raise_delay = t.Delay("for_s");
  rule.clear_delay = t.Delay("clear_for_s");
  if (const std::optional<std::string> severity = t.String("severity")) {
    if (*severity == SeverityName(Severity::Critical)) {
      rule.severity = Severity::Critical;
    } else if (*severity != SeverityName(Severity::Warning)) {
      t.FailKey("severity", Quoted(*severity) + " is neither \"warning\" nor \"critical\"");
    }
  }
  rule.latch = t.Boolean("latch").value_or(false);
  return rule;
}

AlarmRules ReadRules(const toml::table& root, const std::string& source, const KeyCheck& keys) {
  AlarmRules rules;
  const toml::node* node = root.get("alarm");
  if (node == nullptr) return rules;
  const toml::array* tables = node->as_array();
  if (tables == nullptr || !tables->is_array_of_tables()) {
    Fail(source, LineOf(*node), "alarm", "key \"alarm\" must be written as [[alarm]] tables");
  }
  int number = 0;
  for (const toml::node& table : *tables) {
    const RuleTable t(*table.as_table(), "[[alarm]] number " + std::to_string(++number), source);
    AlarmRule rule = ReadRule(t, keys);
    for (const AlarmRule& earlier : rules) {
      if (earlier.name == rule.name) {
        t.FailKey("name", Quoted(rule.name) + " names the alarm of line " + std::to_string(earlier.line) +
                              " already");
      }
    }
    rules.push_back(std::move(rule));
  }
  return rules;
}

}  // namespace

AlarmRulesLoad ReadAlarmRules(const toml::table& root, const std::string& source,
                              const kelvo_profile::Profile* profile,
                              std::span<const std::string_view> extra_keys) {
  try {
    return {ReadRules(root, source, KeyCheck(profile, extra_keys)), std::nullopt};
  } catch (const Refusal& refusal) {
    return {std::nullopt, refusal.error};
  }
}

AlarmRulesLoad ParseAlarmRules(std::string_view text, const std::string& source,
                               const kelvo_profile::Profile* profile,
                               std::span<const std::string_view> extra_keys) {
  toml::table root;
  try {
    root = toml::parse(text, source);
  } catch (const toml::parse_error& e) {
    const int line = static_cast<int>(e.source().begin.line);
    std::ostringstream out;
    out << source << ": line " << line << ": " << e.description();
    return {std::nullopt, AlarmRuleError{source, line, {}, out.str()}};
  }
  for (const auto& [key, node] : root) {
    if (key.str() != "alarm") {
      const int line = LineOf(node);
      return {std::nullopt,
              AlarmRuleError{source, line, std::string(key.str()),
                             source + ": line " + std::to_string(line) + ": unknown key " +
                                 Quoted(key.str()) + " in the file, which holds [[alarm]] tables only"}};
    }
  }
  return ReadAlarmRules(root, source, profile, extra_keys);
}

AlarmRulesLoad LoadAlarmRules(const std::string& path, const kelvo_profile::Profile* profile,
                              std::span<const std::string_view> extra_keys) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {std::nullopt, AlarmRuleError{path, 0, {}, path + ": cannot read the alarm rules"}};
  std::ostringstream text;
  text << in.rdbuf();
  return ParseAlarmRules(text.str(), path, profile, extra_keys);
}

}  // namespace kelvo_alarms
