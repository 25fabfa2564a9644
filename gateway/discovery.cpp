#include "gateway/discovery.h"

#include <QCryptographicHash>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>

#include "codec/payload_catalogue.h"
#include "codec/requests.h"
#include "gateway/discovery_sensor.h"
#include "profile/profile_values.h"
#include "profile/value_meaning.h"
#include "records/frame_json.h"

namespace kelvo_gateway {
namespace {

using Json = nlohmann::ordered_json;

// Labels of the identity answer, as the record writer gives them (UTF-8).
constexpr const char* kModelLabel = "主板名称";
constexpr const char* kSerialLabel = "服务序列号";
constexpr const char* kSoftwareLabel = "应用版本";
constexpr const char* kMakerLabel = "工厂名称";
// The status answer's clock field: a point in time, not a measurement.
constexpr const char* kClockLabel = "设备时间";

std::string TextOf(const Json& items, const char* label) {
  for (const Json& item : items) {
    if (item.value("label", "") == label && item.contains("text") && item["text"].is_string()) {
      return item["text"].get<std::string>();
    }
  }
  return {};
}

// A Jinja expression picking the field `label` out of the record's items.
std::string Pick(const std::string& label) {
  return "(value_json['items'] | selectattr('label', 'equalto', " + Json(label).dump() + ") | first)";
}

std::string Scaled(const std::string& expression, const FieldPresentation* p) {
  if (p == nullptr || !p->scale) return "{{ " + expression + " }}";
  char scale[32];
  std::snprintf(scale, sizeof scale, "%.10g", *p->scale);
  return "{{ (" + expression + " * " + scale + ") | round(6) }}";
}

}  // namespace

std::string TopicId(std::string_view text) {
  std::string id(text);
  bool changed = false;
  for (char& c : id) {
    const bool ok =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    if (!ok) {
      c = '_';
      changed = true;
    }
  }
  if (!changed) return id;
  // Cleaning alone maps "site.a" and "site_a", or any two names in another
  // script, to one id: the original's hash keeps them apart.
  const QByteArray digest = QCryptographicHash::hash(
      QByteArrayView(text.data(), static_cast<qsizetype>(text.size())), QCryptographicHash::Sha256);
  return id + "-" + digest.left(4).toHex().toStdString();
}

namespace {

Sensor FromPresentation(Sensor sensor, const FieldPresentation* p) {
  sensor.expression = Scaled(sensor.expression, p);
  if (p != nullptr) {
    sensor.unit = p->unit;
    sensor.device_class = p->device_class;
  }
  return sensor;
}

std::string DisplayName(const kelvo_profile::ValueMeaning& meaning, const std::string& key) {
  return meaning.title_en.empty() ? key : meaning.title_en;
}

// The energy counters every unit's values carry with a profile.
constexpr std::pair<const char*, const char*> kEnergySensors[] = {{"energy_charged", "Energy charged"},
                                                                  {"energy_discharged", "Energy discharged"}};

// One problem sensor per alarm of the unit, on while the alarm is in its list.
void AddAlarmSensors(const DiscoveryConfig& discovery, const DiscoveredUnit& unit, const std::string& node,
                     const Json& device, std::vector<DiscoveryMessage>& out) {
  std::vector<std::string> names{std::string(kelvo_alarms::kOfflineAlarm)};
  if (unit.alarms != nullptr) {
    for (const kelvo_alarms::AlarmRule& rule : *unit.alarms) names.push_back(rule.name);
  }
  for (const std::string& name : names) {
    std::string id = node;
    id.append("_alarm_").append(name);
    const Json config = {{"name", "Alarm " + name},
                         {"unique_id", id},
                         {"object_id", id},
                         {"state_topic", unit.topics.alarms},
                         {"value_template", "{{ 'ON' if value_json.active | selectattr('name', 'equalto', " +
                                                Json(name).dump() + ") | list | count > 0 else 'OFF' }}"},
                         {"payload_on", "ON"},
                         {"payload_off", "OFF"},
                         {"device_class", "problem"},
                         {"device", device}};
    std::string topic = discovery.prefix;
    topic.append("/binary_sensor/").append(node).append("/alarm_").append(name).append("/config");
    out.push_back({std::move(topic), config.dump()});
  }
}

}  // namespace

std::vector<DiscoveryMessage> DiscoveryConfigs(const DiscoveryConfig& discovery, const DiscoveredUnit& unit) {
  const Json items = kelvo_records::JsonItems(unit.status_frame);
  const auto layout = codec::FindFieldLayout(codec::AnswerCode(codec::Command::Status));
  // The payload fields stand between the header items and the check value and end mark.
  if (!layout || !items.is_array() || items.size() < layout->size() + 2) return {};
  const std::size_t first = items.size() - 2 - layout->size();

  const std::string address = std::to_string(unit.key.address);
  const std::string node = "kelvo_" + TopicId(unit.client_id) + "_" + unit.key.bus + "_" + address;
  Json device = {{"identifiers", Json::array({node})}, {"name", unit.key.bus + " unit " + address}};
  if (!unit.identity_frame.empty()) {
    const Json identity = kelvo_records::JsonItems(unit.identity_frame);
    const std::pair<const char*, const char*> keys[] = {{"manufacturer", kMakerLabel},
                                                        {"model", kModelLabel},
                                                        {"serial_number", kSerialLabel},
                                                        {"sw_version", kSoftwareLabel}};
    for (const auto& [key, label] : keys) {
      if (std::string text = TextOf(identity, label); !text.empty()) device[key] = text;
    }
  }

  std::vector<DiscoveryMessage> out;
  const auto add = [&](const Sensor& sensor) {
    out.push_back({discovery.prefix + "/sensor/" + node + "/" + sensor.object + "/config",
                   ConfigOf(sensor, node, unit.topics.status, unit.topics.availability, device).dump()});
  };
  // A payload field (element `element`, 0-based, of an array; -1 for a single number).
  const auto add_field = [&](const std::string& object, const std::string& label,
                             const codec::FieldDescriptor& descriptor, int element) {
    const std::string suffix = element < 0 ? "" : " " + std::to_string(element + 1);
    const std::string index = element < 0 ? "" : "[" + std::to_string(element) + "]";
    const auto presented = discovery.fields.find(label);
    const kelvo_profile::ProfileField* profiled =
        unit.profile != nullptr ? unit.profile->FieldForLabel(descriptor.label) : nullptr;
    Sensor sensor = Named(object, label + suffix);
    sensor.clock = label == kClockLabel;
    if (presented != discovery.fields.end() || profiled == nullptr) {
      sensor.expression = Pick(label) + (element < 0 ? "['number']" : "['numbers']" + index);
      add(sensor.clock
              ? sensor
              : FromPresentation(sensor, presented == discovery.fields.end() ? nullptr : &presented->second));
      return;
    }
    const std::optional<kelvo_profile::ValueMeaning> meaning =
        kelvo_profile::MeaningOf(*unit.profile, profiled->key);
    sensor.name = DisplayName(*meaning, label) + suffix;
    sensor.expression = "value_json.values." + profiled->key + index;
    add(sensor.clock ? sensor : FromMeaning(sensor, *meaning));
  };

  for (std::size_t i = 0; i < layout->size(); ++i) {
    const Json& item = items[first + i];
    const std::string label = item.value("label", "");
    char object[32];
    std::snprintf(object, sizeof object, "field%02zu", i + 1);
    const codec::FieldKind kind = (*layout)[i].kind;
    if (kind == codec::FieldKind::Fixed1 || kind == codec::FieldKind::Fixed2 ||
        kind == codec::FieldKind::Fixed4) {
      add_field(object, label, (*layout)[i], -1);
    } else if (item.contains("numbers") && item["numbers"].is_array()) {
      for (std::size_t e = 0; e < item["numbers"].size(); ++e) {
        add_field(std::string(object) + "_" + std::to_string(e + 1), label, (*layout)[i],
                  static_cast<int>(e));
      }
    }
  }
  AddAlarmSensors(discovery, unit, node, device, out);
  if (unit.profile == nullptr) return out;
  for (const std::string_view key : kelvo_profile::kDerivedKeys) {
    const std::optional<kelvo_profile::ValueMeaning> meaning = kelvo_profile::MeaningOf(*unit.profile, key);
    if (!meaning || unit.profile->FieldForKey(key) != nullptr) continue;  // a field of its own is above
    const std::string k(key);
    add(FromMeaning(Named(k, DisplayName(*meaning, k), "value_json.values." + k), *meaning));
  }
  for (const auto& [key, name] : kEnergySensors) {
    Sensor sensor = Named(key, name, std::string("{{ value_json.values.") + key + " }}");
    sensor.unit = "Wh";
    sensor.device_class = "energy";
    sensor.state_class = "total_increasing";
    add(sensor);
  }
  return out;
}

}  // namespace kelvo_gateway
