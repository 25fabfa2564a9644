// The byte layout of the device-independent bitmaps the resources keep, in
// .bmp files and inside .ico files: what the resource generator writes and
// LoadBitmap and LoadIcon read. All numbers are little-endian.
#pragma once

#include <QtGlobal>
#include <array>
#include <cstdint>

namespace fw::dib {

// .bmp file header: "BM", file size (4), reserved (4), offset of the pixels (4).
inline constexpr int kFileHeaderSize = 14;
inline constexpr int kPixelOffsetAt = 10;

// Info header; offsets from its start.
inline constexpr int kInfoHeaderSize = 40;
inline constexpr int kWidthAt = 4;
inline constexpr int kHeightAt = 8;  // an icon image gives twice its height: pixels, then AND mask
inline constexpr int kPlanesAt = 12;
inline constexpr int kBitCountAt = 14;
inline constexpr int kCompressionAt = 16;  // 0: uncompressed, the only kind used
inline constexpr int kImageSizeAt = 20;
inline constexpr int kColoursUsedAt = 32;

// A palette entry: blue, green, red, 0. Bitmaps of 1, 4 or 8 bits per
// pixel carry 2^bits entries right after the info header.
inline constexpr int kPaletteEntrySize = 4;

// .ico file: reserved (2), type 1 (2), count (2), then one 16-byte entry an
// image: width, height (1 each, 0 for 256), colours, reserved, planes (2),
// bits (2), size (4), offset of its info header (4).
inline constexpr int kIconDirSize = 6;
inline constexpr int kIconTypeAt = 2;
inline constexpr int kIconCountAt = 4;
inline constexpr int kIconEntrySize = 16;
inline constexpr int kIconEntryHeightAt = 1;
inline constexpr int kIconEntryOffsetAt = 12;

// Bytes of one row of `width` pixels: rows are padded to 32 bits and stored
// bottom-up.
[[nodiscard]] constexpr qsizetype RowBytes(qsizetype width, int bits) {
  return ((width * bits + 31) / 32) * 4;
}

// The standard 16-colour palette, in the order 4-bit bitmaps use.
inline constexpr std::array<std::uint32_t, 16> kPalette16 = {
    0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080, 0xFF008080, 0xFFC0C0C0,
    0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF,
};

}  // namespace fw::dib
