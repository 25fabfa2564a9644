#include "codec/field_numbers.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "codec/frame_breakdown.h"

namespace {

using codec::FieldKind;
using codec::ItemRole;

struct Row {
  const char* what;
  codec::FrameItem item;
  std::optional<std::uint64_t> number;
  bool is_array;
  std::vector<std::uint32_t> numbers;
  std::optional<std::string> text;
};

const Row kRows[] = {
    {"start mark", {"<", "", ItemRole::StartMark}, std::nullopt, false, {}, std::nullopt},
    {"end mark", {">", "", ItemRole::EndMark}, std::nullopt, false, {}, std::nullopt},
    {"message length", {"1F", "", ItemRole::MessageLength}, 31, false, {}, std::nullopt},
    {"version, one digit", {"3", "", ItemRole::Version}, 3, false, {}, std::nullopt},
    {"command cut short", {"E", "", ItemRole::Command}, std::nullopt, false, {}, std::nullopt},
    {"address lower-case", {"e6", "", ItemRole::Address}, std::nullopt, false, {}, std::nullopt},
    {"check value", {"8D", "", ItemRole::CheckValue}, 0x8D, false, {}, std::nullopt},
    {"four-byte field",
     {"5F5E1000", "", ItemRole::PayloadField, FieldKind::Fixed4},
     1600000000,
     false,
     {},
     std::nullopt},
    {"two-byte field cut short",
     {"0CE", "", ItemRole::PayloadField, FieldKind::Fixed2},
     std::nullopt,
     false,
     {},
     std::nullopt},
    // Cell voltages of a 0xC2 answer, in millivolts.
    {"two-byte array",
     {"0CE40CE50CE60CE7", "", ItemRole::PayloadField, FieldKind::Array2},
     std::nullopt,
     true,
     {3300, 3301, 3302, 3303},
     std::nullopt},
    {"one-byte array",
     {"1A1B", "", ItemRole::PayloadField, FieldKind::Array1},
     std::nullopt,
     true,
     {26, 27},
     std::nullopt},
    {"four-byte array",
     {"0026123400275678", "", ItemRole::PayloadField, FieldKind::Array4},
     std::nullopt,
     true,
     {0x00261234, 0x00275678},
     std::nullopt},
    {"array with a partial element",
     {"0CE40C", "", ItemRole::PayloadField, FieldKind::Array2},
     std::nullopt,
     true,
     {},
     std::nullopt},
    {"array not hex",
     {"0CE40Cx5", "", ItemRole::PayloadField, FieldKind::Array2},
     std::nullopt,
     true,
     {},
     std::nullopt},
    {"version string",
     {"03312E30", "", ItemRole::PayloadField, FieldKind::Prefixed},
     std::nullopt,
     false,
     {},
     "1.0"},
    {"empty name", {"00", "", ItemRole::PayloadField, FieldKind::Prefixed}, std::nullopt, false, {}, ""},
    {"bytes not printable",
     {"02311F", "", ItemRole::PayloadField, FieldKind::Prefixed},
     std::nullopt,
     false,
     {},
     std::nullopt},
    {"count disagrees",
     {"0441424344FF", "", ItemRole::PayloadField, FieldKind::Prefixed},
     std::nullopt,
     false,
     {},
     std::nullopt},
};

TEST(ReadItemNumbers, Table) {
  for (const Row& row : kRows) {
    const codec::ItemNumbers numbers = codec::ReadItemNumbers(row.item);
    EXPECT_EQ(numbers.number, row.number) << row.what;
    EXPECT_EQ(numbers.is_array, row.is_array) << row.what;
    EXPECT_EQ(numbers.numbers, row.numbers) << row.what;
    EXPECT_EQ(numbers.text, row.text) << row.what;
  }
}

// Every byte value against an independent predicate: only "0"-"9" and "A"-"F"
// are digits (catches sign extension and lower case alike).
TEST(ReadStrictHex, EveryCharacter) {
  for (int c = 0; c < 256; ++c) {
    const char text[2] = {'0', static_cast<char>(c)};
    const bool digit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    EXPECT_EQ(codec::ReadStrictHex({text, 2}).has_value(), digit) << c;
  }
  EXPECT_EQ(codec::ReadStrictHex("FFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(codec::ReadStrictHex("100000000"), std::nullopt);  // nine digits
  EXPECT_EQ(codec::ReadStrictHex(""), std::nullopt);
}

}  // namespace
