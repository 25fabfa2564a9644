#include "config/table_reader.h"

#include <algorithm>
#include <utility>

namespace kelvo_config {

std::string Quoted(std::string_view key) {
  return "\"" + std::string(key) + "\"";
}

TableReader::TableReader(const toml::table& table, std::string name, std::string source,
                         std::initializer_list<std::string_view> keys)
    : table_(table), name_(std::move(name)), source_(std::move(source)) {
  for (const auto& [key, node] : table_) {
    if (std::find(keys.begin(), keys.end(), key.str()) == keys.end()) {
      Fail(LineOf(node), "unknown key " + Quoted(key.str()) + " in " + name_);
    }
  }
}

void TableReader::Fail(int line, const std::string& what) const {
  throw ConfigError{source_ + ": line " + std::to_string(line) + ": " + what};
}

void TableReader::FailKey(std::string_view key, const std::string& what) const {
  Fail(LineOf(*table_.get(key)), "key " + Quoted(key) + " in " + name_ + ": " + what);
}

void TableReader::Require(std::string_view key) const {
  if (!Has(key))
    Fail(line(),
         name_ + " (line " + std::to_string(line()) + ") has no key " + Quoted(key) + ", which is required");
}

std::string TableReader::String(std::string_view key, std::string fallback) const {
  if (!Has(key)) return fallback;
  const auto* value = table_.get(key)->as_string();
  if (value == nullptr) FailKey(key, "must be a string in double quotes");
  return value->get();
}

int TableReader::Integer(std::string_view key, int fallback, std::int64_t low, std::int64_t high) const {
  if (!Has(key)) return fallback;
  const auto* value = table_.get(key)->as_integer();
  if (value == nullptr) FailKey(key, "must be a whole number");
  const std::int64_t n = value->get();
  if (n < low || n > high) {
    FailKey(key, std::to_string(n) + " is out of range " + std::to_string(low) + "-" + std::to_string(high));
  }
  return static_cast<int>(n);
}

bool TableReader::Boolean(std::string_view key, bool fallback) const {
  if (!Has(key)) return fallback;
  const auto* value = table_.get(key)->as_boolean();
  if (value == nullptr) FailKey(key, "must be true or false");
  return value->get();
}

std::optional<double> TableReader::Number(std::string_view key) const {
  if (!Has(key)) return std::nullopt;
  const toml::node& node = *table_.get(key);
  if (const auto* i = node.as_integer()) return static_cast<double>(i->get());
  if (const auto* f = node.as_floating_point()) return f->get();
  FailKey(key, "must be a number");
}

const toml::table* TableReader::Table(std::string_view key) const {
  if (!Has(key)) return nullptr;
  const auto* table = table_.get(key)->as_table();
  if (table == nullptr) FailKey(key, "must be a table");
  return table;
}

}  // namespace kelvo_config
