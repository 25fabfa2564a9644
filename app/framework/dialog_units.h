// Dialog units: the template's measure, mapped to pixels from the dialog's
// font.
#pragma once

#include <QFont>
#include <QRect>

#include "framework/resources.h"

namespace fw {

// Pixel size of one dialog unit: a quarter of the average character width
// (measured over A-Z and a-z, rounded) by an eighth of the character height.
struct DialogBaseUnits {
  int char_width;
  int char_height;
};
[[nodiscard]] DialogBaseUnits BaseUnitsOf(const QFont& font);
// A dialog-unit rectangle in pixels, each value rounded to the nearest.
[[nodiscard]] QRect ToPixels(const DluRect& r, DialogBaseUnits units);
// The font a template's face and size stand for on this desktop.
[[nodiscard]] QFont DialogFont(const DialogTemplate& t);

}  // namespace fw
