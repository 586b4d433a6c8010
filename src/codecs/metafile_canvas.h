#pragma once
// The drawing surface both metafile players share: the state of a Windows device
// context (pens, brushes, fonts, colours, mapping, clipping, paths) and drawing onto
// the working bitmap with QPainter. Shapes are mapped to output pixels here, so both
// players hand over logical coordinates as the records give them.

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRegion>
#include <QString>
#include <QTransform>
#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/decode_control.h"
#include "platform/bitmap.h"

namespace zelk {

// Colours in records are COLORREF values: 0x00BBGGRR.
using ColorRef = std::uint32_t;

struct GdiPen {
  std::uint32_t style = 0;  // PS_* style, end cap and join bits
  double width = 0;         // logical units; 0 is one device pixel
  ColorRef colour = 0;
};

struct GdiBrush {
  std::uint32_t style = 0;  // BS_SOLID, BS_NULL, BS_HATCHED, or a pattern
  ColorRef colour = 0xFFFFFF;
  std::uint32_t hatch = 0;
  std::shared_ptr<const QImage> pattern;  // pattern brushes only
};

struct GdiFont {
  double height = 0;      // < 0: character height, > 0: cell height, 0: default
  double escapement = 0;  // tenths of a degree, counter-clockwise
  int weight = 400;
  bool italic = false;
  bool underline = false;
  bool strikeout = false;
  QString face;
};

struct GdiObject {
  enum class Kind { kPen, kBrush, kFont, kRegion, kOther };
  Kind kind = Kind::kOther;
  GdiPen pen;
  GdiBrush brush;
  GdiFont font;
  std::vector<QRectF> region;  // WMF regions, logical units
};

// Objects created by the records, by index. Both formats bound the table.
class ObjectTable {
 public:
  explicit ObjectTable(std::size_t capacity) : slots_(capacity) {}
  std::size_t Capacity() const { return slots_.size(); }
  // WMF: an object takes the lowest free slot; returns false when the table is full.
  bool AddToFreeSlot(GdiObject object);
  // EMF: the record names the slot; false when the index is out of range.
  bool Put(std::size_t index, GdiObject object);
  const GdiObject* Get(std::size_t index) const;
  void Remove(std::size_t index);

 private:
  std::vector<std::unique_ptr<GdiObject>> slots_;
};

enum MapMode {
  kMmText = 1,
  kMmLoMetric = 2,
  kMmHiMetric = 3,
  kMmLoEnglish = 4,
  kMmHiEnglish = 5,
  kMmTwips = 6,
  kMmIsotropic = 7,
  kMmAnisotropic = 8
};

struct DcState {
  GdiPen pen;      // black cosmetic pen
  GdiBrush brush;  // white solid brush
  GdiFont font;
  ColorRef text_colour = 0;
  ColorRef bk_colour = 0xFFFFFF;
  int bk_mode = 2;  // OPAQUE
  std::uint32_t text_align = 0;
  int poly_fill_mode = 1;  // ALTERNATE
  bool arc_clockwise = false;
  int map_mode = kMmText;
  QPointF window_org{0, 0}, window_ext{1, 1};
  QPointF viewport_org{0, 0}, viewport_ext{1, 1};
  QTransform world;
  QPointF position;  // current position, logical units
  bool clipped = false;
  QRegion clip;  // output pixels, when clipped
};

enum class ArcKind { kArc, kChord, kPie, kArcTo };

// Text as a record gives it; dx holds one advance per character (logical units) or
// is empty.
struct TextRun {
  QPointF reference;
  QString text;
  std::vector<double> dx;
  // Glyph indices of the producer's font instead of text (ETO_GLYPH_INDEX).
  std::vector<std::uint32_t> glyphs;
  std::uint32_t options = 0;  // ETO_OPAQUE 2, ETO_CLIPPED 4
  bool has_rect = false;
  QRectF rect;  // logical units: left, top, right, bottom as QRectF(l, t, r - l, b - t)
};

class MetafileCanvas {
 public:
  // Draws on out, whose pixels must stay put while the canvas lives.
  // device_to_output maps the device units the mapping modes produce onto output
  // pixels; device_pixels_per_mm is the resolution fixed mapping modes assume.
  // work_budget bounds the drawing work (see metafile_limits.h); past it a drawing
  // call throws MetafileTooCostly.
  MetafileCanvas(Bitmap& out, const QTransform& device_to_output, QPointF device_pixels_per_mm,
                 std::int64_t work_budget = INT64_MAX);
  ~MetafileCanvas();
  MetafileCanvas(const MetafileCanvas&) = delete;
  MetafileCanvas& operator=(const MetafileCanvas&) = delete;

  // A canvas that draws nothing and collects the output-pixel box of everything the
  // records would paint (clipping applied), on an unbounded output plane.
  // Work it would take all the same (joining regions) is charged to work_budget.
  static std::unique_ptr<MetafileCanvas> Measuring(const QTransform& device_to_output,
                                                   QPointF device_pixels_per_mm,
                                                   std::int64_t work_budget);
  bool IsMeasuring() const { return measuring_; }
  // Empty when nothing was painted.
  QRectF PaintedBounds() const { return painted_; }

  // The most pixels a bitmap embedded in the file may have.
  std::int64_t MaxBitmapPixels() const;
  // Charges work (output pixels or path elements) against the budget. Also where a
  // cancel is noticed within a record: throws DecodeCancelled once it was asked for.
  void Spend(double work);
  // The load's control, whose cancel flag playback follows (may be null).
  void SetControl(const DecodeControl* control) { control_ = control; }
  // Throws DecodeCancelled when the load was cancelled; the players call it between
  // records.
  void CheckCancel() const;

  DcState& State() { return state_; }
  void SaveDc();
  void RestoreDc(int which);

  // Logical coordinates to output pixels under the current state.
  QTransform LogicalToOutput() const;
  const QTransform& DeviceToOutput() const { return device_to_output_; }

  void SetPixel(QPointF p, ColorRef colour);
  void MoveTo(QPointF p) { state_.position = p; }
  void LineTo(QPointF p);
  void Polyline(const QPolygonF& points);
  void PolylineTo(const QPolygonF& points);
  void PolyBezier(const QPolygonF& points, bool from_current_position);
  void Polygon(const QPolygonF& points);
  void PolyPolygon(const std::vector<QPolygonF>& polygons);
  void PolyPolyline(const std::vector<QPolygonF>& polylines);
  // Boxes are left, top, right, bottom as the records give them.
  void Rectangle(double l, double t, double r, double b);
  void RoundRect(double l, double t, double r, double b, double corner_w, double corner_h);
  void Ellipse(double l, double t, double r, double b);
  void ArcShape(ArcKind kind, double l, double t, double r, double b, QPointF start, QPointF end);
  // A line from the current position to where the arc starts, then the arc; the
  // current position moves to its end. Angles in degrees, counter-clockwise.
  void AngleArc(QPointF centre, double radius, double start_angle, double sweep_angle);
  // Lines and Béziers by point types (PT_MOVETO 6, PT_LINETO 2, PT_BEZIERTO 4, with
  // PT_CLOSEFIGURE 1), from the current position.
  void PolyDraw(const QPolygonF& points, const std::vector<std::uint8_t>& types);
  // Regions given as rectangles in logical units: filled with a brush, framed with a
  // brush w x h logical units thick, or inverted.
  void FillRegion(const std::vector<QRectF>& rects, const GdiBrush& brush);
  void FrameRegion(const std::vector<QRectF>& rects, const GdiBrush& brush, double w, double h);
  void InvertRegion(const std::vector<QRectF>& rects);
  // The rectangles in output pixels, as one region.
  QRegion OutputRegion(const std::vector<QRectF>& rects);
  // The union of rectangles in output pixels. Region data list them in bands, top to
  // bottom and left to right, which Qt joins in linear time; any other order costs
  // the square of the count, which is charged to the work budget. At most
  // kMaxRegionRects rectangles; more throw ImageError.
  QRegion RegionOf(std::vector<QRect> rects);
  static constexpr std::size_t kMaxRegionRects = 16384;
  // The output pixels whose centres a path holds by its fill rule, as a region of at
  // most kMaxRegionRects rectangles (more throw MetafileTooCostly); the scan is
  // charged to the budget first.
  QRegion RegionOfPath(const QPainterPath& output_path);
  // Fills the box with the brush (fill_colour < 0) or a colour.
  void FillBox(double l, double t, double r, double b, std::int64_t fill_colour = -1);
  void Text(const TextRun& run);

  // Copies the rectangle (sx, sy, sw, sh) of src (top-down pixel coordinates,
  // positive extents) onto the logical box at (x, y) of size (w, h), whose negative
  // extents mirror, with the ternary raster operation rop. src null means the
  // operation uses no source (pattern or destination only).
  void Blit(double x, double y, double w, double h, const Bitmap* src, std::int64_t sx,
            std::int64_t sy, std::int64_t sw, std::int64_t sh, std::uint32_t rop);

  void BeginPath();
  void EndPath() { path_open_ = false; }
  void AbortPath();
  void CloseFigure();
  void FillPath();
  void StrokePath();
  void StrokeAndFillPath();
  // RGN_AND 1, RGN_OR 2, RGN_XOR 3, RGN_DIFF 4, RGN_COPY 5.
  void SelectClipPath(int mode);

  void IntersectClipRect(double l, double t, double r, double b);
  void ExcludeClipRect(double l, double t, double r, double b);
  // Region in output pixels combined with the clip by mode; an empty region with
  // RGN_COPY removes the clip.
  void CombineClip(const QRegion& region, int mode);
  void OffsetClip(QPointF logical_offset);

 private:
  void Emit(const QPainterPath& logical_path, bool stroke, bool fill);
  // A stroke that continues the current figure when a path is being recorded.
  void EmitConnected(const QPainterPath& logical_path);
  void PaintRegion(const QRegion& region, const GdiBrush& brush);
  void DrawOutput(const QPainterPath& output_path, bool stroke, bool fill);
  // Resets the painter's transform and clips it to the clipping region near reach,
  // the output box that the coming drawing can touch.
  void PreparePainter(const QRectF& reach);
  QPen MakePen() const;
  bool PrepareBrush(QBrush& brush) const;
  QRect OutputBox(double l, double t, double r, double b) const;
  // The part of an output-pixel box that can be painted: inside the output and clip.
  QRectF Paintable(const QRectF& box) const;
  void Note(const QRectF& box);
  void DrawRun(const TextRun& run, const QFont& font, QPointF origin, double sx);

  Bitmap& out_;
  QRect full_;  // the output plane: the picture, or unbounded when measuring
  bool measuring_ = false;
  QRectF painted_;
  std::int64_t work_left_;
  const DecodeControl* control_ = nullptr;
  QImage image_;
  QPainter painter_;
  QTransform device_to_output_;
  QPointF device_pixels_per_mm_;
  DcState state_;
  std::vector<DcState> saved_;
  bool path_open_ = false;
  QPainterPath path_;  // output pixels
};

// The three colour bytes of a COLORREF as 0xFFRRGGBB.
QColor ColourOf(ColorRef c);

}  // namespace zelk
