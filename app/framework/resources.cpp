#include "framework/resources.h"

#include <QFile>
#include <QImage>
#include <algorithm>
#include <cstdint>

namespace fw {
namespace {

const ResourceSet* g_resources = nullptr;

// The images are read here rather than by Qt's image plugins: probing the
// plugins costs the start-up more than the whole of what is read.

std::uint32_t Le(const QByteArray& data, qsizetype at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(data[at + i]);
  return v;
}

QByteArray ReadResource(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An uncompressed device-independent bitmap of 1, 4 or 32 bits per pixel at
// `at` (its info header), `height` rows tall; icon images are followed by an
// AND mask that makes pixels transparent. Null when the data is short or of
// another kind.
QImage ReadDib(const QByteArray& data, qsizetype at, int height, bool hasMask) {
  if (at < 0 || data.size() < at + 40) return {};
  const int width = static_cast<int>(Le(data, at + 4, 4));
  const int bits = static_cast<int>(Le(data, at + 14, 2));
  if (Le(data, at + 16, 4) != 0 || width <= 0 || width > 4096 || height <= 0 || height > 4096) return {};
  if (bits != 1 && bits != 4 && bits != 32) return {};
  const int colours = bits == 32 ? 0 : 1 << bits;
  const qsizetype palette = at + static_cast<qsizetype>(Le(data, at, 4));
  const qsizetype pixels = palette + colours * 4;
  const qsizetype stride = ((static_cast<qsizetype>(width) * bits + 31) / 32) * 4;
  const qsizetype maskStride = ((width + 31) / 32) * 4;
  const qsizetype mask = pixels + stride * height;
  if (data.size() < mask + (hasMask ? maskStride * height : 0)) return {};
  QImage image(width, height, QImage::Format_ARGB32);
  for (int y = 0; y < height; ++y) {
    const qsizetype row = pixels + (height - 1 - y) * stride;  // rows are stored bottom-up
    for (int x = 0; x < width; ++x) {
      QRgb c;
      if (bits == 32) {
        c = qRgba(static_cast<unsigned char>(data[row + x * 4 + 2]),
                  static_cast<unsigned char>(data[row + x * 4 + 1]),
                  static_cast<unsigned char>(data[row + x * 4]),
                  static_cast<unsigned char>(data[row + x * 4 + 3]));
      } else {
        const auto byte = static_cast<unsigned char>(data[row + x * bits / 8]);
        const int index = bits == 4 ? (x % 2 ? byte & 0x0F : byte >> 4) : (byte >> (7 - x % 8)) & 1;
        c = 0xFF000000u | Le(data, palette + index * 4, 3);
      }
      if (hasMask) {
        const auto m = static_cast<unsigned char>(data[mask + (height - 1 - y) * maskStride + x / 8]);
        if ((m >> (7 - x % 8)) & 1) c = bits == 32 ? c : 0;
      }
      image.setPixel(x, y, c);
    }
  }
  return image;
}

}  // namespace

void UseResources(const ResourceSet* resources) noexcept {
  g_resources = resources;
}

const DialogTemplate* FindDialogTemplate(int id) noexcept {
  if (!g_resources) return nullptr;
  const auto& dialogs = g_resources->dialogs;
  const auto it = std::find_if(dialogs.begin(), dialogs.end(), [id](const auto& d) { return d.id == id; });
  return it == dialogs.end() ? nullptr : &*it;
}

QString LoadString(unsigned id) {
  if (!g_resources) return {};
  for (const auto& s : g_resources->strings) {
    if (s.id == id) return QString::fromUtf16(s.text.data(), static_cast<qsizetype>(s.text.size()));
  }
  return {};
}

QIcon LoadIcon(int id) {
  const QByteArray data = ReadResource(QStringLiteral(":/res/icon/%1.ico").arg(id));
  QIcon icon;
  if (data.size() < 6 || Le(data, 2, 2) != 1) return icon;
  const int count = static_cast<int>(Le(data, 4, 2));
  for (int i = 0; i < count && data.size() >= 6 + (i + 1) * 16; ++i) {
    const qsizetype entry = 6 + i * 16;
    const int height = static_cast<unsigned char>(data[entry + 1]);
    const QImage image =
        ReadDib(data, static_cast<qsizetype>(Le(data, entry + 12, 4)), height ? height : 256, true);
    if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}

QPixmap LoadBitmap(int id) {
  const QByteArray data = ReadResource(QStringLiteral(":/res/bitmap/%1.bmp").arg(id));
  if (data.size() < 54 || !data.startsWith("BM")) return {};
  const auto height = static_cast<std::int32_t>(Le(data, 14 + 8, 4));
  return QPixmap::fromImage(ReadDib(data, 14, height, false));
}

}  // namespace fw
