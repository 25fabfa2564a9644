#include "site/status_values.h"

#include <simdjson.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "records/json_text.h"
#include "site/iso_time.h"

namespace kelvo_site {
namespace {

namespace od = simdjson::ondemand;

constexpr double kNull = std::numeric_limits<double>::quiet_NaN();
constexpr std::string_view kEnergyKeys[] = {"energy_charged", "energy_discharged"};
// Deeper than any gateway writes; keeps the walk's stack small.
constexpr int kMaxDepth = 32;

// A gateway sends a thousand of these a second, so the message is read in
// one pass without building a document, and `values` is kept as it came.
struct Parsers {
  od::parser status;
  od::parser values;
  std::string buffer;  // the payload and the padding the parser reads past its end
};

Parsers& ThreadParsers() {
  thread_local Parsers parsers;
  return parsers;
}

// Reads a value through, so that whatever it holds is checked JSON.
bool Check(od::value value, int depth) {
  od::json_type type;
  if (value.type().get(type) || depth > kMaxDepth) return false;
  switch (type) {
    case od::json_type::object:
      for (auto field : value.get_object()) {
        std::string_view key;
        od::value v;
        if (field.unescaped_key().get(key) || field.value().get(v) || !Check(v, depth + 1)) return false;
      }
      return true;
    case od::json_type::array:
      for (auto element : value.get_array()) {
        od::value v;
        if (element.get(v) || !Check(v, depth + 1)) return false;
      }
      return true;
    case od::json_type::string: return !value.get_string().error();
    case od::json_type::number: return !value.get_double().error();
    case od::json_type::boolean: return !value.get_bool().error();
    case od::json_type::null: return value.is_null().value_unsafe();
  }
  return false;
}

// A number or null as one slot's number; nothing for any other value.
std::optional<double> NumberOrNull(od::value value, bool* ok) {
  od::json_type type;
  if (value.type().get(type)) return *ok = false, std::nullopt;
  if (type == od::json_type::number) {
    double x = 0;
    if (value.get_double().get(x)) *ok = false;
    return x;
  }
  if (type == od::json_type::null) {
    if (!value.is_null().value_unsafe()) *ok = false;
    return kNull;
  }
  *ok = Check(value, 1);
  return std::nullopt;
}

bool Flatten(od::object values, FlatValues& flat) {
  for (auto field : values) {
    std::string_view key;
    od::value value;
    if (field.unescaped_key().get(key) || field.value().get(value)) return false;
    od::json_type type;
    if (value.type().get(type)) return false;
    if (type == od::json_type::array && !key.ends_with("_flags")) {
      int element = 0;
      for (auto e : value.get_array()) {
        od::value v;
        if (e.get(v)) return false;
        ++element;
        bool ok = true;
        const std::optional<double> x = NumberOrNull(v, &ok);
        if (!ok) return false;
        if (!x) continue;
        flat.slots.push_back({std::string(key), element});
        flat.numbers.push_back(*x);
      }
      continue;
    }
    bool ok = true;
    const std::optional<double> x = NumberOrNull(value, &ok);
    if (!ok) return false;
    if (!x) continue;
    flat.slots.push_back({std::string(key), 0});
    flat.numbers.push_back(*x);
  }
  return true;
}

// Each slot once: a status naming a key twice would give two numbers to one.
bool SlotsOnce(const std::vector<Slot>& slots) {
  std::vector<std::pair<std::string_view, int>> seen;
  seen.reserve(slots.size());
  for (const Slot& s : slots) seen.emplace_back(s.key, s.element);
  std::sort(seen.begin(), seen.end());
  return std::adjacent_find(seen.begin(), seen.end()) == seen.end();
}

// `text` copied where the parser may read past its end.
std::string_view Padded(std::string_view text, std::string& buffer) {
  buffer.resize(text.size() + simdjson::SIMDJSON_PADDING);
  std::memcpy(buffer.data(), text.data(), text.size());
  return {buffer.data(), text.size()};
}

// Whether the whole text was read: nothing after the value.
bool AtEnd(od::document& doc) {
  return doc.current_location().error() == simdjson::OUT_OF_BOUNDS;
}

bool FlattenInto(od::parser& parser, const char* data, std::size_t size, std::size_t capacity,
                 FlatValues& flat) {
  od::document doc;
  od::object values;
  if (parser.iterate(data, size, capacity).get(doc) || doc.get_object().get(values)) return false;
  return Flatten(values, flat) && AtEnd(doc);
}

std::string_view TrimEnd(std::string_view text) {
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\n' || text.back() == '\r' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

}  // namespace

FlatValues FlattenValues(std::string_view values_json) {
  Parsers& parsers = ThreadParsers();
  const std::string_view text = Padded(values_json, parsers.buffer);
  FlatValues flat;
  if (!FlattenInto(parsers.values, text.data(), text.size(), parsers.buffer.size(), flat)) return {};
  return flat;
}

std::optional<StatusValues> ParseStatus(std::string_view payload, std::string* why) {
  if (payload.size() > kMaxStatusBytes) {
    *why = "is " + std::to_string(payload.size()) + " bytes, more than the " +
           std::to_string(kMaxStatusBytes) + " a status may have";
    return std::nullopt;
  }
  Parsers& parsers = ThreadParsers();
  const std::string_view text = Padded(payload, parsers.buffer);
  const char* const end_of_buffer = parsers.buffer.data() + parsers.buffer.size();
  const auto fail = [why](const char* reason) {
    *why = reason;
    return std::nullopt;
  };

  od::document doc;
  od::object status;
  if (parsers.status.iterate(text.data(), text.size(), parsers.buffer.size()).get(doc) ||
      doc.type().error() || doc.get_object().get(status))
    return fail("is not a JSON object");
  std::optional<std::int64_t> time_ms;
  std::string_view values = "{}";
  double energy[std::size(kEnergyKeys)];
  bool has_energy[std::size(kEnergyKeys)] = {};
  bool values_not_object = false;
  bool values_seen = false;
  for (auto field : status) {
    std::string_view key;
    od::value value;
    if (field.unescaped_key().get(key) || field.value().get(value)) return fail("is not a JSON object");
    od::json_type type;
    if (value.type().get(type)) return fail("is not a JSON object");
    if (key == "time" && type == od::json_type::string) {
      std::string_view t;
      if (value.get_string().get(t)) return fail("is not a JSON object");
      time_ms = ParseIsoTime(t);
    } else if (key == "values") {
      // Only the `values` kept is read through below, so a second one is refused.
      if (values_seen) return fail("has \"values\" twice");
      values_seen = true;
      od::object object;
      if (type != od::json_type::object) {
        values_not_object = true;
        if (!Check(value, 1)) return fail("is not a JSON object");
      } else if (value.get_object().get(object) || object.raw_json().get(values)) {
        return fail("is not a JSON object");
      }
      values = TrimEnd(values);
    } else {
      const auto* energy_key = std::find(std::begin(kEnergyKeys), std::end(kEnergyKeys), key);
      const auto i = static_cast<std::size_t>(energy_key - std::begin(kEnergyKeys));
      if (energy_key != std::end(kEnergyKeys) && type == od::json_type::number) {
        if (value.get_double().get(energy[i])) return fail("is not a JSON object");
        has_energy[i] = true;
      } else if (!Check(value, 1)) {
        return fail("is not a JSON object");
      }
    }
  }
  if (!AtEnd(doc)) return fail("is not a JSON object");
  if (!time_ms) return fail("has no \"time\" in ISO 8601 with an offset");
  if (values_not_object) return fail("has \"values\" that is not an object");

  StatusValues out;
  out.time_ms = *time_ms;
  // `values` lies inside the padded buffer, so its parse may read on past it.
  if (!FlattenInto(parsers.values, values.data(), values.size(),
                   static_cast<std::size_t>(end_of_buffer - values.data()), out.flat))
    return fail("is not a JSON object");
  if (!SlotsOnce(out.flat.slots)) return fail("names a key of \"values\" twice");
  out.values_json.assign(values);
  for (std::size_t i = 0; i < std::size(kEnergyKeys); ++i) {
    const std::string_view key = kEnergyKeys[i];
    const bool in_values = std::any_of(out.flat.slots.begin(), out.flat.slots.end(),
                                       [key](const Slot& s) { return s.key == key; });
    if (!has_energy[i] || in_values) continue;
    out.values_json.pop_back();  // the closing brace
    if (out.values_json.size() > 1) out.values_json += ',';
    out.values_json += '"';
    out.values_json += key;
    out.values_json += "\":";
    kelvo_records::AppendJsonDouble(energy[i], out.values_json);
    out.values_json += '}';
    out.flat.slots.push_back({std::string(key), 0});
    out.flat.numbers.push_back(energy[i]);
  }
  return out;
}

}  // namespace kelvo_site
