#include "codec/frame_check.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace codec {
namespace {

constexpr std::uint8_t kPolynomial = 0x31;
constexpr std::uint8_t kInitial = 0xCC;
constexpr std::size_t kSlices = 8;

using Table = std::array<std::uint8_t, 256>;

// kAdvance[k][v]: the register after the value v has passed through k + 1
// bytes of zeros. The register update is linear, so eight bytes fold into
// one XOR of eight independent lookups instead of a chain of eight.
constexpr std::array<Table, kSlices> MakeAdvanceTables() {
  std::array<Table, kSlices> tables{};
  for (int v = 0; v < 256; ++v) {
    auto c = static_cast<std::uint8_t>(v);
    for (int bit = 0; bit < 8; ++bit) {
      c = static_cast<std::uint8_t>((c & 0x80) ? (c << 1) ^ kPolynomial : c << 1);
    }
    tables[0][static_cast<std::size_t>(v)] = c;
  }
  for (std::size_t k = 1; k < kSlices; ++k) {
    for (std::size_t v = 0; v < 256; ++v) tables[k][v] = tables[0][tables[k - 1][v]];
  }
  return tables;
}

constexpr auto kAdvance = MakeAdvanceTables();

constexpr std::uint8_t Byte(char c) noexcept {
  return static_cast<std::uint8_t>(c);
}

}  // namespace

std::uint8_t FrameCheck8(std::string_view run) noexcept {
  std::uint8_t c = kInitial;
  const char* p = run.data();
  std::size_t left = run.size();
  for (; left >= kSlices; left -= kSlices, p += kSlices) {
    c = kAdvance[7][c ^ Byte(p[0])] ^ kAdvance[6][Byte(p[1])] ^ kAdvance[5][Byte(p[2])] ^
        kAdvance[4][Byte(p[3])] ^ kAdvance[3][Byte(p[4])] ^ kAdvance[2][Byte(p[5])] ^
        kAdvance[1][Byte(p[6])] ^ kAdvance[0][Byte(p[7])];
  }
  for (; left > 0; --left, ++p) c = kAdvance[0][c ^ Byte(*p)];
  return c;
}

}  // namespace codec
