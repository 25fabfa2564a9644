// Reading one table of a program's TOML configuration: every key checked,
// unknown keys refused, and every fault named by file, line and key.
#pragma once

#include <toml++/toml.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace kelvo_config {

// Raised while reading a configuration; carries the complete message
// ("FILE: line N: ..."). Readers catch it before returning to their caller.
struct ConfigError {
  std::string message;
};

// `key` in double quotes, as messages name keys.
[[nodiscard]] std::string Quoted(std::string_view key);

// One table of the file: its name as the user wrote it, its line, and the
// keys it may hold. Every read names the line and the key at fault.
class TableReader {
 public:
  // Refuses (throws ConfigError for) any key of `table` not among `keys`.
  TableReader(const toml::table& table, std::string name, std::string source,
              std::initializer_list<std::string_view> keys);

  [[noreturn]] void Fail(int line, const std::string& what) const;
  [[noreturn]] void FailKey(std::string_view key, const std::string& what) const;

  [[nodiscard]] bool Has(std::string_view key) const { return table_.contains(key); }
  [[nodiscard]] int line() const { return LineOf(table_); }
  [[nodiscard]] const toml::table& table() const { return table_; }
  [[nodiscard]] const std::string& name() const { return name_; }
  [[nodiscard]] const std::string& source() const { return source_; }

  void Require(std::string_view key) const;

  [[nodiscard]] std::string String(std::string_view key, std::string fallback) const;
  [[nodiscard]] int Integer(std::string_view key, int fallback, std::int64_t low, std::int64_t high) const;
  [[nodiscard]] bool Boolean(std::string_view key, bool fallback) const;
  // A whole or decimal number; none when the key is absent.
  [[nodiscard]] std::optional<double> Number(std::string_view key) const;
  // A sub-table; null when the key is absent.
  [[nodiscard]] const toml::table* Table(std::string_view key) const;

  static int LineOf(const toml::node& node) { return static_cast<int>(node.source().begin.line); }

 private:
  const toml::table& table_;
  std::string name_;
  std::string source_;
};

// Parses `text` (named `source` in messages) and hands the root table to
// `read`; a TOML syntax fault or a ConfigError becomes the message of the
// error, "FILE: line N: ...".
template <typename Read>
auto ParseConfigText(std::string_view text, const std::string& source, Read read, std::string* error)
    -> std::optional<decltype(read(std::declval<const toml::table&>()))> {
  try {
    const toml::table root = toml::parse(text, source);
    return read(root);
  } catch (const toml::parse_error& e) {
    *error = source + ": line " + std::to_string(e.source().begin.line) + ": " + std::string(e.description());
  } catch (const ConfigError& e) {
    *error = e.message;
  }
  return std::nullopt;
}

}  // namespace kelvo_config
