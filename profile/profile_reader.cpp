#include <toml++/toml.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <initializer_list>
#include <sstream>

#include "profile/catalogue_labels.h"
#include "profile/profile.h"

namespace kelvo_profile {
namespace {

// Raised while reading; carries the complete refusal. Never leaves this file.
struct Refusal {
  ProfileError error;
};

constexpr int kMostDecimals = 9;

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

bool IsKeyText(std::string_view key) {
  return !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
}

int LineOf(const toml::node& node) {
  return static_cast<int>(node.source().begin.line);
}

// The width in bits of a single-number field; 0 for the others.
int BitWidth(codec::FieldKind kind) {
  switch (kind) {
    case codec::FieldKind::Fixed1: return 8;
    case codec::FieldKind::Fixed2: return 16;
    case codec::FieldKind::Fixed4: return 32;
    default: return 0;
  }
}

bool IsArray(codec::FieldKind kind) {
  return kind == codec::FieldKind::Array1 || kind == codec::FieldKind::Array2 ||
         kind == codec::FieldKind::Array4;
}

// The fewest decimals that show `x` whole: 0.01 needs 2, -40 none.
int DecimalsOf(double x) {
  for (int d = 0; d < kMostDecimals; ++d) {
    const double shifted = x * std::pow(10.0, d);
    if (std::abs(shifted - std::round(shifted)) <= 1e-9 * std::max(1.0, std::abs(shifted))) return d;
  }
  return kMostDecimals;
}

// One table of the file: every read names the file, the line and the key.
class TableReader {
 public:
  TableReader(const toml::table& table, std::string name, const std::string& source,
              std::initializer_list<std::string_view> keys)
      : table_(table), name_(std::move(name)), source_(source) {
    for (const auto& [key, node] : table_) {
      if (std::find(keys.begin(), keys.end(), key.str()) == keys.end()) {
        Fail(LineOf(node), key.str(), "unknown key " + Quoted(key.str()) + " in " + name_);
      }
    }
  }

  [[noreturn]] void Fail(int line, std::string_view key, const std::string& what) const {
    std::ostringstream out;
    out << source_ << ": line " << line << ": " << what;
    throw Refusal{{source_, line, std::string(key), out.str()}};
  }
  [[noreturn]] void FailKey(std::string_view key, const std::string& what) const {
    Fail(LineOf(*table_.get(key)), key, "key " + Quoted(key) + " in " + name_ + ": " + what);
  }

  [[nodiscard]] bool Has(std::string_view key) const { return table_.contains(key); }
  [[nodiscard]] int line() const { return LineOf(table_); }
  [[nodiscard]] const std::string& name() const { return name_; }
  [[nodiscard]] const std::string& source() const { return source_; }

  [[nodiscard]] std::string String(std::string_view key) const {
    if (!Has(key)) return {};
    const auto* value = table_.get(key)->as_string();
    if (value == nullptr) FailKey(key, "must be a string in double quotes");
    if (value->get().empty()) FailKey(key, "must not be empty");
    return value->get();
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

  [[nodiscard]] std::optional<int> Integer(std::string_view key, int low, int high) const {
    if (!Has(key)) return std::nullopt;
    const auto* value = table_.get(key)->as_integer();
    if (value == nullptr) FailKey(key, "must be a whole number");
    if (value->get() < low || value->get() > high) {
      FailKey(key, std::to_string(value->get()) + " is out of range " + std::to_string(low) + "-" +
                       std::to_string(high));
    }
    return static_cast<int>(value->get());
  }

  [[nodiscard]] const toml::table* Table(std::string_view key) const {
    if (!Has(key)) return nullptr;
    const auto* table = table_.get(key)->as_table();
    if (table == nullptr) FailKey(key, "must be a table");
    return table;
  }

 private:
  const toml::table& table_;
  std::string name_;
  const std::string& source_;
};

std::vector<BitName> ReadBits(const TableReader& field, const toml::table& bits, int width) {
  if (width == 0) field.FailKey("bits", "the field is an array or text, not one number with bits");
  const std::string name = field.name() + " bits";
  std::vector<BitName> names;
  for (const auto& [key, node] : bits) {
    const std::string_view digits = key.str();
    int bit = -1;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), bit);
    if (error != std::errc() || end != digits.data() + digits.size() || bit < 0 || bit >= width) {
      field.Fail(
          LineOf(node), digits,
          "key " + Quoted(digits) + " in " + name + ": not a bit number 0-" + std::to_string(width - 1));
    }
    const auto* text = node.as_string();
    if (text == nullptr || !IsKeyText(text->get())) {
      field.Fail(LineOf(node), digits,
                 "key " + Quoted(digits) + " in " + name +
                     ": a bit's name must be a string of lower-case letters, digits and \"_\"");
    }
    names.push_back({bit, text->get()});
  }
  std::sort(names.begin(), names.end(), [](const BitName& a, const BitName& b) { return a.bit < b.bit; });
  for (std::size_t i = 1; i < names.size(); ++i) {
    if (names[i].bit == names[i - 1].bit) {
      field.FailKey("bits", "bit " + std::to_string(names[i].bit) + " is named twice");
    }
  }
  return names;
}

ProfileField ReadField(const TableReader& t, std::string key) {
  ProfileField field;
  field.key = std::move(key);
  field.line = t.line();
  if (!t.Has("label")) {
    t.Fail(t.line(), "label", t.name() + " has no key \"label\", which is required");
  }
  field.label = t.String("label");
  const CatalogueLabel* label = FindCatalogueLabel(field.label);
  if (label == nullptr) t.FailKey("label", Quoted(field.label) + " is no payload field's label");
  if (label->kind == codec::FieldKind::Prefixed) {
    t.FailKey("label", Quoted(field.label) + " holds text, not a number");
  }
  field.label_gbk = label->gbk;
  field.array = IsArray(label->kind);
  field.unit = t.String("unit");
  field.scale = t.Number("scale").value_or(1.0);
  if (field.scale == 0) t.FailKey("scale", "must not be 0");
  field.offset = t.Number("offset").value_or(0.0);
  field.decimals = t.Integer("decimals", 0, kMostDecimals)
                       .value_or(std::max(DecimalsOf(field.scale), DecimalsOf(field.offset)));
  field.device_class = t.String("device_class");
  field.state_class = t.String("state_class");
  if (const toml::table* bits = t.Table("bits")) {
    field.bits = ReadBits(t, *bits, IsArray(label->kind) ? 0 : BitWidth(label->kind));
    field.flags_key = field.key + "_flags";
  }
  if (const toml::table* title = t.Table("title")) {
    const TableReader titles(*title, t.name() + " title", t.source(), {"en", "zh"});
    field.title_en = titles.String("en");
    field.title_zh = titles.String("zh");
  }
  return field;
}

Profile ReadProfile(const toml::table& root, const std::string& source) {
  const TableReader top(root, "the file", source, {"field"});
  std::vector<ProfileField> fields;
  const toml::table* tables = top.Table("field");
  if (tables == nullptr) return Profile(source, std::move(fields));
  // The tables as the file orders them: TOML keeps keys sorted by name.
  std::vector<std::pair<std::string_view, const toml::node*>> in_file_order;
  for (const auto& [name, node] : *tables) in_file_order.emplace_back(name.str(), &node);
  std::stable_sort(in_file_order.begin(), in_file_order.end(),
                   [](const auto& a, const auto& b) { return LineOf(*a.second) < LineOf(*b.second); });
  for (const auto& [name, node_pointer] : in_file_order) {
    const toml::node& node = *node_pointer;
    const std::string key(name);
    if (!IsKeyText(key)) {
      top.Fail(LineOf(node), key,
               "key " + Quoted(key) + " in [field]: keys are lower-case letters, digits and \"_\"");
    }
    const auto* table = node.as_table();
    if (table == nullptr) top.Fail(LineOf(node), key, "key " + Quoted(key) + " in [field]: must be a table");
    const TableReader t(
        *table, "[field." + key + "]", source,
        {"label", "unit", "scale", "offset", "decimals", "device_class", "state_class", "bits", "title"});
    ProfileField field = ReadField(t, key);
    for (const ProfileField& earlier : fields) {
      if (earlier.label_gbk == field.label_gbk) {
        t.FailKey("label", Quoted(field.label) + " is read by [field." + earlier.key + "] (line " +
                               std::to_string(earlier.line) + ") already");
      }
      const bool clash = (!field.flags_key.empty() && field.flags_key == earlier.key) ||
                         (!earlier.flags_key.empty() && earlier.flags_key == field.key);
      if (clash) {
        t.Fail(t.line(), key,
               "key " + Quoted(key) + " in [field]: clashes with the bit names of [field." +
                   (field.flags_key.empty() ? earlier.key : field.key) + "]");
      }
    }
    fields.push_back(std::move(field));
  }
  return Profile(source, std::move(fields));
}

}  // namespace

const ProfileField* Profile::FieldForLabel(std::string_view label_gbk) const noexcept {
  for (const ProfileField& field : fields_) {
    if (field.label_gbk == label_gbk) return &field;
  }
  return nullptr;
}

const ProfileField* Profile::FieldForKey(std::string_view key) const noexcept {
  for (const ProfileField& field : fields_) {
    if (field.key == key) return &field;
  }
  return nullptr;
}

ProfileLoad ParseProfile(std::string_view text, const std::string& source) {
  try {
    const toml::table root = toml::parse(text, source);
    return {ReadProfile(root, source), std::nullopt};
  } catch (const toml::parse_error& e) {
    const int line = static_cast<int>(e.source().begin.line);
    std::ostringstream out;
    out << source << ": line " << line << ": " << e.description();
    return {std::nullopt, ProfileError{source, line, {}, out.str()}};
  } catch (const Refusal& refusal) {
    return {std::nullopt, refusal.error};
  }
}

ProfileLoad LoadProfile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {std::nullopt, ProfileError{path, 0, {}, path + ": cannot read the profile"}};
  std::ostringstream text;
  text << in.rdbuf();
  return ParseProfile(text.str(), path);
}

}  // namespace kelvo_profile
