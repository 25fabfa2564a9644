// Reads the resources' bitmap and icon files (layout in dib_layout.h).
// Read here rather than by Qt's image plugins: probing the plugins costs
// the start-up more than the whole of what is read.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>

namespace fw {

// An uncompressed .bmp of 1 or 4 bits per pixel, as an indexed image whose
// colour table is the file's palette, or of 32 bits per pixel. Null when
// the data is short or of another kind.
[[nodiscard]] QImage ReadBitmapFile(const QByteArray& data);
// Every image of an .ico file whose kind ReadBitmapFile reads; pixels
// that the AND mask marks are transparent.
[[nodiscard]] QIcon ReadIconFile(const QByteArray& data);

}  // namespace fw
