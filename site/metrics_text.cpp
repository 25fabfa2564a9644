#include "site/metrics_text.h"

#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <set>

namespace kelvo_site {
namespace {

std::string Number(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  return ShortestNumber(value);
}

std::string UnitLabels(const UnitId& u) {
  return "prefix=\"" + LabelValue(u.prefix) + "\",bus=\"" + LabelValue(u.bus) + "\",address=\"" +
         std::to_string(u.address) + "\"";
}

// One series per alarm name and severity: an alarm standing on several cells
// of one key is listed once per cell, and a scrape must not repeat a series.
void AlarmSeries(std::string& out, const std::string& labels, const std::string& alarms_json) {
  const nlohmann::json active = nlohmann::json::parse(alarms_json, nullptr, false);
  if (!active.is_array()) return;
  std::set<std::pair<std::string, std::string>> seen;
  for (const nlohmann::json& alarm : active) {
    if (!alarm.is_object() || !alarm.contains("name") || !alarm["name"].is_string()) continue;
    std::string severity = alarm.contains("severity") && alarm["severity"].is_string()
                               ? alarm["severity"].get<std::string>()
                               : std::string();
    auto [it, fresh] = seen.emplace(alarm["name"].get<std::string>(), std::move(severity));
    if (!fresh) continue;
    out += "kelvo_alarm_active{" + labels + ",name=\"" + LabelValue(it->first) + "\",severity=\"" +
           LabelValue(it->second) + "\"} 1\n";
  }
}

void Family(std::string& out, const char* name, const char* type, const char* help) {
  out += std::string("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

}  // namespace

std::string ShortestNumber(double value) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc() ? std::string(text, end) : "NaN";
}

std::string LabelValue(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string MetricsText(const SiteState& state, const std::map<std::string, bool>& gateways,
                        const std::vector<OwnMetric>& own) {
  std::string out;
  Family(out, "kelvo_gateway_online", "gauge", "1 while a prefix's gateway is connected to the broker.");
  for (const auto& [prefix, online] : gateways)
    out += "kelvo_gateway_online{prefix=\"" + LabelValue(prefix) + "\"} " + (online ? "1" : "0") + '\n';
  Family(out, "kelvo_value", "gauge", "The latest value of a unit, in the profile's unit.");
  for (const auto& [id, entry] : state.units()) {
    const std::string labels = UnitLabels(id);
    for (std::size_t i = 0; i < entry.slots->size() && i < entry.numbers.size(); ++i) {
      if (std::isnan(entry.numbers[i])) continue;
      const Slot& slot = (*entry.slots)[i];
      out += "kelvo_value{" + labels + ",key=\"" + LabelValue(slot.key) + "\"";
      if (slot.element > 0) out += ",element=\"" + std::to_string(slot.element) + "\"";
      out += "} " + Number(entry.numbers[i]) + '\n';
    }
  }
  Family(out, "kelvo_online", "gauge", "1 while a unit answers its gateway, 0 while it does not.");
  for (const auto& [id, entry] : state.units()) {
    if (entry.state.online)
      out += "kelvo_online{" + UnitLabels(id) + "} " + (*entry.state.online ? "1" : "0") + '\n';
  }
  Family(out, "kelvo_alarm_active", "gauge",
         "1 for every alarm standing on a unit, or on a bus (address empty: bus_down).");
  for (const auto& [id, entry] : state.units()) AlarmSeries(out, UnitLabels(id), entry.state.alarms_json);
  for (const auto& [id, bus] : state.buses()) {
    if (id.second.empty()) continue;  // a site has no alarms of its own
    AlarmSeries(out,
                "prefix=\"" + LabelValue(id.first) + "\",bus=\"" + LabelValue(id.second) + "\",address=\"\"",
                bus.alarms_json);
  }
  for (const OwnMetric& m : own) {
    out += "# HELP " + m.name + ' ' + m.help + "\n# TYPE " + m.name + (m.counter ? " counter\n" : " gauge\n");
    out += m.name + ' ' + Number(m.value) + '\n';
  }
  return out;
}

}  // namespace kelvo_site
