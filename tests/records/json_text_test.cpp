// The record's JSON written directly, against the JSON library's document
// dump that wrote it before: every byte the same.
#include "records/json_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "codec/frame_breakdown.h"
#include "profile/profile.h"
#include "profile/profile_values.h"
#include "records/frame_json.h"
#include "records/profile_json.h"
#include "records/record_time.h"
#include "records/record_writer.h"
#include "records/utf8.h"

namespace {

using kelvo_profile::ProfileValue;
using kelvo_profile::ValueKind;
using kelvo_records::AddedValue;
using kelvo_records::Record;
using Json = nlohmann::ordered_json;

std::string LibraryDump(const Json& j) {
  return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string Written(std::string_view text) {
  std::string out = "x";
  kelvo_records::AppendJsonString(text, out);
  return out.substr(1);
}

// Every single byte, and two-byte strings of any lead with any trail: control
// characters, quotes, lone continuation bytes, truncated and overlong forms.
TEST(JsonTextTest, StringsAsTheLibraryWritesThem) {
  for (int a = 0; a < 256; ++a) {
    const std::string one(1, static_cast<char>(a));
    ASSERT_EQ(Written(one), LibraryDump(one)) << "byte " << a;
    for (int b = 0; b < 256; ++b) {
      const std::string two{static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(Written(two), LibraryDump(two)) << "bytes " << a << ' ' << b;
    }
  }
  const std::vector<std::string> cases = {
      "",
      "电池\"组\"\\n\t",  // escapes between CJK text
      "\xE0\x9F\x80",
      "\xE0\xA0\x80",  // overlong, then the first 3-byte form
      "\xED\x9F\xBF",
      "\xED\xA0\x80",  // last before the surrogates, then one
      "\xF0\x8F\xBF\xBF",
      "\xF0\x90\x80\x80",
      "\xF4\x8F\xBF\xBF",
      "\xF4\x90\x80\x80",  // plane limits
      "ok\xE7\x94",
      "\xE7\x94\x35x",
      "\xFF\xFE",
      "a\x7F"
      "b",
      "\xC2\x80\xDF\xBF",
  };
  for (const std::string& text : cases) EXPECT_EQ(Written(text), LibraryDump(text)) << text;
  // Random bytes, mostly high ones, so that valid and broken sequences mix.
  std::mt19937 random(20261209);
  for (int round = 0; round < 20000; ++round) {
    std::string text(random() % 12, '\0');
    for (char& c : text) c = static_cast<char>(random() % 4 == 0 ? random() % 128 : 0x80 + random() % 128);
    ASSERT_EQ(Written(text), LibraryDump(text)) << "round " << round;
  }
}

TEST(JsonTextTest, NumbersAsTheLibraryWritesThem) {
  const std::vector<double> cases = {0.0,
                                     -0.0,
                                     1.0,
                                     -1.0,
                                     0.1,
                                     12.345,
                                     52.54,
                                     -945.72,
                                     1e-5,
                                     1e-4,
                                     123456789012345.0,
                                     1234567890123456.0,
                                     1e21,
                                     5e-324,
                                     std::numeric_limits<double>::max(),
                                     std::numeric_limits<double>::quiet_NaN(),
                                     std::numeric_limits<double>::infinity(),
                                     -std::numeric_limits<double>::infinity()};
  std::mt19937_64 random(7);
  std::vector<double> all = cases;
  for (int i = 0; i < 5000; ++i) {
    const std::uint64_t bits = random();
    double x;
    std::memcpy(&x, &bits, sizeof x);
    all.push_back(x);
    all.push_back(std::round(static_cast<double>(random() % 10000000) - 5e6) / 1000.0);
  }
  for (const double x : all) {
    std::string out;
    kelvo_records::AppendJsonDouble(x, out);
    ASSERT_EQ(out, LibraryDump(x)) << x;
  }
  for (const std::int64_t n : {std::int64_t{0}, std::int64_t{-1}, std::numeric_limits<std::int64_t>::min(),
                               std::numeric_limits<std::int64_t>::max()}) {
    std::string out;
    kelvo_records::AppendJsonInteger(n, out);
    EXPECT_EQ(out, LibraryDump(n));
  }
  std::string out;
  kelvo_records::AppendJsonUnsigned(std::numeric_limits<std::uint64_t>::max(), out);
  EXPECT_EQ(out, LibraryDump(std::numeric_limits<std::uint64_t>::max()));
}

// The record as the document used to make it: items from JsonItem, values
// as JsonValues makes them, each added figure assigned by key.
std::string DocumentRecord(const Record& r, const std::vector<ProfileValue>& values,
                           const std::vector<AddedValue>& added) {
  Json items = Json::array();
  if (const std::optional<codec::FrameItems> breakdown = codec::TryBreakDownFrame(r.frame)) {
    for (const codec::FrameItem& item : *breakdown) items.push_back(kelvo_records::JsonItem(item));
  }
  Json object{{"time", kelvo_records::FormatTime(r.time)},
              {"address", r.address},
              {"frame", kelvo_records::Utf8(r.frame)},
              {"latency_ms", std::round(r.latency_ms * 1000.0) / 1000.0},
              {"items", std::move(items)}};
  if (!values.empty()) {
    Json json_values = Json::object();
    const auto number = [](double x, int decimals) {
      return decimals == 0 ? Json(std::llround(x)) : Json(x);
    };
    for (const ProfileValue& v : values) {
      Json entry = Json::array();
      if (v.kind == ValueKind::Number) entry = number(v.number, v.decimals);
      for (const double x : v.numbers) entry.push_back(number(x, v.decimals));
      for (const std::string_view flag : v.flags) entry.push_back(flag);
      json_values[std::string(v.key)] = std::move(entry);
    }
    for (const AddedValue& a : added) {
      const double shift = std::pow(10.0, a.decimals);
      json_values[std::string(a.key)] = std::round(a.number * shift) / shift;
    }
    object["values"] = std::move(json_values);
  }
  return LibraryDump(object);
}

// Answers of the simulated unit and worked ones, with values that stretch
// the forms: NaN and infinity (null), whole and fractional, empty arrays,
// flags with non-ASCII and quotes, an added figure on a key the values hold.
TEST(JsonTextTest, RecordAsTheDocumentWroteIt) {
  const auto time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796780084123));
  const std::string c2 =
      "<BB300C2AE6B19623400C8611486100CCF0CD60CD20CD90CD50CD10CD80CD40CD00CD70CD30CCF0CD60CD20CD90CD500000708"
      "04"
      "4445464400000000000200000000030000000000000000000000780077500F2812F212D416A816BC70>";
  const std::string c8 =
      "<7B302C86E00000001100000000000000000000000000000000002563100000000010000000000000000000000000000000000"
      "00"
      "000000000000138864>";
  const std::vector<std::string> frames = {
      c2,
      c8,
      "<1F307E612020026123400275678DF>",
      "<17307E60A010026123402>",
      "<17307E60A000>",                      // an empty array
      "<1F307E6120FF>",                      // a count past the end: no items
      "<\x01\"\\\xB5\xE7\xB3\xD8\xFF\x80>",  // control, quote, GBK text and bytes that are not GBK
      ""};
  const std::vector<ProfileValue> values = {
      {"voltage", ValueKind::Number, 52.54, {}, {}, 2},
      {"count", ValueKind::Number, 16.4, {}, {}, 0},
      {"broken", ValueKind::Number, std::numeric_limits<double>::quiet_NaN(), {}, {}, 1},
      {"far", ValueKind::Number, std::numeric_limits<double>::infinity(), {}, {}, 3},
      {"cells", ValueKind::Numbers, 0, {3.295, -0.0, 1e-5, 3.3}, {}, 3},
      {"temperatures", ValueKind::Numbers, 0, {28.4, 29.6}, {}, 0},
      {"none", ValueKind::Numbers, 0, {}, {}, 1},
      {"state_flags", ValueKind::Flags, 0, {}, {"charge_switch", "过流 \"A\""}, 0},
      {"no_flags", ValueKind::Flags, 0, {}, {}, 0},
      {"energy_charged", ValueKind::Number, 99, {}, {}, 3},
  };
  const std::vector<AddedValue> added = {
      {"energy_charged", 1234.56789, 3}, {"energy_discharged", 0.0004, 3}, {"whole", 7.6, 0}};
  for (const std::string& frame : frames) {
    for (const double latency : {0.0, 12.3456789, 1e9}) {
      const Record r{time, 255, frame, latency};
      const std::optional<codec::FrameItems> items = codec::TryBreakDownFrame(frame);
      const codec::FrameItems* cut = items ? &*items : nullptr;
      EXPECT_EQ(kelvo_records::JsonRecord(r, cut, values, added), DocumentRecord(r, values, added)) << frame;
      EXPECT_EQ(kelvo_records::JsonRecord(r, cut, {}, added), DocumentRecord(r, {}, added)) << frame;
      EXPECT_EQ(kelvo_records::JsonRecord(r, cut, {values.data(), 2}, {}),
                DocumentRecord(r, {values.begin(), values.begin() + 2}, {}))
          << frame;
    }
  }
}

// With the default profile, the record of each simulated answer as before.
TEST(JsonTextTest, DefaultProfileRecordAsTheDocumentWroteIt) {
  const kelvo_profile::ProfileLoad load = kelvo_profile::LoadProfile(KVZ_DEFAULT_PROFILE);
  ASSERT_TRUE(load.profile) << load.error->text;
  const std::string c2 =
      "<BB300C2AE6B19623400C8611486100CCF0CD60CD20CD90CD50CD10CD80CD40CD00CD70CD30CCF0CD60CD20CD90CD500000708"
      "04"
      "4445464400000000000200000000030000000000000000000000780077500F2812F212D416A816BC70>";
  const Record r{std::chrono::system_clock::time_point(std::chrono::milliseconds(1796780084123)), 3, c2, 4.5};
  const std::vector<AddedValue> added = {{"energy_charged", 12.0005, 3}, {"energy_discharged", 0.1234, 3}};
  const std::optional<std::vector<ProfileValue>> values =
      kelvo_profile::ApplyProfile(*load.profile, *codec::TryBreakDownFrame(c2));
  ASSERT_TRUE(values && !values->empty());
  EXPECT_EQ(kelvo_records::JsonRecord(r, &*load.profile, added), DocumentRecord(r, *values, added));
}

}  // namespace
