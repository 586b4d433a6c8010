#include "codecs/metafile_canvas.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QRawFont>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "codecs/metafile_limits.h"

namespace zelk {
namespace {

// SaveDC beyond this depth is ignored, so a file cannot grow the stack without end.
constexpr std::size_t kMaxSavedStates = 4096;

constexpr std::uint32_t kTaUpdateCp = 1;
constexpr std::uint32_t kTaRight = 2;
constexpr std::uint32_t kTaCenter = 6;
constexpr std::uint32_t kTaBottom = 8;
constexpr std::uint32_t kTaBaseline = 24;
constexpr std::uint32_t kEtoOpaque = 2;
constexpr std::uint32_t kEtoClipped = 4;

double ScaleX(const QTransform& t) {
  return std::hypot(t.m11(), t.m12());
}
double ScaleY(const QTransform& t) {
  return std::hypot(t.m21(), t.m22());
}

// A ternary raster operation on one row of bytes. Bit k of code is the result for
// the pattern, source and destination bits (P << 2 | S << 1 | D) == k. The pattern is
// one colour, so for each bit of it the operation is a function of S and D alone,
// written as b ^ (S & s) ^ (D & d) ^ (S & D & sd) with masks taken from the pattern's
// bits: every operation then costs the same few word operations per eight bytes.
class RopRow {
 public:
  RopRow(std::uint8_t code, const std::uint8_t pattern[3]) {
    // The masks for a pattern bit of 0 and of 1.
    std::uint8_t mb[2], ms[2], md[2], msd[2];
    for (int p = 0; p < 2; ++p) {
      auto f = [&](int sb, int db) { return (code >> (p << 2 | sb << 1 | db)) & 1; };
      const int c0 = f(0, 0), c1 = c0 ^ f(1, 0), c2 = c0 ^ f(0, 1),
                c3 = c0 ^ f(1, 0) ^ f(0, 1) ^ f(1, 1);
      mb[p] = c0 ? 0xFF : 0, ms[p] = c1 ? 0xFF : 0, md[p] = c2 ? 0xFF : 0, msd[p] = c3 ? 0xFF : 0;
    }
    // 24 bytes hold a whole number of 3-byte pixels and of 8-byte words.
    for (int i = 0; i < 24; ++i) {
      const std::uint8_t pat = pattern[i % 3];
      auto pick = [&](const std::uint8_t m[2]) {
        return static_cast<std::uint8_t>((pat & m[1]) | (~pat & m[0]));
      };
      b_[i] = pick(mb), s_[i] = pick(ms), d_[i] = pick(md), sd_[i] = pick(msd);
    }
    uses_source_ = (((code >> 2) ^ code) & 0x33) != 0;  // S is bit 1 of the index
    keeps_destination_ = code == 0xAA;
  }
  bool UsesSource() const { return uses_source_; }
  bool KeepsDestination() const { return keeps_destination_; }

  // bytes from a pixel boundary; s may be null when the operation uses no source.
  void Apply(std::uint8_t* d, const std::uint8_t* s, std::size_t bytes) const {
    std::uint64_t wb[3], ws[3], wd[3], wsd[3];
    std::memcpy(wb, b_, 24), std::memcpy(ws, s_, 24), std::memcpy(wd, d_, 24);
    std::memcpy(wsd, sd_, 24);
    std::size_t i = 0;
    for (int k = 0; i + 8 <= bytes; i += 8, k = k == 2 ? 0 : k + 1) {
      std::uint64_t dv, sv = 0;
      std::memcpy(&dv, d + i, 8);
      if (s != nullptr) std::memcpy(&sv, s + i, 8);
      dv = wb[k] ^ (sv & ws[k]) ^ (dv & wd[k]) ^ (sv & dv & wsd[k]);
      std::memcpy(d + i, &dv, 8);
    }
    for (; i < bytes; ++i) {
      const std::size_t m = i % 24;
      const std::uint8_t sv = s != nullptr ? s[i] : 0;
      d[i] =
          static_cast<std::uint8_t>(b_[m] ^ (sv & s_[m]) ^ (d[i] & d_[m]) ^ (sv & d[i] & sd_[m]));
    }
  }

 private:
  std::uint8_t b_[24], s_[24], d_[24], sd_[24];
  bool uses_source_ = false;
  bool keeps_destination_ = false;
};

double Area(const QRectF& r) {
  return r.isValid() ? r.width() * r.height() : 0.0;
}

// Qt's raster engine turns a clipping region into spans the first time it paints
// through it, and allocates (the rows of the region's bounds) x (its rectangle
// count) spans of 16 bytes at once, counted in int, without checking the
// allocation (QClipData::initialize, Qt 6.4). A clip made from a path of 400 crossing
// curves over 4096 rows has 410,000 rectangles: 27 GB are asked for, malloc fails
// and Qt writes through the null pointer (SEGV at 0x8); past 2^31 spans the count
// wraps, the buffer is too small and the heap is overwritten ("malloc(): invalid
// size"). So no region goes to Qt as such beyond this many spans: the canvas first
// cuts the clip down to what a drawing can reach, and a clip that is still larger goes
// to Qt as a path, which Qt rasterises into the spans it really has.
constexpr std::int64_t kMaxQtRegionSpans = std::int64_t{1} << 20;

// A drawing charged more than this (about 20 ms) is made in bands of rows.
constexpr double kBandWork = 16 << 20;

// The scan converter's work for a path's outline: for every row the square of the
// edges crossing it (see kMetafileScanWorkPerEdgeSquared), over the rows from top to
// bottom. Each flattened edge counts `edges` times and reaches `grow` further up and
// down (a wide pen's outline has two edges along every segment); closed adds the
// edge that closes each figure, as a fill does.
double ScanWork(const QPainterPath& path, double edges, double grow, bool closed, double top,
                double bottom) {
  std::vector<std::pair<double, double>> events;  // row, change of the edges crossing it
  auto add = [&](double y0, double y1) {
    y0 = std::max(y0 - grow, top), y1 = std::min(y1 + grow, bottom);
    if (!(y1 > y0)) return;
    events.emplace_back(y0, edges);
    events.emplace_back(y1, -edges);
  };
  for (const QPolygonF& polygon : path.toSubpathPolygons()) {
    const qsizetype n = polygon.size();
    for (qsizetype i = 0; i + 1 < n || (closed && i < n && n > 2); ++i) {
      const QPointF a = polygon[i], b = polygon[i + 1 < n ? i + 1 : 0];
      add(std::min(a.y(), b.y()), std::max(a.y(), b.y()));
      // A wide pen's join (round by default) spans the pen's width at every corner.
      if (grow > 0) add(a.y(), a.y());
    }
  }
  std::sort(events.begin(), events.end());
  double work = 0, active = 0, last = top;
  for (const auto& [y, change] : events) {
    work += active * active * (y - last);
    active += change, last = y;
  }
  return work * kMetafileScanWorkPerEdgeSquared;
}

// The length (across plus down) of the path's segments within box: a one-pixel pen
// visits every pixel along them, and none outside.
double LengthWithin(const QPainterPath& path, const QRectF& box) {
  if (!box.isValid()) return 0;
  double length = 0;
  for (const QPolygonF& polygon : path.toSubpathPolygons()) {
    for (qsizetype i = 1; i < polygon.size(); ++i) {
      // Liang-Barsky: the part of the segment from a to b inside the box.
      const QPointF a = polygon[i - 1], d = polygon[i] - a;
      double t0 = 0, t1 = 1;
      auto limit = [&](double p, double q) {
        if (p == 0) return q >= 0;
        const double t = q / p;
        if (p < 0)
          t0 = std::max(t0, t);
        else
          t1 = std::min(t1, t);
        return t0 <= t1;
      };
      if (limit(-d.x(), a.x() - box.left()) && limit(d.x(), box.right() - a.x()) &&
          limit(-d.y(), a.y() - box.top()) && limit(d.y(), box.bottom() - a.y()))
        length += (t1 - t0) * (std::abs(d.x()) + std::abs(d.y()));
    }
  }
  return length;
}

// Spans Qt builds for a region: every rectangle once per row it covers.
double RegionSpans(const QRegion& region) {
  double spans = 0;
  for (const QRect& r : region) spans += r.height();
  return spans;
}

bool HasTextSupport() {
  // Fonts need a GUI application; without one, text records are skipped.
  return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

}  // namespace

QColor ColourOf(ColorRef c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

bool ObjectTable::AddToFreeSlot(GdiObject object) {
  for (auto& slot : slots_) {
    if (!slot) {
      slot = std::make_unique<GdiObject>(std::move(object));
      return true;
    }
  }
  return false;
}

bool ObjectTable::Put(std::size_t index, GdiObject object) {
  if (index >= slots_.size()) return false;
  slots_[index] = std::make_unique<GdiObject>(std::move(object));
  return true;
}

const GdiObject* ObjectTable::Get(std::size_t index) const {
  return index < slots_.size() ? slots_[index].get() : nullptr;
}

void ObjectTable::Remove(std::size_t index) {
  if (index < slots_.size()) slots_[index].reset();
}

MetafileCanvas::MetafileCanvas(Bitmap& out, const QTransform& device_to_output,
                               QPointF device_pixels_per_mm, std::int64_t work_budget)
    : out_(out),
      full_(0, 0, out.Width(), out.Height()),
      work_left_(work_budget),
      image_(out.Data(), out.Width(), out.Height(), out.Stride(), QImage::Format_BGR888),
      device_to_output_(device_to_output),
      device_pixels_per_mm_(device_pixels_per_mm) {
  if (image_.isNull()) return;
  painter_.begin(&image_);
  painter_.setRenderHint(QPainter::Antialiasing, false);
  painter_.setRenderHint(QPainter::SmoothPixmapTransform, false);
}

MetafileCanvas::~MetafileCanvas() {
  if (painter_.isActive()) painter_.end();
}

std::unique_ptr<MetafileCanvas> MetafileCanvas::Measuring(const QTransform& device_to_output,
                                                          QPointF device_pixels_per_mm,
                                                          std::int64_t work_budget) {
  static Bitmap nothing;
  auto canvas = std::make_unique<MetafileCanvas>(nothing, device_to_output, device_pixels_per_mm,
                                                 work_budget);
  canvas->measuring_ = true;
  // Far enough for any 16-bit or reasonable 32-bit drawing, small enough for QRegion.
  constexpr int kFar = 1 << 28;
  canvas->full_ = QRect(-kFar, -kFar, 2 * kFar, 2 * kFar);
  return canvas;
}

std::int64_t MetafileCanvas::MaxBitmapPixels() const {
  const std::int64_t picture = std::int64_t{out_.Width()} * out_.Height();
  return std::min(kMaxMetafilePicturePixels,
                  std::max(kMinMetafileBitmapPixels, picture * kMetafileBitmapPerPicturePixel));
}

void MetafileCanvas::CheckCancel() const {
  if (CancelRequested(control_)) throw DecodeCancelled();
}

void MetafileCanvas::Spend(double work) {
  CheckCancel();
  const double w = std::isfinite(work) ? std::max(0.0, work) : 1e18;
  if (w >= static_cast<double>(work_left_)) {
    work_left_ = 0;
    throw MetafileTooCostly(
        "the metafile is too costly to draw: its records would paint its picture far more "
        "often than any drawing needs");
  }
  work_left_ -= static_cast<std::int64_t>(w);
}

QRectF MetafileCanvas::Paintable(const QRectF& box) const {
  QRectF r = box.normalized() & QRectF(full_);
  if (state_.clipped) r &= QRectF(state_.clip.boundingRect());
  return r;
}

void MetafileCanvas::Note(const QRectF& box) {
  const QRectF r = Paintable(box);
  if (r.isValid() && !r.isEmpty()) painted_ = painted_.isNull() ? r : (painted_ | r);
}

void MetafileCanvas::SaveDc() {
  if (saved_.size() < kMaxSavedStates) saved_.push_back(state_);
}

void MetafileCanvas::RestoreDc(int which) {
  // Negative: relative to the newest saved state; positive: the state's level.
  const std::int64_t index = which < 0 ? static_cast<std::int64_t>(saved_.size()) + which
                                       : static_cast<std::int64_t>(which) - 1;
  if (which == 0 || index < 0 || index >= static_cast<std::int64_t>(saved_.size())) return;
  state_ = saved_[static_cast<std::size_t>(index)];
  saved_.resize(static_cast<std::size_t>(index));
}

QTransform MetafileCanvas::LogicalToOutput() const {
  const DcState& s = state_;
  double sx = 1, sy = 1;
  const double px = device_pixels_per_mm_.x(), py = device_pixels_per_mm_.y();
  switch (s.map_mode) {
    case kMmLoMetric:
      sx = px * 0.1, sy = -py * 0.1;
      break;
    case kMmHiMetric:
      sx = px * 0.01, sy = -py * 0.01;
      break;
    case kMmLoEnglish:
      sx = px * 0.254, sy = -py * 0.254;
      break;
    case kMmHiEnglish:
      sx = px * 0.0254, sy = -py * 0.0254;
      break;
    case kMmTwips:
      sx = px * 25.4 / 1440, sy = -py * 25.4 / 1440;
      break;
    case kMmIsotropic:
    case kMmAnisotropic:
      if (s.window_ext.x() != 0 && s.window_ext.y() != 0) {
        sx = s.viewport_ext.x() / s.window_ext.x();
        sy = s.viewport_ext.y() / s.window_ext.y();
      }
      if (s.map_mode == kMmIsotropic) {
        const double m = std::min(std::abs(sx), std::abs(sy));
        sx = std::copysign(m, sx);
        sy = std::copysign(m, sy);
      }
      break;
    default:
      break;
  }
  const QTransform page(sx, 0, 0, sy, s.viewport_org.x() - s.window_org.x() * sx,
                        s.viewport_org.y() - s.window_org.y() * sy);
  return s.world * page * device_to_output_;
}

QRect MetafileCanvas::OutputBox(double l, double t, double r, double b) const {
  const QRectF box = LogicalToOutput().mapRect(QRectF(QPointF(l, t), QPointF(r, b)).normalized());
  const int x0 = static_cast<int>(std::lround(std::clamp(box.left(), -1e9, 1e9)));
  const int y0 = static_cast<int>(std::lround(std::clamp(box.top(), -1e9, 1e9)));
  const int x1 = static_cast<int>(std::lround(std::clamp(box.right(), -1e9, 1e9)));
  const int y1 = static_cast<int>(std::lround(std::clamp(box.bottom(), -1e9, 1e9)));
  return QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1));
}

void MetafileCanvas::PreparePainter(const QRectF& reach) {
  painter_.setTransform(QTransform());
  if (!state_.clipped) {
    painter_.setClipping(false);
    return;
  }
  if (state_.clip.rectCount() <= 1) {
    painter_.setClipRegion(state_.clip);
    return;
  }
  // Only the part of the clip the drawing can reach (with a pixel to spare) matters;
  // Qt builds its spans, so they are charged like pixels.
  const QRect near = reach.toAlignedRect().adjusted(-2, -2, 2, 2) & full_;
  const QRegion clip = state_.clip & near;
  Spend(static_cast<double>(state_.clip.rectCount()) + RegionSpans(clip));
  const std::int64_t spans = std::int64_t{clip.boundingRect().height()} * clip.rectCount();
  if (clip.rectCount() <= 1 || spans <= kMaxQtRegionSpans) {
    painter_.setClipRegion(clip);
    return;
  }
  QPainterPath path;
  path.addRegion(clip);
  painter_.setClipPath(path);
}

QPen MetafileCanvas::MakePen() const {
  const std::uint32_t style = state_.pen.style;
  if ((style & 0xF) == 5) return QPen(Qt::NoPen);
  QPen pen(ColourOf(state_.pen.colour));
  const QTransform t = LogicalToOutput();
  const double width = state_.pen.width * std::sqrt(std::abs(t.determinant()));
  pen.setWidthF(width <= 1.5 ? 0 : width);  // 0: one pixel, as a cosmetic pen
  switch (style & 0xF) {
    case 1:
      pen.setStyle(Qt::DashLine);
      break;
    case 2:
      pen.setStyle(Qt::DotLine);
      break;
    case 3:
      pen.setStyle(Qt::DashDotLine);
      break;
    case 4:
      pen.setStyle(Qt::DashDotDotLine);
      break;
    default:
      pen.setStyle(Qt::SolidLine);
      break;
  }
  switch (style & 0xF00) {
    case 0x100:
      pen.setCapStyle(Qt::SquareCap);
      break;
    case 0x200:
      pen.setCapStyle(Qt::FlatCap);
      break;
    default:
      pen.setCapStyle(Qt::RoundCap);
      break;
  }
  switch (style & 0xF000) {
    case 0x1000:
      pen.setJoinStyle(Qt::BevelJoin);
      break;
    case 0x2000:
      pen.setJoinStyle(Qt::MiterJoin);
      break;
    default:
      pen.setJoinStyle(Qt::RoundJoin);
      break;
  }
  return pen;
}

bool MetafileCanvas::PrepareBrush(QBrush& brush) const {
  const GdiBrush& b = state_.brush;
  switch (b.style) {
    case 1:
      return false;  // BS_NULL
    case 2: {
      static constexpr Qt::BrushStyle kHatches[] = {Qt::HorPattern,   Qt::VerPattern,
                                                    Qt::FDiagPattern, Qt::BDiagPattern,
                                                    Qt::CrossPattern, Qt::DiagCrossPattern};
      brush = QBrush(ColourOf(b.colour), b.hatch < 6 ? kHatches[b.hatch] : Qt::SolidPattern);
      return true;
    }
    case 3:
    case 5:
    case 6:
      if (b.pattern && !b.pattern->isNull()) {
        brush = QBrush(*b.pattern);
        return true;
      }
      [[fallthrough]];
    default:
      brush = QBrush(ColourOf(b.colour));
      return true;
  }
}

void MetafileCanvas::DrawOutput(const QPainterPath& output_path, bool stroke, bool fill) {
  // Coordinates this far outside the picture come only from damaged files, and the
  // rasteriser's fixed-point arithmetic cannot take them.
  const QRectF bounds = output_path.controlPointRect();
  constexpr double kFar = 1 << 24;
  if (!std::isfinite(bounds.left()) || !std::isfinite(bounds.right()) ||
      !std::isfinite(bounds.top()) || !std::isfinite(bounds.bottom()) || bounds.left() < -kFar ||
      bounds.top() < -kFar || bounds.right() > kFar || bounds.bottom() > kFar)
    return;
  QBrush brush;
  const bool fills = fill && PrepareBrush(brush);
  const QPen pen = stroke ? MakePen() : QPen(Qt::NoPen);
  const bool strokes = pen.style() != Qt::NoPen;
  if (!fills && !strokes) return;
  if (measuring_) {
    // The geometry alone: a pen straddling the picture's edge is no sign of a
    // drawing off its box.
    Note(output_path.boundingRect());
    return;
  }
  const double pen_width = std::max(1.0, pen.widthF());
  const double half_pen = strokes ? pen_width / 2 : 0;
  const QRectF reach = bounds.adjusted(-half_pen, -half_pen, half_pen, half_pen);
  // The rasteriser's work: every element of the path; the rows and spans of the
  // filled box and the scan of its edges; for a one-pixel pen every pixel of the
  // outline, for a wider one the pixels it covers and the scan of the outline the
  // stroke becomes (two edges along each segment and the joins).
  double work = output_path.elementCount();
  const QRectF rows = Paintable(reach);
  if (fills) {
    work += Area(Paintable(bounds));
    if (rows.isValid()) work += ScanWork(output_path, 1, 0, true, rows.top(), rows.bottom());
  }
  if (strokes) {
    const double length = LengthWithin(output_path, rows.adjusted(-1, -1, 1, 1));
    if (pen.widthF() == 0) {
      work += length * kMetafileThinLineWorkPerPixel;
    } else {
      work += std::min(Area(rows), length * pen_width);
      if (rows.isValid())
        work += ScanWork(output_path, 2, half_pen, false, rows.top(), rows.bottom());
    }
  }
  Spend(work);
  // Miter joins reach up to a pen's width past the outline.
  const QRectF touched =
      bounds.adjusted(-2 * half_pen, -2 * half_pen, 2 * half_pen, 2 * half_pen) & QRectF(full_);
  QPainterPath path = output_path;
  path.setFillRule(state_.poly_fill_mode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
  // A costly drawing is made in bands of rows, so that a cancel is noticed between
  // them: the rasteriser decides each pixel by its centre, clipped or not, so the
  // bands join seamlessly. One-pixel lines are drawn whole (their stepping starts
  // where a clip cuts them).
  const bool thin = strokes && pen.widthF() == 0;
  const int bands =
      touched.isValid() ? static_cast<int>(std::clamp(work / kBandWork, 1.0, 64.0)) : 1;
  const QRect rows_touched = touched.toAlignedRect();
  for (int i = 0; i < bands; ++i) {
    QRect band = rows_touched;
    if (bands > 1) {
      CheckCancel();
      const int h = rows_touched.height();
      band.setTop(rows_touched.top() + static_cast<int>(std::int64_t{h} * i / bands));
      band.setBottom(rows_touched.top() + static_cast<int>(std::int64_t{h} * (i + 1) / bands) - 1);
      if (band.isEmpty()) continue;
      PreparePainter(QRectF(band));
      painter_.setClipRect(band, Qt::IntersectClip);
    } else {
      PreparePainter(touched);
    }
    if (fills) {
      if (state_.brush.style == 2 && state_.bk_mode == 2)
        painter_.fillPath(path, ColourOf(state_.bk_colour));
      painter_.fillPath(path, brush);
    }
    if (strokes && !thin) painter_.strokePath(path, pen);
  }
  if (thin) {
    if (bands > 1) PreparePainter(touched);
    painter_.strokePath(path, pen);
  }
}

void MetafileCanvas::Emit(const QPainterPath& logical_path, bool stroke, bool fill) {
  const QPainterPath output = LogicalToOutput().map(logical_path);
  if (path_open_) {
    path_.addPath(output);
    return;
  }
  DrawOutput(output, stroke, fill);
}

void MetafileCanvas::SetPixel(QPointF p, ColorRef colour) {
  const QPointF o = LogicalToOutput().map(p);
  if (measuring_) {
    if (std::isfinite(o.x()) && std::isfinite(o.y())) Note(QRectF(o, QSizeF(1, 1)));
    return;
  }
  // Checked before converting: a point far off the picture (or NaN) has no int.
  const double fx = std::floor(o.x()), fy = std::floor(o.y());
  if (!(fx >= 0 && fy >= 0 && fx < out_.Width() && fy < out_.Height())) return;
  const int x = static_cast<int>(fx), y = static_cast<int>(fy);
  if (state_.clipped && !state_.clip.contains(QPoint(x, y))) return;
  out_.SetPixelRgb(x, y, ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF));
}

void MetafileCanvas::LineTo(QPointF p) {
  PolylineTo(QPolygonF{p});
}

void MetafileCanvas::PolylineTo(const QPolygonF& points) {
  if (points.isEmpty()) return;
  QPolygonF line;
  line.reserve(points.size() + 1);
  line << state_.position << points;
  state_.position = points.back();
  if (path_open_) {
    // Within a path the segments continue the current figure.
    const QTransform t = LogicalToOutput();
    const QPointF start = t.map(line.front());
    if (path_.elementCount() == 0 || path_.currentPosition() != start) path_.moveTo(start);
    for (qsizetype i = 1; i < line.size(); ++i) path_.lineTo(t.map(line[i]));
    return;
  }
  QPainterPath path;
  path.addPolygon(line);
  Emit(path, true, false);
}

void MetafileCanvas::Polyline(const QPolygonF& points) {
  if (points.size() < 2) return;
  QPainterPath path;
  path.addPolygon(points);
  Emit(path, true, false);
}

void MetafileCanvas::PolyPolyline(const std::vector<QPolygonF>& polylines) {
  QPainterPath path;
  for (const QPolygonF& line : polylines)
    if (line.size() >= 2) path.addPolygon(line);
  Emit(path, true, false);
}

void MetafileCanvas::PolyBezier(const QPolygonF& points, bool from_current_position) {
  QPolygonF all;
  if (from_current_position) all << state_.position;
  all << points;
  if (all.size() < 4) return;
  const QTransform t = LogicalToOutput();
  QPainterPath path;
  const QPointF start = from_current_position ? t.map(all.front()) : QPointF();
  if (path_open_ && from_current_position && path_.elementCount() > 0 &&
      path_.currentPosition() == start) {
    for (qsizetype i = 1; i + 2 < all.size(); i += 3)
      path_.cubicTo(t.map(all[i]), t.map(all[i + 1]), t.map(all[i + 2]));
  } else {
    path.moveTo(all.front());
    for (qsizetype i = 1; i + 2 < all.size(); i += 3) path.cubicTo(all[i], all[i + 1], all[i + 2]);
    Emit(path, true, false);
  }
  if (from_current_position) state_.position = all[1 + (all.size() - 1) / 3 * 3 - 1];
}

void MetafileCanvas::Polygon(const QPolygonF& points) {
  if (points.size() < 2) return;
  QPainterPath path;
  path.addPolygon(points);
  path.closeSubpath();
  Emit(path, true, true);
}

void MetafileCanvas::PolyPolygon(const std::vector<QPolygonF>& polygons) {
  QPainterPath path;
  for (const QPolygonF& polygon : polygons) {
    if (polygon.size() < 2) continue;
    path.addPolygon(polygon);
    path.closeSubpath();
  }
  Emit(path, true, true);
}

void MetafileCanvas::Rectangle(double l, double t, double r, double b) {
  QPainterPath path;
  path.addRect(QRectF(QPointF(l, t), QPointF(r, b)).normalized());
  Emit(path, true, true);
}

void MetafileCanvas::RoundRect(double l, double t, double r, double b, double corner_w,
                               double corner_h) {
  QPainterPath path;
  path.addRoundedRect(QRectF(QPointF(l, t), QPointF(r, b)).normalized(), std::abs(corner_w) / 2,
                      std::abs(corner_h) / 2);
  Emit(path, true, true);
}

void MetafileCanvas::Ellipse(double l, double t, double r, double b) {
  QPainterPath path;
  path.addEllipse(QRectF(QPointF(l, t), QPointF(r, b)).normalized());
  Emit(path, true, true);
}

void MetafileCanvas::ArcShape(ArcKind kind, double l, double t, double r, double b, QPointF start,
                              QPointF end) {
  const QRectF box = QRectF(QPointF(l, t), QPointF(r, b)).normalized();
  if (box.width() <= 0 || box.height() <= 0) return;
  const QPointF c = box.center();
  const double rx = box.width() / 2, ry = box.height() / 2;
  // Angles of the rays through start and end, on the ellipse's own parameter, with
  // counter-clockwise positive as seen with y growing downwards.
  auto angle = [&](QPointF p) {
    return std::atan2(-(p.y() - c.y()) / ry, (p.x() - c.x()) / rx) * 180.0 / M_PI;
  };
  const double a0 = angle(start), a1 = angle(end);
  double sweep = std::fmod(a1 - a0 + 720.0, 360.0);
  if (sweep == 0) sweep = 360;
  if (state_.arc_clockwise) sweep -= 360;
  QPainterPath path;
  if (kind == ArcKind::kArcTo) {
    path.moveTo(state_.position);
    QPainterPath arc;
    arc.arcMoveTo(box, a0);
    path.lineTo(arc.currentPosition());
    path.arcTo(box, a0, sweep);
    state_.position = path.currentPosition();
    EmitConnected(path);
    return;
  }
  if (kind == ArcKind::kPie) {
    path.moveTo(c);
    path.arcTo(box, a0, sweep);
    path.closeSubpath();
  } else {
    path.arcMoveTo(box, a0);
    path.arcTo(box, a0, sweep);
    if (kind == ArcKind::kChord) path.closeSubpath();
  }
  Emit(path, true, kind != ArcKind::kArc);
}

void MetafileCanvas::EmitConnected(const QPainterPath& logical_path) {
  if (path_open_) {
    const QPainterPath output = LogicalToOutput().map(logical_path);
    if (path_.elementCount() == 0)
      path_.addPath(output);
    else
      path_.connectPath(output);
    return;
  }
  Emit(logical_path, true, false);
}

void MetafileCanvas::AngleArc(QPointF centre, double radius, double start_angle,
                              double sweep_angle) {
  if (!std::isfinite(start_angle) || !std::isfinite(sweep_angle) || !(radius > 0)) return;
  // Past one turn the arc only repeats itself.
  sweep_angle = std::clamp(sweep_angle, -720.0, 720.0);
  const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  QPainterPath path;
  path.moveTo(state_.position);
  QPainterPath arc;
  arc.arcMoveTo(box, start_angle);
  path.lineTo(arc.currentPosition());
  path.arcTo(box, start_angle, sweep_angle);
  state_.position = path.currentPosition();
  EmitConnected(path);
}

void MetafileCanvas::PolyDraw(const QPolygonF& points, const std::vector<std::uint8_t>& types) {
  QPainterPath path;
  path.moveTo(state_.position);
  for (std::size_t i = 0; i < types.size() && i < static_cast<std::size_t>(points.size()); ++i) {
    const QPointF p = points[static_cast<qsizetype>(i)];
    switch (types[i] & 6) {
      case 6:
        path.moveTo(p);
        break;
      case 4:
        // A Bézier takes three points; a damaged run of fewer ends the drawing.
        if (i + 2 >= types.size() || i + 2 >= static_cast<std::size_t>(points.size())) {
          i = types.size();
          continue;
        }
        path.cubicTo(p, points[static_cast<qsizetype>(i) + 1],
                     points[static_cast<qsizetype>(i) + 2]);
        i += 2;
        break;
      default:
        path.lineTo(p);
        break;
    }
    if ((types[std::min(i, types.size() - 1)] & 1) != 0) path.closeSubpath();
  }
  state_.position = path.currentPosition();
  EmitConnected(path);
}

QRegion MetafileCanvas::OutputRegion(const std::vector<QRectF>& rects) {
  if (rects.size() > kMaxRegionRects) throw ImageError("a region has too many rectangles");
  std::vector<QRect> boxes;
  boxes.reserve(rects.size());
  for (const QRectF& r : rects)
    boxes.push_back(OutputBox(r.left(), r.top(), r.right(), r.bottom()));
  return RegionOf(std::move(boxes));
}

QRegion MetafileCanvas::RegionOf(std::vector<QRect> rects) {
  if (rects.size() > kMaxRegionRects) throw ImageError("a region has too many rectangles");
  std::erase_if(rects, [&](QRect& r) {
    r &= full_;
    return r.isEmpty();
  });
  bool banded = true;
  for (std::size_t i = 1; i < rects.size() && banded; ++i) {
    const QRect &a = rects[i - 1], &b = rects[i];
    banded = b.top() > a.bottom() ||
             (b.top() == a.top() && b.height() == a.height() && b.left() > a.right());
  }
  const double n = static_cast<double>(rects.size());
  Spend(banded ? n : n * n * 4);
  QRegion region;
  for (const QRect& r : rects) region |= r;
  return region;
}

void MetafileCanvas::PaintRegion(const QRegion& region, const GdiBrush& brush) {
  if (measuring_) {
    Note(region.boundingRect());
    return;
  }
  QRegion area = region;
  if (state_.clipped) area &= state_.clip;
  double pixels = 0;
  for (const QRect& r : area) pixels += static_cast<double>(r.width()) * r.height();
  Spend(pixels);
  const GdiBrush current = state_.brush;
  state_.brush = brush;
  QBrush qbrush;
  const bool paints = PrepareBrush(qbrush);
  state_.brush = current;
  if (!paints) return;
  // The area is clipped already.
  painter_.setTransform(QTransform());
  painter_.setClipping(false);
  for (const QRect& r : area) painter_.fillRect(r, qbrush);
}

void MetafileCanvas::FillRegion(const std::vector<QRectF>& rects, const GdiBrush& brush) {
  PaintRegion(OutputRegion(rects), brush);
}

void MetafileCanvas::FrameRegion(const std::vector<QRectF>& rects, const GdiBrush& brush, double w,
                                 double h) {
  const QRegion region = OutputRegion(rects);
  const QTransform t = LogicalToOutput();
  const int dx = std::clamp(static_cast<int>(std::lround(std::abs(w * ScaleX(t)))), 1, 1 << 16);
  const int dy = std::clamp(static_cast<int>(std::lround(std::abs(h * ScaleY(t)))), 1, 1 << 16);
  // What stays inside when the region is moved by the frame's width each way.
  const QRegion inner = region & region.translated(dx, 0) & region.translated(-dx, 0) &
                        region.translated(0, dy) & region.translated(0, -dy);
  PaintRegion(region - inner, brush);
}

void MetafileCanvas::InvertRegion(const std::vector<QRectF>& rects) {
  QRegion area = OutputRegion(rects);
  if (measuring_) {
    Note(area.boundingRect());
    return;
  }
  if (state_.clipped) area &= state_.clip;
  double pixels = 0;
  for (const QRect& r : area) pixels += static_cast<double>(r.width()) * r.height();
  Spend(pixels);
  const std::uint8_t none[3] = {0, 0, 0};
  const RopRow invert(0x55, none);
  for (const QRect& r : area)
    for (int y = r.top(); y <= r.bottom(); ++y)
      invert.Apply(out_.Row(y) + static_cast<std::ptrdiff_t>(r.left()) * 3, nullptr,
                   static_cast<std::size_t>(r.width()) * 3);
}

void MetafileCanvas::FillBox(double l, double t, double r, double b, std::int64_t fill_colour) {
  const QRect box = OutputBox(l, t, r, b);
  if (measuring_) {
    Note(box);
    return;
  }
  Spend(Area(Paintable(box)));
  PreparePainter(box);
  if (fill_colour >= 0) {
    painter_.fillRect(box, ColourOf(static_cast<ColorRef>(fill_colour)));
    return;
  }
  QBrush brush;
  if (PrepareBrush(brush)) painter_.fillRect(box, brush);
}

void MetafileCanvas::Text(const TextRun& run) {
  if (!HasTextSupport()) return;
  const QTransform t = LogicalToOutput();
  const double sx = ScaleX(t), sy = ScaleY(t);
  const bool opaque_box = run.has_rect && (run.options & kEtoOpaque) != 0;
  const QRect rect_box =
      run.has_rect ? OutputBox(run.rect.left(), run.rect.top(), run.rect.right(), run.rect.bottom())
                   : QRect();
  if (opaque_box) {
    if (measuring_) {
      Note(rect_box);
    } else {
      Spend(Area(Paintable(rect_box)));
      PreparePainter(rect_box);
      painter_.fillRect(rect_box, ColourOf(state_.bk_colour));
    }
  }
  const std::size_t count =
      run.glyphs.empty() ? static_cast<std::size_t>(run.text.size()) : run.glyphs.size();
  if (count == 0) return;

  const GdiFont& f = state_.font;
  QFont font(f.face.isEmpty() ? QStringLiteral("Sans Serif") : f.face);
  double pixels = std::abs(f.height) * sy;
  if (pixels < 1) pixels = f.height == 0 ? 16 : 1;
  pixels = std::min(pixels, 4096.0);
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
  if (f.height > 0) {
    // A positive height is the cell height, ascent plus descent.
    const double cell = QFontMetricsF(font).height();
    if (cell > 0)
      font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels * pixels / cell))));
  }
  font.setWeight(static_cast<QFont::Weight>(std::clamp(f.weight == 0 ? 400 : f.weight, 1, 1000)));
  font.setItalic(f.italic);
  font.setUnderline(f.underline);
  font.setStrikeOut(f.strikeout);
  const QFontMetricsF metrics(font);

  const bool update_cp = (state_.text_align & kTaUpdateCp) != 0;
  const QPointF reference = update_cp ? state_.position : run.reference;
  double width = 0;
  if (!run.dx.empty()) {
    for (double d : run.dx) width += d * sx;
  } else if (run.glyphs.empty()) {
    width = metrics.horizontalAdvance(run.text);
  }
  double x = 0, y = 0;
  const std::uint32_t horizontal = state_.text_align & kTaCenter;
  if (horizontal == kTaCenter)
    x = -width / 2;
  else if (horizontal == kTaRight)
    x = -width;
  const std::uint32_t vertical = state_.text_align & kTaBaseline;
  if (vertical == kTaBaseline)
    y = 0;
  else if (vertical == kTaBottom)
    y = -metrics.descent();
  else
    y = metrics.ascent();
  if (update_cp && sx > 0) {
    const double logical = width / sx;
    state_.position = reference + QPointF(horizontal == kTaRight ? -logical : logical, 0);
  }

  const QPointF anchor = t.map(reference);
  if (!std::isfinite(anchor.x()) || !std::isfinite(anchor.y()) || std::abs(anchor.x()) > 1e7 ||
      std::abs(anchor.y()) > 1e7)
    return;
  QTransform placement;
  placement.translate(anchor.x(), anchor.y());
  placement.rotate(-f.escapement / 10.0);
  const QRectF line(x, y - metrics.ascent(), width, metrics.height());
  if (measuring_) {
    Note(placement.mapRect(line));
    return;
  }

  // Each glyph is laid out and scanned whether it shows or not, at a cost that
  // grows with its size; where it shows, its box (one em wide) within the output
  // and the clip is filled as well.
  const double em = std::max(1.0, static_cast<double>(font.pixelSize()));
  const double per_glyph = em * kMetafileGlyphWorkPerPixel;
  double work = Area(Paintable(placement.mapRect(line)));
  if (run.dx.empty()) {
    work += static_cast<double>(count) * per_glyph;
  } else {
    double advance = 0;
    for (std::size_t i = 0; i < count; ++i) {
      work += per_glyph +
              Area(Paintable(placement.mapRect(QRectF(x + advance, y - metrics.ascent(), em, em))));
      if (i < run.dx.size()) advance += run.dx[i] * sx;
    }
  }
  Spend(work);

  // Glyphs without advances may spread past the line's box: the whole picture.
  PreparePainter(QRectF(full_));
  if (run.has_rect && (run.options & kEtoClipped) != 0)
    painter_.setClipRect(rect_box, state_.clipped ? Qt::IntersectClip : Qt::ReplaceClip);
  painter_.setTransform(placement);
  if (state_.bk_mode == 2) painter_.fillRect(line, ColourOf(state_.bk_colour));
  painter_.setFont(font);
  painter_.setPen(ColourOf(state_.text_colour));
  DrawRun(run, font, QPointF(x, y), sx);
}

void MetafileCanvas::DrawRun(const TextRun& run, const QFont& font, QPointF origin, double sx) {
  // Text is filled as outlines, not through Qt's glyph cache: that cache keeps an image
  // of every glyph drawn for as long as the font lives, and a record of thousands of
  // different characters grows it by hundreds of megabytes.
  const QColor colour = ColourOf(state_.text_colour);
  painter_.setRenderHint(QPainter::Antialiasing, true);
  struct Restore {
    QPainter& painter;
    ~Restore() { painter.setRenderHint(QPainter::Antialiasing, false); }
  } restore{painter_};
  auto laid_out_by_qt = [&] {
    QPainterPath outline;
    outline.addText(origin, font, run.text);
    painter_.fillPath(outline, colour);
  };
  if (run.glyphs.empty() && run.dx.empty()) {
    laid_out_by_qt();
    return;
  }
  // Glyphs at the record's own advances.
  const QRawFont raw = QRawFont::fromFont(font);
  if (!raw.isValid()) return;
  QList<quint32> glyphs;
  if (run.glyphs.empty()) {
    glyphs = raw.glyphIndexesForString(run.text);
    if (glyphs.size() != run.text.size() || glyphs.contains(0)) {
      // Characters outside the basic plane pair up into one glyph, and characters the
      // font lacks need another font: the text is laid out by Qt, with font fallback,
      // as a whole (the record's advances are then not followed).
      laid_out_by_qt();
      return;
    }
  } else {
    // Glyph indices belong to the font the producer used: drawn only when that very
    // font is here, skipped otherwise (another font's glyphs would be nonsense).
    if (raw.familyName().compare(font.family(), Qt::CaseInsensitive) != 0) return;
    glyphs.reserve(static_cast<qsizetype>(run.glyphs.size()));
    for (std::uint32_t g : run.glyphs) glyphs.append(g);
  }
  std::vector<double> positions;
  positions.reserve(static_cast<std::size_t>(glyphs.size()));
  const QList<QPointF> natural = raw.advancesForGlyphIndexes(glyphs);
  double advance = 0;
  for (qsizetype i = 0; i < glyphs.size(); ++i) {
    positions.push_back(advance);
    const std::size_t k = static_cast<std::size_t>(i);
    advance += run.dx.empty() ? natural[i].x() : k < run.dx.size() ? run.dx[k] * sx : 0;
  }
  // Glyphs that cannot show are left out, and glyphs that a spacing array piles onto
  // each other are filled one outline at a time: the rasteriser's cost for one
  // outline grows far faster than its parts when large glyphs overlap.
  const QTransform placement = painter_.transform();
  const double em = std::max(1.0, raw.pixelSize());
  QPainterPath outline;
  double last = 0;
  bool any = false;
  for (qsizetype i = 0; i < glyphs.size(); ++i) {
    const double x = origin.x() + positions[static_cast<std::size_t>(i)];
    const QRectF box(x - em, origin.y() - 2 * em, 3 * em, 3 * em);
    const QRectF visible = Paintable(placement.mapRect(box));
    if (!visible.isValid() || visible.isEmpty()) continue;
    if (any && std::abs(x - last) < 0.75 * natural[i - 1].x()) {
      painter_.fillPath(outline, colour);
      outline = QPainterPath();
    }
    QPainterPath glyph = raw.pathForGlyph(glyphs[i]);
    glyph.translate(x, origin.y());
    outline.addPath(glyph);
    last = x, any = true;
  }
  // Underline and strike-out span the whole run.
  const QFontMetricsF metrics(font);
  const double line = std::max(1.0, metrics.lineWidth());
  if (font.underline())
    outline.addRect(QRectF(origin.x(), origin.y() + metrics.underlinePos(), advance, line));
  if (font.strikeOut())
    outline.addRect(QRectF(origin.x(), origin.y() - metrics.strikeOutPos(), advance, line));
  painter_.fillPath(outline, colour);
}

void MetafileCanvas::Blit(double x, double y, double w, double h, const Bitmap* src,
                          std::int64_t src_x, std::int64_t src_y, std::int64_t sw, std::int64_t sh,
                          std::uint32_t rop) {
  // The brush's colour as blue, green, red bytes; a null brush counts as white.
  std::uint8_t pattern[3] = {0xFF, 0xFF, 0xFF};
  if (state_.brush.style != 1) {
    pattern[0] = static_cast<std::uint8_t>(state_.brush.colour >> 16);
    pattern[1] = static_cast<std::uint8_t>(state_.brush.colour >> 8);
    pattern[2] = static_cast<std::uint8_t>(state_.brush.colour);
  }
  const RopRow op(static_cast<std::uint8_t>(rop >> 16), pattern);
  if (op.KeepsDestination()) return;
  if (!op.UsesSource()) src = nullptr;
  if (src != nullptr && src->Empty()) return;
  const QTransform t = LogicalToOutput();
  if (t.m12() != 0 || t.m21() != 0) {
    // Rotated or sheared: only a plain copy is drawn, through QPainter.
    if (src == nullptr || (rop >> 16) != 0xCC) return;
    const QRectF box = t.mapRect(QRectF(x, y, w, h));
    if (measuring_) {
      Note(box);
      return;
    }
    Spend(Area(Paintable(box)));
    const QImage image(src->Data(), src->Width(), src->Height(), src->Stride(),
                       QImage::Format_BGR888);
    PreparePainter(box.adjusted(-1, -1, 1, 1));
    painter_.setTransform(t);
    painter_.drawImage(QRectF(x, y, w, h), image,
                       QRectF(static_cast<double>(src_x), static_cast<double>(src_y),
                              static_cast<double>(sw), static_cast<double>(sh)));
    return;
  }
  const QPointF a = t.map(QPointF(x, y)), b = t.map(QPointF(x + w, y + h));
  auto round = [](double v) {
    return static_cast<std::int64_t>(std::llround(std::clamp(v, -4e9, 4e9)));
  };
  std::int64_t ox0 = round(a.x()), ox1 = round(b.x()), oy0 = round(a.y()), oy1 = round(b.y());
  const bool mirror_x = (ox1 < ox0) != (sw < 0);
  const bool mirror_y = (oy1 < oy0) != (sh < 0);
  if (ox1 < ox0) std::swap(ox0, ox1);
  if (oy1 < oy0) std::swap(oy0, oy1);
  const std::int64_t n = ox1 - ox0, m_rows = oy1 - oy0;
  const std::int64_t mw = std::abs(sw), mh = std::abs(sh);
  const std::int64_t sx0 = sw < 0 ? src_x + sw : src_x;
  const std::int64_t sy0 = sh < 0 ? src_y + sh : src_y;
  if (n == 0 || m_rows == 0 || (src != nullptr && (mw == 0 || mh == 0))) return;
  if (measuring_) {
    Note(QRectF(static_cast<double>(ox0), static_cast<double>(oy0), static_cast<double>(n),
                static_cast<double>(m_rows)));
    return;
  }

  // Centre sampling: destination pixel i of a span of n takes source pixel
  // floor((2i + 1) * m / (2n)), so equal sizes copy 1:1 and nothing is smoothed. The
  // mapping is monotonic, so the pixels with a source inside the bitmap form one
  // range per axis.
  auto source_index = [](std::int64_t i, std::int64_t span, std::int64_t count, bool mirror) {
    const std::int64_t s = (2 * i + 1) * count / (2 * span);
    return mirror ? count - 1 - s : s;
  };
  QRect dest(QPoint(static_cast<int>(std::clamp<std::int64_t>(ox0, -1, out_.Width())),
                    static_cast<int>(std::clamp<std::int64_t>(oy0, -1, out_.Height()))),
             QPoint(static_cast<int>(std::clamp<std::int64_t>(ox1, 0, out_.Width() + 1)) - 1,
                    static_cast<int>(std::clamp<std::int64_t>(oy1, 0, out_.Height() + 1)) - 1));
  dest &= full_;
  if (dest.isEmpty()) return;
  std::vector<std::int64_t> column;  // source x of each destination column of dest
  if (src != nullptr) {
    column.resize(static_cast<std::size_t>(dest.width()));
    int first = dest.right() + 1, last = dest.left() - 1;
    for (int ox = dest.left(); ox <= dest.right(); ++ox) {
      const std::int64_t sx = sx0 + source_index(ox - ox0, n, mw, mirror_x);
      column[static_cast<std::size_t>(ox - dest.left())] = sx;
      if (sx >= 0 && sx < src->Width()) first = std::min(first, ox), last = std::max(last, ox);
    }
    if (first > last) return;
    column.erase(column.begin(), column.begin() + (first - dest.left()));
    column.resize(static_cast<std::size_t>(last - first) + 1);
    dest.setLeft(first), dest.setRight(last);
  }
  QRegion area(dest);
  if (state_.clipped) area &= state_.clip;
  double pixels = 0;
  for (const QRect& r : area) pixels += static_cast<double>(r.width()) * r.height();
  Spend(pixels);

  // Source pixels of one destination row, gathered unless they can be read in place.
  std::vector<std::uint8_t> gathered;
  const bool in_place = src != nullptr && n == mw && !mirror_x;
  if (src != nullptr && !in_place) gathered.resize(static_cast<std::size_t>(dest.width()) * 3);
  for (const QRect& r : area) {
    const std::size_t offset = static_cast<std::size_t>(r.left() - dest.left());
    const std::size_t bytes = static_cast<std::size_t>(r.width()) * 3;
    for (int oy = r.top(); oy <= r.bottom(); ++oy) {
      const std::uint8_t* s = nullptr;
      if (src != nullptr) {
        const std::int64_t sy = sy0 + source_index(oy - oy0, m_rows, mh, mirror_y);
        if (sy < 0 || sy >= src->Height()) continue;
        const std::uint8_t* srow = src->Row(static_cast<int>(sy));
        if (in_place) {
          s = srow + column[offset] * 3;
        } else {
          std::uint8_t* g = gathered.data();
          for (std::size_t i = 0; i < static_cast<std::size_t>(r.width()); ++i, g += 3) {
            const std::uint8_t* sp = srow + column[offset + i] * 3;
            g[0] = sp[0], g[1] = sp[1], g[2] = sp[2];
          }
          s = gathered.data();
        }
      }
      op.Apply(out_.Row(oy) + static_cast<std::ptrdiff_t>(r.left()) * 3, s, bytes);
    }
  }
}

void MetafileCanvas::BeginPath() {
  path_ = QPainterPath();
  path_open_ = true;
}

void MetafileCanvas::AbortPath() {
  path_ = QPainterPath();
  path_open_ = false;
}

void MetafileCanvas::CloseFigure() {
  if (path_open_) path_.closeSubpath();
}

void MetafileCanvas::FillPath() {
  DrawOutput(path_, false, true);
  path_ = QPainterPath();
}

void MetafileCanvas::StrokePath() {
  DrawOutput(path_, true, false);
  path_ = QPainterPath();
}

void MetafileCanvas::StrokeAndFillPath() {
  DrawOutput(path_, true, true);
  path_ = QPainterPath();
}

void MetafileCanvas::SelectClipPath(int mode) {
  QPainterPath path = path_;
  path_ = QPainterPath();
  path.setFillRule(state_.poly_fill_mode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
  const QRegion region = RegionOfPath(path);
  CombineClip(region, mode == 5 && region.isEmpty() ? 1 : mode);
}

QRegion MetafileCanvas::RegionOfPath(const QPainterPath& output_path) {
  // Scanned here rather than by QRegion's polygon constructor, which walks every
  // row between the polygon's extremes (a path a billion rows tall from a damaged
  // mapping) and makes any number of rectangles. A pixel belongs to the region when
  // its centre is inside the path, as when the path is filled.
  struct Edge {
    double x0, y0, slope;
    int first, end;  // rows whose centres the edge crosses: first to end - 1
    int winding;
  };
  const QRectF bounds = output_path.controlPointRect();
  constexpr double kFar = 1 << 24;
  if (!std::isfinite(bounds.left()) || !std::isfinite(bounds.right()) ||
      !std::isfinite(bounds.top()) || !std::isfinite(bounds.bottom()) || bounds.left() < -kFar ||
      bounds.top() < -kFar || bounds.right() > kFar || bounds.bottom() > kFar)
    return QRegion();
  const int top = full_.top(), end_row = full_.bottom() + 1;
  std::vector<Edge> edges;
  double crossings = 0;
  for (const QPolygonF& polygon : output_path.toSubpathPolygons()) {
    const qsizetype n = polygon.size();
    for (qsizetype i = 0; i < n && n > 2; ++i) {
      QPointF a = polygon[i], b = polygon[(i + 1) % n];
      int winding = 1;
      if (a.y() > b.y()) std::swap(a, b), winding = -1;
      const int first = std::max(top, static_cast<int>(std::ceil(a.y() - 0.5)));
      const int end = std::min(end_row, static_cast<int>(std::ceil(b.y() - 0.5)));
      if (first >= end) continue;
      edges.push_back({a.x(), a.y(), (b.x() - a.x()) / (b.y() - a.y()), first, end, winding});
      crossings += end - first;
    }
  }
  // Every crossing is computed and sorted in its row.
  Spend(static_cast<double>(output_path.elementCount()) + crossings * 16);
  std::sort(edges.begin(), edges.end(),
            [](const Edge& a, const Edge& b) { return a.first < b.first; });
  const bool winding_rule = output_path.fillRule() == Qt::WindingFill;
  std::vector<QRect> rects;
  std::vector<std::pair<int, int>> runs, band;  // pixel columns, first to last
  int band_top = 0;
  auto flush = [&](int bottom) {
    for (const auto& [l, r] : band) rects.emplace_back(QPoint(l, band_top), QPoint(r, bottom));
    if (rects.size() > kMaxRegionRects)
      throw MetafileTooCostly(
          "the metafile is too costly to draw: a clipping path makes a region of more than " +
          std::to_string(kMaxRegionRects) + " rectangles");
  };
  std::vector<const Edge*> active;
  std::vector<std::pair<double, int>> xs;
  std::size_t next = 0;
  const int first_row = edges.empty() ? end_row : edges.front().first;
  int y = first_row;
  for (; y < end_row && (next < edges.size() || !active.empty()); ++y) {
    while (next < edges.size() && edges[next].first == y) active.push_back(&edges[next++]);
    std::erase_if(active, [&](const Edge* e) { return e->end <= y; });
    xs.clear();
    const double centre = y + 0.5;
    for (const Edge* e : active) xs.emplace_back(e->x0 + (centre - e->y0) * e->slope, e->winding);
    std::sort(xs.begin(), xs.end());
    runs.clear();
    int count = 0;
    for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
      count += xs[i].second;
      if (winding_rule ? count == 0 : count % 2 == 0) continue;
      // Pixels whose centres lie in [xs[i], xs[i + 1]).
      const int l = std::max(full_.left(), static_cast<int>(std::ceil(xs[i].first - 0.5)));
      const int r = std::min(full_.right(), static_cast<int>(std::ceil(xs[i + 1].first - 0.5)) - 1);
      if (l > r) continue;
      if (!runs.empty() && runs.back().second >= l - 1)
        runs.back().second = std::max(runs.back().second, r);
      else
        runs.emplace_back(l, r);
    }
    if (runs != band) {
      flush(y - 1);
      band = runs, band_top = y;
    }
  }
  flush(y - 1);
  QRegion region;
  region.setRects(rects.data(), static_cast<int>(rects.size()));
  return region;
}

void MetafileCanvas::CombineClip(const QRegion& region, int mode) {
  const QRegion full(full_);
  if (mode == 5 && region.isEmpty()) {
    state_.clipped = false;
    state_.clip = QRegion();
    return;
  }
  QRegion current = state_.clipped ? state_.clip : full;
  switch (mode) {
    case 1:
      current &= region;
      break;
    case 2:
      current |= region;
      break;
    case 3:
      current ^= region;
      break;
    case 4:
      current -= region;
      break;
    case 5:
      current = region;
      break;
    default:
      return;
  }
  current &= full;
  // Region operations go through both regions once.
  Spend(static_cast<double>(current.rectCount()) + region.rectCount());
  if (static_cast<std::size_t>(current.rectCount()) > kMaxRegionRects)
    throw MetafileTooCostly(
        "the metafile is too costly to draw: its clipping region has more "
        "than " +
        std::to_string(kMaxRegionRects) + " rectangles");
  state_.clipped = true;
  state_.clip = current;
}

void MetafileCanvas::IntersectClipRect(double l, double t, double r, double b) {
  CombineClip(QRegion(OutputBox(l, t, r, b)), 1);
}

void MetafileCanvas::ExcludeClipRect(double l, double t, double r, double b) {
  CombineClip(QRegion(OutputBox(l, t, r, b)), 4);
}

void MetafileCanvas::OffsetClip(QPointF logical_offset) {
  if (!state_.clipped) return;
  const QTransform t = LogicalToOutput();
  const QPointF d = t.map(logical_offset) - t.map(QPointF(0, 0));
  state_.clip.translate(static_cast<int>(std::lround(std::clamp(d.x(), -1e9, 1e9))),
                        static_cast<int>(std::lround(std::clamp(d.y(), -1e9, 1e9))));
  state_.clip &= QRegion(full_);
}

}  // namespace zelk
