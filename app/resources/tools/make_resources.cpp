// Draws the application icon (128) and the frame-layout picture (129) and
// writes them in the formats the resources keep: a two-image .ico, an
// uncompressed 4-bit .bmp with the standard 16-colour palette, and a 32x32
// PNG of the colour icon for the desktop's icon theme.
//   kvz_make_resources OUTPUT_DIR
#include <QColor>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QStringList>
#include <cstdio>

#include "resources/tools/dib_writer.h"

namespace {

// A battery on its side with a frame's angle brackets on it: the unit and
// the text frames the tool writes for it.
void DrawIcon(QPainter& p, int top, bool colour) {
  const QColor body = colour ? QColor(0x1F, 0x4E, 0x8C) : Qt::black;
  const QColor fill = colour ? QColor(0x3C, 0xB3, 0x4A) : Qt::white;
  p.setPen(Qt::NoPen);
  p.setBrush(body);
  p.drawRoundedRect(QRectF(0, top, 28, 27), 3, 3);
  p.drawRect(QRectF(28, top + 8, 4, 11));
  p.setBrush(fill);
  p.drawRect(QRectF(3, top + 3, 22, 21));
  QPen pen(body, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(QPolygonF({QPointF(11, top + 7.5), QPointF(6.5, top + 13.5), QPointF(11, top + 19.5)}));
  p.drawPolyline(QPolygonF({QPointF(17, top + 7.5), QPointF(21.5, top + 13.5), QPointF(17, top + 19.5)}));
}

QImage ColourIcon() {
  QImage image(32, 27, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  DrawIcon(p, 0, true);
  return image;
}

QImage MonoIcon() {
  QImage image(32, 32, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  DrawIcon(p, 2, false);
  return image;
}

// The small hooked arrow that follows each cell text: down from the top
// right, then left, with the head pointing left.
void DrawReturnMark(QPainter& p, int x, int baseline) {
  p.setPen(QPen(Qt::black, 1));
  p.drawLine(x + 5, baseline - 7, x + 5, baseline - 2);
  p.drawLine(x + 1, baseline - 2, x + 5, baseline - 2);
  p.drawLine(x + 1, baseline - 2, x + 3, baseline - 4);
  p.drawLine(x + 1, baseline - 2, x + 3, baseline);
}

QImage FramePicture() {
  const QStringList rows[] = {
      {u"字段名称"_qs, u"开始标识"_qs, u"长度"_qs, u"版本"_qs, u"地址"_qs, u"命令字"_qs, u"数据负载"_qs,
       u"校验"_qs, u"结束标识"_qs},
      {u"长度"_qs, u"1"_qs, u"1"_qs, u"1"_qs, u"1"_qs, u"1"_qs, u"N"_qs, u"1"_qs, u"1"_qs},
      {u"默认值"_qs, u"0x3C"_qs, u"见长度"_qs, u"0x33"_qs, u"见地址"_qs, u"见命令字"_qs, u"见命令字"_qs,
       u"见校验"_qs, u"0X3E"_qs},
      {u"编码"_qs, u"无"_qs, u"HEX"_qs, u"无"_qs, u"HEX"_qs, u"HEX"_qs, u"HEX"_qs, u"HEX"_qs, u"无"_qs},
  };
  constexpr int kWidth = 531, kHeight = 77, kColumns = 9, kRows = 4;
  constexpr int kCellWidth = 59, kRowHeight = 19;  // 9 x 59 = 531; lines at 0, 19, 38, 57, 76
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  p.fillRect(0, 0, kWidth, kRowHeight, QColor(192, 192, 192));
  QFont font(u"WenQuanYi Micro Hei"_qs);
  font.setPixelSize(12);
  font.setStyleStrategy(QFont::NoAntialias);
  p.setFont(font);
  const QFontMetrics metrics(font);
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      const int x = c * kCellWidth + 3;
      const int baseline = r * kRowHeight + (kRowHeight + metrics.ascent() - metrics.descent()) / 2 + 1;
      p.setPen(Qt::black);
      p.drawText(x, baseline, rows[r][c]);
      DrawReturnMark(p, x + metrics.horizontalAdvance(rows[r][c]) + 1, baseline);
    }
  }
  p.setPen(QPen(Qt::black, 1));
  for (int r = 0; r <= kRows; ++r) p.drawLine(0, r * kRowHeight, kWidth - 1, r * kRowHeight);
  for (int c = 0; c <= kColumns; ++c) {
    const int x = c == kColumns ? kWidth - 1 : c * kCellWidth;
    p.drawLine(x, 0, x, kRows * kRowHeight);
  }
  return image;
}

bool Write(const QString& path, const QByteArray& data) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  const QImage colour = ColourIcon();
  QImage desktop(32, 32, QImage::Format_ARGB32);
  desktop.fill(Qt::transparent);
  {
    QPainter p(&desktop);
    p.drawImage(0, (32 - colour.height()) / 2, colour);
  }
  bool ok = Write(dir + u"/icon128.ico"_qs, IconFile(colour, MonoIcon()));
  ok = Write(dir + u"/bitmap129.bmp"_qs, FourBitBmp(FramePicture())) && ok;
  ok = desktop.save(dir + u"/kelvo_vavo_zuru.png"_qs, "PNG") && ok;
  return ok ? 0 : 1;
}
