// Writes the resources' bitmap and icon files (layout in
// framework/dib_layout.h), as the resource loader reads them.
#pragma once

#include <QByteArray>
#include <QImage>

// An uncompressed 4-bit .bmp with the standard 16-colour palette; each
// pixel takes the nearest palette colour.
[[nodiscard]] QByteArray FourBitBmp(const QImage& image);

// A two-image .ico: `colour` at 32 bits per pixel with its alpha, `mono` at
// 1 bit per pixel (dark opaque pixels black, the rest white); pixels less
// than half opaque are marked transparent in both masks.
[[nodiscard]] QByteArray IconFile(const QImage& colour, const QImage& mono);
