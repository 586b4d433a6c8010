#include "codecs/metafile_reader.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "codecs/emf_player.h"
#include "codecs/metafile_canvas.h"
#include "codecs/metafile_limits.h"
#include "codecs/wmf_player.h"

namespace zelk {
namespace {

constexpr double kOutputDpi = 96.0;
constexpr double kHmmPerInch = 2540.0;
// A plain metafile has no physical size: its window extent counts as pixels, scaled
// down to this many on the longer side, and this size stands in when it sets none.
constexpr int kPlainMaxSide = 4096;
constexpr int kPlainDefaultWidth = 800;
constexpr int kPlainDefaultHeight = 600;

int RoundedSide(double v) {
  if (!(v < 1e12)) throw ImageError("the metafile's picture is too large");
  return static_cast<int>(std::llround(v));
}

void CheckPicture(int width, int height) {
  if (width <= 0 || height <= 0) throw ImageError("the metafile's picture has no size");
  if (std::int64_t{width} * height > kMaxMetafilePicturePixels)
    throw ImageError("the metafile's picture would be " + std::to_string(width) + " x " +
                     std::to_string(height) + " pixels, more than the " +
                     std::to_string(kMaxMetafilePicturePixels >> 20) +
                     " megapixels a metafile may be drawn at");
  CheckImageSize(width, height);
}

void Prepare(Bitmap& out, int width, int height) {
  CheckPicture(width, height);
  out.Reset(width, height);
}

std::int64_t WorkBudget(int width, int height, std::size_t file_bytes) {
  const std::int64_t by_picture = std::int64_t{width} * height * kMetafileWorkPerPixel;
  const std::int64_t by_file = kMinMetafileWork + static_cast<std::int64_t>(std::min<std::size_t>(
                                                      file_bytes, std::size_t{1} << 40)) *
                                                      kMetafileWorkPerByte;
  return std::max(kMinMetafileWork, std::min(by_picture, by_file));
}

// How far to move a drawing along one axis of a picture side pixels long, given
// what its records paint there (lo to hi). Some writers put the drawing off the box
// their own header and window declare (Inkscape 0.91 wrote its WMF 256 units right
// of and below it): when the drawing strays past one edge only and would fit,
// it is centred on the picture, as libwmf frames what is drawn. A drawing that
// overflows both edges, or is larger than the picture, stays as the mapping puts it.
double FramingShift(double lo, double hi, double side) {
  const double tolerance = std::max(2.0, side / 20);
  const bool before = lo<-tolerance, after = hi> side + tolerance;
  if (before == after || hi - lo > side + tolerance) return 0;
  return (side - (hi + lo)) / 2;
}

}  // namespace

void ReadWmf(const std::uint8_t* data, std::size_t size, Bitmap& out) {
  ReadWmfCancellable(data, size, out, nullptr);
}

void ReadEmf(const std::uint8_t* data, std::size_t size, Bitmap& out) {
  ReadEmfCancellable(data, size, out, nullptr);
}

void ReadWmfCancellable(const std::uint8_t* data, std::size_t size, Bitmap& out,
                        const DecodeControl* control) {
  const ByteSpan file(data, size);
  const WmfHeader header = ParseWmfHeader(file);
  DcState initial;
  QTransform device_to_output;
  int width = 0, height = 0;
  if (header.placeable) {
    // The box in logical units at its units per inch, shown at 96 dots per inch; the
    // player maps the window onto the whole picture.
    const double box_w = std::abs(header.right - header.left);
    const double box_h = std::abs(header.bottom - header.top);
    width = RoundedSide(box_w * kOutputDpi / header.units_per_inch);
    height = RoundedSide(box_h * kOutputDpi / header.units_per_inch);
    initial.map_mode = kMmAnisotropic;
    initial.window_org =
        QPointF(std::min(header.left, header.right), std::min(header.top, header.bottom));
    initial.window_ext = QPointF(box_w, box_h);
    initial.viewport_ext = QPointF(width, height);
    CheckPicture(width, height);
    const std::unique_ptr<MetafileCanvas> measure =
        MetafileCanvas::Measuring(device_to_output, QPointF(kOutputDpi / 25.4, kOutputDpi / 25.4),
                                  WorkBudget(width, height, size));
    measure->State() = initial;
    measure->SetControl(control);
    PlayWmf(file, header, *measure);
    const QRectF drawn = measure->PaintedBounds();
    if (!drawn.isNull())
      device_to_output *=
          QTransform::fromTranslate(FramingShift(drawn.left(), drawn.right(), width),
                                    FramingShift(drawn.top(), drawn.bottom(), height));
  } else {
    QPoint origin;
    QSize extent;
    if (FindWmfWindow(file, header, origin, extent) && extent.width() != 0 &&
        extent.height() != 0) {
      const double w = std::abs(extent.width()), h = std::abs(extent.height());
      const double scale = std::min(1.0, kPlainMaxSide / std::max(w, h));
      width = std::max(1, RoundedSide(w * scale));
      height = std::max(1, RoundedSide(h * scale));
      initial.window_org = origin;
      initial.window_ext = QPointF(extent.width(), extent.height());
      initial.viewport_ext = QPointF(w, h);
      device_to_output.scale(width / w, height / h);
    } else {
      width = kPlainDefaultWidth;
      height = kPlainDefaultHeight;
    }
  }
  Prepare(out, width, height);
  MetafileCanvas canvas(out, device_to_output,
                        QPointF(kOutputDpi / 25.4, kOutputDpi / 25.4) / device_to_output.m11(),
                        WorkBudget(width, height, size));
  canvas.State() = initial;
  canvas.SetControl(control);
  PlayWmf(file, header, canvas);
}

void ReadEmfCancellable(const std::uint8_t* data, std::size_t size, Bitmap& out,
                        const DecodeControl* control) {
  const ByteSpan file(data, size);
  const EmfHeader header = ParseEmfHeader(file);
  // Device pixels of the reference device in 0.01 mm; a header without a usable
  // device counts its pixels at 96 dots per inch.
  double hmm_x = kHmmPerInch / kOutputDpi, hmm_y = hmm_x;
  if (header.device_px[0] > 0 && header.device_px[1] > 0 && header.device_hmm[0] > 0 &&
      header.device_hmm[1] > 0) {
    hmm_x = header.device_hmm[0] / header.device_px[0];
    hmm_y = header.device_hmm[1] / header.device_px[1];
  }
  const double frame_w = static_cast<double>(header.frame[2]) - header.frame[0];
  const double frame_h = static_cast<double>(header.frame[3]) - header.frame[1];
  QTransform device_to_output;
  int width = 0, height = 0;
  if (frame_w > 0 && frame_h > 0) {
    // The frame (0.01 mm) at 96 dots per inch.
    const double k = kOutputDpi / kHmmPerInch;
    width = RoundedSide(frame_w * k);
    height = RoundedSide(frame_h * k);
    device_to_output =
        QTransform(hmm_x * k, 0, 0, hmm_y * k, -(header.frame[0] * k), -(header.frame[1] * k));
  } else {
    // No frame: the bounds in device pixels, one output pixel each.
    width = RoundedSide(static_cast<double>(header.bounds[2]) - header.bounds[0] + 1);
    height = RoundedSide(static_cast<double>(header.bounds[3]) - header.bounds[1] + 1);
    // Negated as doubles: the bounds may be the most negative 32-bit value.
    device_to_output = QTransform::fromTranslate(-static_cast<double>(header.bounds[0]),
                                                 -static_cast<double>(header.bounds[1]));
  }
  Prepare(out, width, height);
  MetafileCanvas canvas(out, device_to_output, QPointF(100.0 / hmm_x, 100.0 / hmm_y),
                        WorkBudget(width, height, size));
  canvas.SetControl(control);
  PlayEmf(file, header, canvas);
}

}  // namespace zelk
