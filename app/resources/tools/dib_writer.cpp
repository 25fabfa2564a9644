#include "resources/tools/dib_writer.h"

#include <cstdint>

#include "framework/dib_layout.h"

namespace dib = fw::dib;

namespace {

void PutLe16(QByteArray& out, unsigned v) {
  out.append(static_cast<char>(v & 0xFF));
  out.append(static_cast<char>((v >> 8) & 0xFF));
}

void PutLe32(QByteArray& out, std::uint32_t v) {
  PutLe16(out, v & 0xFFFF);
  PutLe16(out, v >> 16);
}

void PutInfoHeader(QByteArray& out, int width, int height, int bits, std::uint32_t image_size, int colours) {
  PutLe32(out, dib::kInfoHeaderSize);
  PutLe32(out, static_cast<std::uint32_t>(width));
  PutLe32(out, static_cast<std::uint32_t>(height));
  PutLe16(out, 1);  // planes
  PutLe16(out, static_cast<unsigned>(bits));
  PutLe32(out, 0);  // uncompressed
  PutLe32(out, image_size);
  PutLe32(out, 0);  // pixels per metre, across and down
  PutLe32(out, 0);
  PutLe32(out, static_cast<std::uint32_t>(colours));
  PutLe32(out, 0);  // important colours: all
}

int NearestPaletteIndex(QRgb c) {
  int best = 0;
  long best_distance = -1;
  for (int i = 0; i < 16; ++i) {
    const QRgb p = dib::kPalette16[static_cast<std::size_t>(i)];
    const long dr = qRed(c) - qRed(p);
    const long dg = qGreen(c) - qGreen(p);
    const long db = qBlue(c) - qBlue(p);
    const long d = dr * dr + dg * dg + db * db;
    if (best_distance < 0 || d < best_distance) {
      best = i;
      best_distance = d;
    }
  }
  return best;
}

// AND mask of an icon image: 1 where the pixel is transparent.
QByteArray AndMask(const QImage& image) {
  const qsizetype stride = dib::RowBytes(image.width(), 1);
  QByteArray mask(stride * image.height(), '\0');
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<unsigned char*>(mask.data()) + (image.height() - 1 - y) * stride;
    for (int x = 0; x < image.width(); ++x) {
      if (qAlpha(image.pixel(x, y)) < 128) row[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
    }
  }
  return mask;
}

QByteArray IconImage32(const QImage& image) {
  QByteArray out;
  QByteArray pixels;
  for (int y = image.height() - 1; y >= 0; --y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = image.pixel(x, y);
      pixels.append(static_cast<char>(qBlue(c)));
      pixels.append(static_cast<char>(qGreen(c)));
      pixels.append(static_cast<char>(qRed(c)));
      pixels.append(static_cast<char>(qAlpha(c)));
    }
  }
  const QByteArray mask = AndMask(image);
  PutInfoHeader(out, image.width(), image.height() * 2, 32,
                static_cast<std::uint32_t>(pixels.size() + mask.size()), 0);
  out.append(pixels);
  out.append(mask);
  return out;
}

// Monochrome image: palette black, white; dark opaque pixels are black.
QByteArray IconImage1(const QImage& image) {
  const qsizetype stride = dib::RowBytes(image.width(), 1);
  QByteArray pixels(stride * image.height(), '\0');
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<unsigned char*>(pixels.data()) + (image.height() - 1 - y) * stride;
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = image.pixel(x, y);
      const bool white = qAlpha(c) < 128 || qGray(c) >= 128;
      if (white) row[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
    }
  }
  const QByteArray mask = AndMask(image);
  QByteArray out;
  PutInfoHeader(out, image.width(), image.height() * 2, 1,
                static_cast<std::uint32_t>(pixels.size() + mask.size()), 2);
  PutLe32(out, 0x00000000);
  PutLe32(out, 0x00FFFFFF);
  out.append(pixels);
  out.append(mask);
  return out;
}

}  // namespace

QByteArray FourBitBmp(const QImage& image) {
  const qsizetype stride = dib::RowBytes(image.width(), 4);
  QByteArray pixels(stride * image.height(), '\0');
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<unsigned char*>(pixels.data()) + (image.height() - 1 - y) * stride;
    for (int x = 0; x < image.width(); ++x) {
      const int index = NearestPaletteIndex(image.pixel(x, y));
      row[x / 2] |= static_cast<unsigned char>(x % 2 == 0 ? index << 4 : index);
    }
  }
  QByteArray out;
  const std::uint32_t offset = dib::kFileHeaderSize + dib::kInfoHeaderSize + 16 * dib::kPaletteEntrySize;
  out.append("BM");
  PutLe32(out, offset + static_cast<std::uint32_t>(pixels.size()));
  PutLe32(out, 0);
  PutLe32(out, offset);
  PutInfoHeader(out, image.width(), image.height(), 4, static_cast<std::uint32_t>(pixels.size()), 16);
  for (QRgb c : dib::kPalette16) {
    out.append(static_cast<char>(qBlue(c)));
    out.append(static_cast<char>(qGreen(c)));
    out.append(static_cast<char>(qRed(c)));
    out.append('\0');
  }
  out.append(pixels);
  return out;
}

QByteArray IconFile(const QImage& colour, const QImage& mono) {
  const QByteArray a = IconImage32(colour);
  const QByteArray b = IconImage1(mono);
  QByteArray out;
  PutLe16(out, 0);
  PutLe16(out, 1);  // icon
  PutLe16(out, 2);
  const std::uint32_t first = dib::kIconDirSize + 2 * dib::kIconEntrySize;
  const auto entry = [&out](const QImage& image, int colours, int bits, qsizetype size,
                            std::uint32_t offset) {
    out.append(static_cast<char>(image.width()));
    out.append(static_cast<char>(image.height()));
    out.append(static_cast<char>(colours));
    out.append('\0');
    PutLe16(out, 1);
    PutLe16(out, static_cast<unsigned>(bits));
    PutLe32(out, static_cast<std::uint32_t>(size));
    PutLe32(out, offset);
  };
  entry(colour, 0, 32, a.size(), first);
  entry(mono, 2, 1, b.size(), first + static_cast<std::uint32_t>(a.size()));
  out.append(a);
  out.append(b);
  return out;
}
