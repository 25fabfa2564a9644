// A unit profile: what each payload field of an answer means, in which unit,
// and how its raw number becomes that unit's value. Read from a TOML file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvo_profile {

// One named bit of a field: its number (0 the lowest) and its name.
struct BitName {
  int bit = 0;
  std::string name;

  bool operator==(const BitName&) const = default;
};

// One [field.KEY] table: the payload field it reads and what its number means.
struct ProfileField {
  std::string key;             // [a-z0-9_]+, unique in the profile
  std::string flags_key;       // KEY_flags, for fields with bits
  std::string label;           // the catalogue's label as UTF-8, as the file gives it
  std::string_view label_gbk;  // the same label as the codec holds it
  bool array = false;          // one number per cell or sensor
  std::string unit;            // empty: none
  double scale = 1;
  double offset = 0;
  int decimals = 0;           // values are rounded to this many decimals
  std::string device_class;   // empty: none
  std::string state_class;    // empty: none
  std::vector<BitName> bits;  // by bit number, lowest first
  std::string title_en;       // empty: none given
  std::string title_zh;
  int line = 0;  // of the [field.KEY] header, for messages

  bool operator==(const ProfileField&) const = default;
};

// A profile as read: its fields in the file's order.
class Profile {
 public:
  Profile(std::string source, std::vector<ProfileField> fields)
      : source_(std::move(source)), fields_(std::move(fields)) {}

  // The file it was read from, for messages and status bars.
  [[nodiscard]] const std::string& source() const noexcept { return source_; }
  [[nodiscard]] const std::vector<ProfileField>& fields() const noexcept { return fields_; }

  // The field reading the payload field labelled `label_gbk` (the codec's
  // GBK label), or null when the profile leaves it out.
  [[nodiscard]] const ProfileField* FieldForLabel(std::string_view label_gbk) const noexcept;
  // The field with key `key`, or null.
  [[nodiscard]] const ProfileField* FieldForKey(std::string_view key) const noexcept;

  // The same fields meaning the same, wherever they were read from.
  bool operator==(const Profile& other) const { return fields_ == other.fields_; }

 private:
  std::string source_;
  std::vector<ProfileField> fields_;
};

// Why a profile was refused: "FILE: line N: key "KEY" in [field.X]: why" in
// `text`; `line` 0 where no line applies (a file that cannot be read), `key`
// empty where no key is at fault.
struct ProfileError {
  std::string file;
  int line = 0;
  std::string key;
  std::string text;
};

// Exactly one of the two is set.
struct ProfileLoad {
  std::optional<Profile> profile;
  std::optional<ProfileError> error;
};

// Reads profile text; `source` names it in messages. Refuses a label the
// codec's catalogue does not know (or one that holds text, not a number), an
// unknown key, a bad number, a duplicate key or label, and keys that are not
// [a-z0-9_]+. Throws std::bad_alloc, and std::runtime_error when the system
// has no GBK converter to read the catalogue's labels with.
[[nodiscard]] ProfileLoad ParseProfile(std::string_view text, const std::string& source);

// Reads the profile file at `path`, as ParseProfile.
[[nodiscard]] ProfileLoad LoadProfile(const std::string& path);

}  // namespace kelvo_profile
