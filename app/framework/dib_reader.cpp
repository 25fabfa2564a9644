#include "framework/dib_reader.h"

#include <QPixmap>
#include <cstdint>

#include "framework/dib_layout.h"

namespace fw {
namespace {

std::uint32_t Le(const QByteArray& data, qsizetype at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(data[at + i]);
  return v;
}

// The bitmap whose info header is at `at`, `height` rows tall; icon images
// are followed by an AND mask and come out with transparency. Null when the
// data is short or of another kind.
QImage ReadDib(const QByteArray& data, qsizetype at, int height, bool has_mask) {
  if (at < 0 || data.size() < at + dib::kInfoHeaderSize) return {};
  const int width = static_cast<int>(Le(data, at + dib::kWidthAt, 4));
  const int bits = static_cast<int>(Le(data, at + dib::kBitCountAt, 2));
  if (Le(data, at + dib::kCompressionAt, 4) != 0 || width <= 0 || width > 4096 || height <= 0 ||
      height > 4096) {
    return {};
  }
  if (bits != 1 && bits != 4 && bits != 32) return {};
  const int colours = bits == 32 ? 0 : 1 << bits;
  const qsizetype palette = at + static_cast<qsizetype>(Le(data, at, 4));
  const qsizetype pixels = palette + colours * dib::kPaletteEntrySize;
  const qsizetype stride = dib::RowBytes(width, bits);
  const qsizetype mask_stride = dib::RowBytes(width, 1);
  const qsizetype mask = pixels + stride * height;
  if (data.size() < mask + (has_mask ? mask_stride * height : 0)) return {};
  const bool indexed = colours != 0 && !has_mask;
  QImage image(width, height, indexed ? QImage::Format_Indexed8 : QImage::Format_ARGB32);
  QList<QRgb> table;
  for (int i = 0; i < colours; ++i)
    table.append(0xFF000000u | Le(data, palette + i * dib::kPaletteEntrySize, 3));
  if (indexed) image.setColorTable(table);
  for (int y = 0; y < height; ++y) {
    const qsizetype row = pixels + (height - 1 - y) * stride;
    for (int x = 0; x < width; ++x) {
      if (bits == 32) {
        const qsizetype p = row + x * 4;
        QRgb c = qRgba(static_cast<unsigned char>(data[p + 2]), static_cast<unsigned char>(data[p + 1]),
                       static_cast<unsigned char>(data[p]), static_cast<unsigned char>(data[p + 3]));
        image.setPixel(x, y, c);
        continue;
      }
      const auto byte = static_cast<unsigned char>(data[row + x * bits / 8]);
      const int index = bits == 4 ? (x % 2 ? byte & 0x0F : byte >> 4) : (byte >> (7 - x % 8)) & 1;
      if (indexed) {
        image.setPixel(x, y, static_cast<uint>(index));
        continue;
      }
      const auto m = static_cast<unsigned char>(data[mask + (height - 1 - y) * mask_stride + x / 8]);
      image.setPixel(x, y, ((m >> (7 - x % 8)) & 1) ? 0u : table[index]);
    }
  }
  return image;
}

}  // namespace

QImage ReadBitmapFile(const QByteArray& data) {
  if (data.size() < dib::kFileHeaderSize + dib::kInfoHeaderSize || !data.startsWith("BM")) return {};
  const auto height = static_cast<std::int32_t>(Le(data, dib::kFileHeaderSize + dib::kHeightAt, 4));
  return ReadDib(data, dib::kFileHeaderSize, height, false);
}

QIcon ReadIconFile(const QByteArray& data) {
  QIcon icon;
  if (data.size() < dib::kIconDirSize || Le(data, dib::kIconTypeAt, 2) != 1) return icon;
  const int count = static_cast<int>(Le(data, dib::kIconCountAt, 2));
  for (int i = 0; i < count && data.size() >= dib::kIconDirSize + (i + 1) * dib::kIconEntrySize; ++i) {
    const qsizetype entry = dib::kIconDirSize + i * dib::kIconEntrySize;
    const int height = static_cast<unsigned char>(data[entry + dib::kIconEntryHeightAt]);
    const auto at = static_cast<qsizetype>(Le(data, entry + dib::kIconEntryOffsetAt, 4));
    const QImage image = ReadDib(data, at, height ? height : 256, true);
    if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}

}  // namespace fw
