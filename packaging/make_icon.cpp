// zelk_make_icon <folder>: draws the application icon, a magnifier over a grid of
// coloured pixel blocks, as <folder>/<size>/zelkzoomer.png for the usual icon sizes and
// as <folder>/zelkzoomer.svg, all from the one geometry below.

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <cstdio>

namespace {

// Drawn on a 64 x 64 canvas and scaled.
constexpr double kCanvas = 64;
constexpr int kGrid = 6;                       // pixel blocks per side
constexpr double kGridOrigin = 4, kBlock = 8;  // blocks cover 4..52
constexpr double kLensX = 34, kLensY = 30, kLensRadius = 17, kRim = 4.5;
constexpr double kHandleFromX = 46.5, kHandleFromY = 42.5, kHandleToX = 59, kHandleToY = 55;
constexpr double kHandleWidth = 7;

// A small palette walked so that no two neighbours share a colour.
QColor BlockColour(int column, int row) {
  static const QColor palette[] = {QColor(0xE5, 0x39, 0x35), QColor(0xFB, 0x8C, 0x00),
                                   QColor(0xFD, 0xD8, 0x35), QColor(0x43, 0xA0, 0x47),
                                   QColor(0x1E, 0x88, 0xE5), QColor(0x8E, 0x24, 0xAA)};
  return palette[(column + 2 * row) % 6];
}

void Draw(QPainter& p) {
  p.setPen(Qt::NoPen);
  for (int row = 0; row < kGrid; ++row)
    for (int column = 0; column < kGrid; ++column)
      p.fillRect(QRectF(kGridOrigin + column * kBlock, kGridOrigin + row * kBlock, kBlock, kBlock),
                 BlockColour(column, row));
  // The lens shows the blocks under it larger: four of them, whole.
  p.save();
  QPainterPath lens;
  lens.addEllipse(QPointF(kLensX, kLensY), kLensRadius, kLensRadius);
  p.setClipPath(lens);
  p.fillRect(QRectF(0, 0, kCanvas, kCanvas), Qt::white);
  const double big = kLensRadius;
  for (int row = 0; row < 2; ++row)
    for (int column = 0; column < 2; ++column)
      p.fillRect(QRectF(kLensX - big + column * big, kLensY - big + row * big, big, big),
                 BlockColour(column + 2, row + 2));
  p.restore();
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0x26, 0x32, 0x38), kRim));
  p.drawEllipse(QPointF(kLensX, kLensY), kLensRadius, kLensRadius);
  p.setPen(QPen(QColor(0x26, 0x32, 0x38), kHandleWidth, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(kHandleFromX, kHandleFromY), QPointF(kHandleToX, kHandleToY));
}

QString Svg() {
  QString out;
  out += QStringLiteral(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" viewBox=\"0 0 "
             "64 64\">\n"
             "  <defs><clipPath id=\"lens\"><circle cx=\"%1\" cy=\"%2\" "
             "r=\"%3\"/></clipPath></defs>\n")
             .arg(kLensX)
             .arg(kLensY)
             .arg(kLensRadius);
  for (int row = 0; row < kGrid; ++row)
    for (int column = 0; column < kGrid; ++column)
      out += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%3\" fill=\"%4\"/>\n")
                 .arg(kGridOrigin + column * kBlock)
                 .arg(kGridOrigin + row * kBlock)
                 .arg(kBlock)
                 .arg(BlockColour(column, row).name());
  out += QStringLiteral("  <g clip-path=\"url(#lens)\">\n");
  for (int row = 0; row < 2; ++row)
    for (int column = 0; column < 2; ++column)
      out +=
          QStringLiteral("    <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%3\" fill=\"%4\"/>\n")
              .arg(kLensX - kLensRadius + column * kLensRadius)
              .arg(kLensY - kLensRadius + row * kLensRadius)
              .arg(kLensRadius)
              .arg(BlockColour(column + 2, row + 2).name());
  out += QStringLiteral(
             "  </g>\n"
             "  <circle cx=\"%1\" cy=\"%2\" r=\"%3\" fill=\"none\" stroke=\"#263238\" "
             "stroke-width=\"%4\"/>\n"
             "  <line x1=\"%5\" y1=\"%6\" x2=\"%7\" y2=\"%8\" stroke=\"#263238\" "
             "stroke-width=\"%9\" stroke-linecap=\"round\"/>\n"
             "</svg>\n")
             .arg(kLensX)
             .arg(kLensY)
             .arg(kLensRadius)
             .arg(kRim)
             .arg(kHandleFromX)
             .arg(kHandleFromY)
             .arg(kHandleToX)
             .arg(kHandleToY)
             .arg(kHandleWidth);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: zelk_make_icon <folder>\n", stderr);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  for (int size : {16, 32, 48, 64, 128, 256}) {
    const QString dir = QStringLiteral("%1/%2x%2").arg(folder).arg(size);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QPainter painter(&image);
      painter.scale(size / kCanvas, size / kCanvas);
      Draw(painter);
    }
    if (!QDir().mkpath(dir) || !image.save(dir + QStringLiteral("/zelkzoomer.png"), "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(dir));
      return 1;
    }
  }
  QFile svg(folder + QStringLiteral("/zelkzoomer.svg"));
  if (!svg.open(QIODevice::WriteOnly) || svg.write(Svg().toUtf8()) < 0) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(svg.fileName()));
    return 1;
  }
  return 0;
}
