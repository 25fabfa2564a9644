#include "framework/dialog_units.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <cstdint>

namespace fw {
namespace {

// a * b / c rounded to the nearest, halves away from zero.
int MulDiv(int a, int b, int c) {
  const std::int64_t p = static_cast<std::int64_t>(a) * b;
  const std::int64_t r = (p >= 0 ? p + c / 2 : p - c / 2) / c;
  return static_cast<int>(r);
}

}  // namespace

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int extent =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(extent / 26 + 1) / 2, metrics.height()};
}

QRect ToPixels(const DluRect& r, DialogBaseUnits u) {
  return {MulDiv(r.x, u.char_width, 4), MulDiv(r.y, u.char_height, 8), MulDiv(r.w, u.char_width, 4),
          MulDiv(r.h, u.char_height, 8)};
}

QFont DialogFont(const DialogTemplate& t) {
  // The shell dialog face of a Chinese (GBK) desktop is a CJK face, whose
  // Latin letters are narrow enough for the templates' labels; a condensed
  // face, then the desktop's general font, stand in when it is missing.
  QFont font;
  if (t.font_face == u"MS Shell Dlg") {
    font.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("DejaVu Sans Condensed"),
                      QFontDatabase::systemFont(QFontDatabase::GeneralFont).family()});
  } else {
    font.setFamily(QString::fromUtf16(t.font_face.data(), static_cast<qsizetype>(t.font_face.size())));
  }
  font.setPointSize(t.point_size);
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  return font;
}

}  // namespace fw
