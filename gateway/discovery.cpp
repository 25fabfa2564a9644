#include "gateway/discovery.h"

#include <QCryptographicHash>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "codec/payload_catalogue.h"
#include "codec/requests.h"
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
  const auto add = [&](const std::string& object, const std::string& name, const std::string& label,
                       const std::string& expression) {
    const auto found = discovery.fields.find(label);
    const FieldPresentation* p = found == discovery.fields.end() ? nullptr : &found->second;
    const bool clock = label == kClockLabel;
    Json config = {
        {"name", name},
        {"unique_id", node + "_" + object},
        {"object_id", node + "_" + object},
        {"state_topic", unit.topics.status},
        {"value_template", clock ? "{{ as_datetime(" + expression + ") }}" : Scaled(expression, p)},
        {"availability_topic", unit.topics.availability}};
    if (clock) {
      // Seconds since 1970 read as a time: no unit, no scale, no statistics.
      config["device_class"] = "timestamp";
    } else {
      config["state_class"] = "measurement";
      if (p != nullptr && !p->unit.empty()) config["unit_of_measurement"] = p->unit;
      if (p != nullptr && !p->device_class.empty()) config["device_class"] = p->device_class;
    }
    config["device"] = device;
    out.push_back({discovery.prefix + "/sensor/" + node + "/" + object + "/config", config.dump()});
  };

  for (std::size_t i = 0; i < layout->size(); ++i) {
    const Json& item = items[first + i];
    const std::string label = item.value("label", "");
    char object[32];
    std::snprintf(object, sizeof object, "field%02zu", i + 1);
    const codec::FieldKind kind = (*layout)[i].kind;
    if (kind == codec::FieldKind::Fixed1 || kind == codec::FieldKind::Fixed2 ||
        kind == codec::FieldKind::Fixed4) {
      add(object, label, label, Pick(label) + "['number']");
    } else if (item.contains("numbers") && item["numbers"].is_array()) {
      for (std::size_t e = 0; e < item["numbers"].size(); ++e) {
        add(std::string(object) + "_" + std::to_string(e + 1), label + " " + std::to_string(e + 1), label,
            Pick(label) + "['numbers'][" + std::to_string(e) + "]");
      }
    }
  }
  return out;
}

}  // namespace kelvo_gateway
