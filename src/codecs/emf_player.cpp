#include "codecs/emf_player.h"

#include <QString>
#include <algorithm>
#include <cmath>
#include <vector>

#include "codecs/metafile_dib.h"
#include "codecs/metafile_limits.h"

namespace zelk {
namespace {

constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr std::uint32_t kStockObject = 0x80000000;

enum EmfType : std::uint32_t {
  kHeader = 1,
  kPolyBezier = 2,
  kPolygon = 3,
  kPolyline = 4,
  kPolyBezierTo = 5,
  kPolylineTo = 6,
  kPolyPolyline = 7,
  kPolyPolygon = 8,
  kSetWindowExtEx = 9,
  kSetWindowOrgEx = 10,
  kSetViewportExtEx = 11,
  kSetViewportOrgEx = 12,
  kEof = 14,
  kSetPixelV = 15,
  kSetMapMode = 17,
  kSetBkMode = 18,
  kSetPolyFillMode = 19,
  kSetTextAlign = 22,
  kSetTextColor = 24,
  kSetBkColor = 25,
  kOffsetClipRgn = 26,
  kMoveToEx = 27,
  kExcludeClipRect = 29,
  kIntersectClipRect = 30,
  kScaleViewportExtEx = 31,
  kScaleWindowExtEx = 32,
  kSaveDc = 33,
  kRestoreDc = 34,
  kSetWorldTransform = 35,
  kModifyWorldTransform = 36,
  kSelectObject = 37,
  kCreatePen = 38,
  kCreateBrushIndirect = 39,
  kDeleteObject = 40,
  kEllipse = 42,
  kRectangle = 43,
  kRoundRect = 44,
  kArc = 45,
  kChord = 46,
  kPie = 47,
  kAngleArc = 41,
  kCreatePalette = 49,
  kLineTo = 54,
  kArcTo = 55,
  kPolyDraw = 56,
  kSetArcDirection = 57,
  kBeginPath = 59,
  kEndPath = 60,
  kCloseFigure = 61,
  kFillPath = 62,
  kStrokeAndFillPath = 63,
  kStrokePath = 64,
  kSelectClipPath = 67,
  kAbortPath = 68,
  kFillRgn = 71,
  kFrameRgn = 72,
  kInvertRgn = 73,
  kPaintRgn = 74,
  kExtSelectClipRgn = 75,
  kBitBlt = 76,
  kStretchBlt = 77,
  kSetDiBitsToDevice = 80,
  kStretchDiBits = 81,
  kExtCreateFontIndirectW = 82,
  kExtTextOutA = 83,
  kExtTextOutW = 84,
  kPolyBezier16 = 85,
  kPolygon16 = 86,
  kPolyline16 = 87,
  kPolyBezierTo16 = 88,
  kPolylineTo16 = 89,
  kPolyPolyline16 = 90,
  kPolyPolygon16 = 91,
  kPolyDraw16 = 92,
  kCreateMonoBrush = 93,
  kCreateDibPatternBrushPt = 94,
  kExtCreatePen = 95,
};

class EmfPlayer {
 public:
  EmfPlayer(MetafileCanvas& canvas, std::size_t handles)
      : canvas_(canvas), objects_(std::clamp<std::size_t>(handles, 1, kMaxMetafileObjects)) {}

  void Play(ByteSpan record, std::uint32_t type);

 private:
  double L(std::size_t at) const { return rec_.S32(at); }
  QPointF PointL(std::size_t at) const { return QPointF(L(at), L(at + 4)); }
  QPolygonF Points(std::size_t at, std::size_t count, bool small) const;
  std::vector<QPolygonF> PolyPoints(bool small) const;
  void Select(std::uint32_t index);
  void Put(std::uint32_t index, GdiObject object) { objects_.Put(index, std::move(object)); }
  bool DibAt(std::size_t off_bmi, std::size_t cb_bmi, std::size_t off_bits, std::size_t cb_bits,
             RecordDib& dib) const;
  void Blit(std::uint32_t type);
  void Text(bool wide);
  void CreateFont();
  void ClipRegion();
  // The rectangles of the region data at `at`, `bytes` long.
  std::vector<QRectF> RegionRects(std::size_t at, std::size_t bytes) const;
  bool BrushAt(std::uint32_t index, GdiBrush& brush) const;
  void PolyDraw(bool small);

  MetafileCanvas& canvas_;
  ObjectTable objects_;
  ByteSpan rec_;
};

QPolygonF EmfPlayer::Points(std::size_t at, std::size_t count, bool small) const {
  const std::size_t bytes = small ? 4 : 8;
  if (count > rec_.Size() / bytes || !rec_.Has(at, count * bytes))
    throw ImageError("a record holds fewer points than it claims");
  QPolygonF points;
  points.reserve(static_cast<qsizetype>(count));
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t p = at + i * bytes;
    points << (small ? QPointF(rec_.S16(p), rec_.S16(p + 2)) : PointL(p));
  }
  return points;
}

std::vector<QPolygonF> EmfPlayer::PolyPoints(bool small) const {
  const std::size_t polygons = rec_.U32(24);
  if (polygons > rec_.Size() / 4) throw ImageError("a record holds fewer polygons than it claims");
  std::size_t at = 32 + polygons * 4;
  std::vector<QPolygonF> all;
  all.reserve(polygons);
  for (std::size_t i = 0; i < polygons; ++i) {
    const std::size_t n = rec_.U32(32 + 4 * i);
    all.push_back(Points(at, n, small));
    at += n * (small ? 4 : 8);
  }
  return all;
}

bool EmfPlayer::BrushAt(std::uint32_t index, GdiBrush& brush) const {
  if ((index & kStockObject) != 0) {
    const std::uint32_t stock = index & ~kStockObject;
    static constexpr ColorRef kBrushes[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
    if (stock <= 4) {
      brush = GdiBrush{0, kBrushes[stock], 0, nullptr};
      return true;
    }
    if (stock == 5) {
      brush = GdiBrush{1, 0, 0, nullptr};
      return true;
    }
    return false;
  }
  const GdiObject* object = objects_.Get(index);
  if (object == nullptr || object->kind != GdiObject::Kind::kBrush) return false;
  brush = object->brush;
  return true;
}

std::vector<QRectF> EmfPlayer::RegionRects(std::size_t at, std::size_t bytes) const {
  const ByteSpan data = rec_.Sub(at, bytes);
  const std::size_t count = data.U32(8);
  if (count > data.Size() / 16 || !data.Has(32, count * 16))
    throw ImageError("a region is shorter than it claims");
  if (count > MetafileCanvas::kMaxRegionRects) throw ImageError("a region has too many rectangles");
  std::vector<QRectF> rects;
  rects.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t r = 32 + 16 * i;
    rects.emplace_back(QPointF(data.S32(r), data.S32(r + 4)),
                       QPointF(data.S32(r + 8), data.S32(r + 12)));
  }
  return rects;
}

void EmfPlayer::PolyDraw(bool small) {
  const std::size_t count = rec_.U32(24);
  const QPolygonF points = Points(28, count, small);
  const std::size_t types_at = 28 + count * (small ? 4 : 8);
  if (!rec_.Has(types_at, count)) throw ImageError("a record holds fewer points than it claims");
  std::vector<std::uint8_t> types(rec_.Data() + types_at, rec_.Data() + types_at + count);
  canvas_.PolyDraw(points, types);
}

void EmfPlayer::Select(std::uint32_t index) {
  DcState& s = canvas_.State();
  if ((index & kStockObject) != 0) {
    const std::uint32_t stock = index & ~kStockObject;
    static constexpr ColorRef kBrushes[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
    if (stock <= 4) {
      s.brush = GdiBrush{0, kBrushes[stock], 0, nullptr};
    } else if (stock == 5) {
      s.brush = GdiBrush{1, 0, 0, nullptr};
    } else if (stock == 6 || stock == 7 || stock == 8) {
      s.pen = GdiPen{stock == 8 ? 5u : 0u, 0, stock == 6 ? 0xFFFFFFu : 0u};
    } else if (stock >= 10 && stock <= 17) {
      s.font = GdiFont{};
    } else if (stock == 18) {
      s.brush = GdiBrush{};
    } else if (stock == 19) {
      s.pen = GdiPen{};
    }
    return;
  }
  const GdiObject* object = objects_.Get(index);
  if (object == nullptr) return;
  switch (object->kind) {
    case GdiObject::Kind::kPen:
      s.pen = object->pen;
      break;
    case GdiObject::Kind::kBrush:
      s.brush = object->brush;
      break;
    case GdiObject::Kind::kFont:
      s.font = object->font;
      break;
    default:
      break;
  }
}

bool EmfPlayer::DibAt(std::size_t off_bmi, std::size_t cb_bmi, std::size_t off_bits,
                      std::size_t cb_bits, RecordDib& dib) const {
  if (cb_bmi == 0 || !rec_.Has(off_bmi, cb_bmi) || !rec_.Has(off_bits, cb_bits)) return false;
  if (off_bits >= off_bmi + cb_bmi) {
    DecodeRecordDib(rec_.Sub(off_bmi, off_bits + cb_bits - off_bmi), off_bits - off_bmi, dib,
                    canvas_.MaxBitmapPixels());
    return true;
  }
  // The bits come first or overlap: join header and bits in their usual order.
  std::vector<std::uint8_t> joined(cb_bmi + cb_bits);
  std::copy_n(rec_.Data() + off_bmi, cb_bmi, joined.begin());
  std::copy_n(rec_.Data() + off_bits, cb_bits,
              joined.begin() + static_cast<std::ptrdiff_t>(cb_bmi));
  DecodeRecordDib(ByteSpan(joined.data(), joined.size()), cb_bmi, dib, canvas_.MaxBitmapPixels());
  return true;
}

void EmfPlayer::Blit(std::uint32_t type) {
  RecordDib dib;
  if (type == kStretchDiBits || type == kSetDiBitsToDevice) {
    const double dx = L(24), dy = L(28);
    const std::int32_t sx = rec_.S32(32), sy = rec_.S32(36), sw = rec_.S32(40), sh = rec_.S32(44);
    if (!DibAt(rec_.U32(48), rec_.U32(52), rec_.U32(56), rec_.U32(60), dib)) return;
    if (type == kStretchDiBits) {
      DrawDib(canvas_, dx, dy, L(72), L(76), dib, sx, sy, sw, sh, rec_.U32(68), true);
      return;
    }
    // SetDIBitsToDevice does not stretch: its extents are device pixels.
    const QTransform t = canvas_.LogicalToOutput();
    const QTransform d = canvas_.DeviceToOutput();
    if (t.m11() == 0 || t.m22() == 0) return;
    DrawDib(canvas_, dx, dy, sw * d.m11() / t.m11(), sh * d.m22() / t.m22(), dib, sx, sy, sw, sh,
            0x00CC0020, true);
    return;
  }
  // BitBlt and StretchBlt: a source bitmap when the record carries one.
  const double dx = L(24), dy = L(28), dw = L(32), dh = L(36);
  const std::uint32_t rop = rec_.U32(40);
  const std::int32_t sx = rec_.S32(44), sy = rec_.S32(48);
  if (rec_.U32(88) == 0) {
    canvas_.Blit(dx, dy, dw, dh, nullptr, 0, 0, 0, 0, rop);
    return;
  }
  std::int32_t sw = static_cast<std::int32_t>(dw), sh = static_cast<std::int32_t>(dh);
  if (type == kStretchBlt) sw = rec_.S32(100), sh = rec_.S32(104);
  if (!DibAt(rec_.U32(84), rec_.U32(88), rec_.U32(92), rec_.U32(96), dib)) return;
  DrawDib(canvas_, dx, dy, dw, dh, dib, sx, sy, sw, sh, rop, false);
}

void EmfPlayer::CreateFont() {
  GdiObject object;
  object.kind = GdiObject::Kind::kFont;
  GdiFont& f = object.font;
  f.height = L(12);
  f.escapement = L(20);
  f.weight = rec_.S32(28);
  f.italic = rec_.U8(32) != 0;
  f.underline = rec_.U8(33) != 0;
  f.strikeout = rec_.U8(34) != 0;
  for (std::size_t i = 0; i < 32 && rec_.Has(40 + 2 * i, 2); ++i) {
    const char16_t c = rec_.U16(40 + 2 * i);
    if (c == 0) break;
    f.face.append(QChar(c));
  }
  Put(rec_.U32(8), std::move(object));
}

void EmfPlayer::Text(bool wide) {
  TextRun run;
  run.reference = PointL(36);
  const std::size_t count = rec_.U32(44), off_string = rec_.U32(48);
  run.options = rec_.U32(52);
  run.has_rect = true;
  run.rect = QRectF(PointL(56), PointL(64));
  const std::size_t off_dx = rec_.U32(72);
  if ((run.options & 0x10) != 0) {
    // ETO_GLYPH_INDEX: 16-bit glyph indices of the selected font.
    if (count > rec_.Size() / 2) throw ImageError("a text record is shorter than its text");
    const ByteSpan glyphs = rec_.Sub(off_string, count * 2);
    run.glyphs.reserve(count);
    for (std::size_t i = 0; i < count; ++i) run.glyphs.push_back(glyphs.U16(2 * i));
  } else {
    const std::size_t unit = wide ? 2 : 1;
    if (count > rec_.Size() / unit) throw ImageError("a text record is shorter than its text");
    const ByteSpan chars = rec_.Sub(off_string, count * unit);
    if (wide) {
      run.text.reserve(static_cast<qsizetype>(count));
      for (std::size_t i = 0; i < count; ++i) run.text.append(QChar(chars.U16(2 * i)));
    } else {
      run.text = QString::fromLatin1(reinterpret_cast<const char*>(chars.Data()),
                                     static_cast<qsizetype>(count));
    }
  }
  // Advances: one per character, or x and y pairs with ETO_PDY.
  const std::size_t stride = (run.options & 0x2000) != 0 ? 8 : 4;
  if (off_dx != 0 && count > 0 && count <= rec_.Size() / stride &&
      rec_.Has(off_dx, count * stride)) {
    run.dx.reserve(count);
    for (std::size_t i = 0; i < count; ++i) run.dx.push_back(rec_.S32(off_dx + i * stride));
  }
  canvas_.Text(run);
}

void EmfPlayer::ClipRegion() {
  const std::size_t bytes = rec_.U32(8);
  const int mode = static_cast<int>(rec_.U32(12));
  if (bytes < 32) {
    canvas_.CombineClip(QRegion(), mode);
    return;
  }
  const ByteSpan data = rec_.Sub(16, bytes);
  const std::size_t count = data.U32(8);
  if (count > data.Size() / 16 || !data.Has(32, count * 16))
    throw ImageError("a clipping region is shorter than it claims");
  if (count > MetafileCanvas::kMaxRegionRects)
    throw ImageError("a clipping region has too many rectangles");
  // The rectangles are in device units.
  std::vector<QRect> rects;
  rects.reserve(count);
  const QTransform& d = canvas_.DeviceToOutput();
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = 32 + 16 * i;
    const QRectF r = d.mapRect(QRectF(QPointF(data.S32(at), data.S32(at + 4)),
                                      QPointF(data.S32(at + 8), data.S32(at + 12))));
    auto round = [](double v) { return static_cast<int>(std::lround(std::clamp(v, -1e9, 1e9))); };
    rects.emplace_back(QPoint(round(r.left()), round(r.top())),
                       QPoint(round(r.right()) - 1, round(r.bottom()) - 1));
  }
  canvas_.CombineClip(canvas_.RegionOf(std::move(rects)), mode);
}

void EmfPlayer::Play(ByteSpan record, std::uint32_t type) {
  rec_ = record;
  DcState& s = canvas_.State();
  switch (type) {
    case kSetWindowExtEx:
      s.window_ext = PointL(8);
      break;
    case kSetWindowOrgEx:
      s.window_org = PointL(8);
      break;
    case kSetViewportExtEx:
      s.viewport_ext = PointL(8);
      break;
    case kSetViewportOrgEx:
      s.viewport_org = PointL(8);
      break;
    case kScaleViewportExtEx:
    case kScaleWindowExtEx: {
      QPointF& ext = type == kScaleWindowExtEx ? s.window_ext : s.viewport_ext;
      if (L(12) != 0 && L(20) != 0) ext = QPointF(ext.x() * L(8) / L(12), ext.y() * L(16) / L(20));
      break;
    }
    case kSetMapMode:
      s.map_mode = static_cast<int>(rec_.U32(8));
      break;
    case kSetBkMode:
      s.bk_mode = static_cast<int>(rec_.U32(8));
      break;
    case kSetPolyFillMode:
      s.poly_fill_mode = static_cast<int>(rec_.U32(8));
      break;
    case kSetTextAlign:
      s.text_align = rec_.U32(8);
      break;
    case kSetTextColor:
      s.text_colour = rec_.U32(8) & 0xFFFFFF;
      break;
    case kSetBkColor:
      s.bk_colour = rec_.U32(8) & 0xFFFFFF;
      break;
    case kSetArcDirection:
      s.arc_clockwise = rec_.U32(8) == 2;
      break;
    case kOffsetClipRgn:
      canvas_.OffsetClip(PointL(8));
      break;
    case kMoveToEx:
      canvas_.MoveTo(PointL(8));
      break;
    case kLineTo:
      canvas_.LineTo(PointL(8));
      break;
    case kSetPixelV:
      canvas_.SetPixel(PointL(8), rec_.U32(16) & 0xFFFFFF);
      break;
    case kExcludeClipRect:
      canvas_.ExcludeClipRect(L(8), L(12), L(16), L(20));
      break;
    case kIntersectClipRect:
      canvas_.IntersectClipRect(L(8), L(12), L(16), L(20));
      break;
    case kSaveDc:
      canvas_.SaveDc();
      break;
    case kRestoreDc:
      canvas_.RestoreDc(rec_.S32(8));
      break;
    case kSetWorldTransform:
    case kModifyWorldTransform: {
      const QTransform x(rec_.F32(8), rec_.F32(12), rec_.F32(16), rec_.F32(20), rec_.F32(24),
                         rec_.F32(28));
      if (!std::isfinite(x.m11()) || !std::isfinite(x.m12()) || !std::isfinite(x.m21()) ||
          !std::isfinite(x.m22()) || !std::isfinite(x.dx()) || !std::isfinite(x.dy()))
        break;
      const std::uint32_t mode = type == kSetWorldTransform ? 4 : rec_.U32(32);
      switch (mode) {
        case 1:
          s.world = QTransform();
          break;
        case 2:
          s.world = x * s.world;
          break;  // the new transform applies first
        case 3:
          s.world = s.world * x;
          break;
        case 4:
          s.world = x;
          break;
        default:
          break;
      }
      break;
    }
    case kSelectObject:
      Select(rec_.U32(8));
      break;
    case kDeleteObject:
      objects_.Remove(rec_.U32(8));
      break;
    case kCreatePen: {
      GdiObject object;
      object.kind = GdiObject::Kind::kPen;
      object.pen.style = rec_.U32(12);
      object.pen.width = L(16);
      object.pen.colour = rec_.U32(24) & 0xFFFFFF;
      Put(rec_.U32(8), std::move(object));
      break;
    }
    case kExtCreatePen: {
      GdiObject object;
      object.kind = GdiObject::Kind::kPen;
      object.pen.style = rec_.U32(28);
      object.pen.width = rec_.U32(32);
      object.pen.colour = rec_.U32(40) & 0xFFFFFF;
      if (rec_.U32(36) == 1) object.pen.style = (object.pen.style & ~0xFu) | 5;  // BS_NULL
      Put(rec_.U32(8), std::move(object));
      break;
    }
    case kCreateBrushIndirect: {
      GdiObject object;
      object.kind = GdiObject::Kind::kBrush;
      object.brush.style = rec_.U32(12);
      object.brush.colour = rec_.U32(16) & 0xFFFFFF;
      object.brush.hatch = rec_.U32(20);
      Put(rec_.U32(8), std::move(object));
      break;
    }
    case kCreateMonoBrush:
    case kCreateDibPatternBrushPt: {
      GdiObject object;
      object.kind = GdiObject::Kind::kBrush;
      object.brush.style = 3;
      object.brush.colour = 0;
      try {
        RecordDib dib;
        if (!canvas_.IsMeasuring() &&
            DibAt(rec_.U32(16), rec_.U32(20), rec_.U32(24), rec_.U32(28), dib))
          object.brush.pattern = PatternImage(std::move(dib.pixels));
      } catch (const ImageError&) {
        // The brush still takes its slot; it paints black.
      }
      Put(rec_.U32(8), std::move(object));
      break;
    }
    case kCreatePalette:
      Put(rec_.U32(8), GdiObject{});
      break;
    case kExtCreateFontIndirectW:
      CreateFont();
      break;
    case kEllipse:
      canvas_.Ellipse(L(8), L(12), L(16), L(20));
      break;
    case kRectangle:
      canvas_.Rectangle(L(8), L(12), L(16), L(20));
      break;
    case kRoundRect:
      canvas_.RoundRect(L(8), L(12), L(16), L(20), L(24), L(28));
      break;
    case kArc:
    case kChord:
    case kPie:
      canvas_.ArcShape(type == kArc   ? ArcKind::kArc
                       : type == kPie ? ArcKind::kPie
                                      : ArcKind::kChord,
                       L(8), L(12), L(16), L(20), PointL(24), PointL(32));
      break;
    case kPolygon:
    case kPolygon16:
      canvas_.Polygon(Points(28, rec_.U32(24), type == kPolygon16));
      break;
    case kPolyline:
    case kPolyline16:
      canvas_.Polyline(Points(28, rec_.U32(24), type == kPolyline16));
      break;
    case kPolylineTo:
    case kPolylineTo16:
      canvas_.PolylineTo(Points(28, rec_.U32(24), type == kPolylineTo16));
      break;
    case kPolyBezier:
    case kPolyBezier16:
      canvas_.PolyBezier(Points(28, rec_.U32(24), type == kPolyBezier16), false);
      break;
    case kPolyBezierTo:
    case kPolyBezierTo16:
      canvas_.PolyBezier(Points(28, rec_.U32(24), type == kPolyBezierTo16), true);
      break;
    case kPolyPolygon:
    case kPolyPolygon16:
      canvas_.PolyPolygon(PolyPoints(type == kPolyPolygon16));
      break;
    case kPolyPolyline:
    case kPolyPolyline16:
      canvas_.PolyPolyline(PolyPoints(type == kPolyPolyline16));
      break;
    case kBeginPath:
      canvas_.BeginPath();
      break;
    case kEndPath:
      canvas_.EndPath();
      break;
    case kCloseFigure:
      canvas_.CloseFigure();
      break;
    case kAbortPath:
      canvas_.AbortPath();
      break;
    case kFillPath:
      canvas_.FillPath();
      break;
    case kStrokePath:
      canvas_.StrokePath();
      break;
    case kStrokeAndFillPath:
      canvas_.StrokeAndFillPath();
      break;
    case kSelectClipPath:
      canvas_.SelectClipPath(static_cast<int>(rec_.U32(8)));
      break;
    case kExtSelectClipRgn:
      ClipRegion();
      break;
    case kFillRgn:
    case kFrameRgn: {
      GdiBrush brush;
      if (!BrushAt(rec_.U32(28), brush)) break;
      if (type == kFillRgn)
        canvas_.FillRegion(RegionRects(32, rec_.U32(24)), brush);
      else
        canvas_.FrameRegion(RegionRects(40, rec_.U32(24)), brush, L(32), L(36));
      break;
    }
    case kPaintRgn:
      canvas_.FillRegion(RegionRects(28, rec_.U32(24)), s.brush);
      break;
    case kInvertRgn:
      canvas_.InvertRegion(RegionRects(28, rec_.U32(24)));
      break;
    case kAngleArc:
      canvas_.AngleArc(PointL(8), rec_.U32(16), rec_.F32(20), rec_.F32(24));
      break;
    case kArcTo:
      canvas_.ArcShape(ArcKind::kArcTo, L(8), L(12), L(16), L(20), PointL(24), PointL(32));
      break;
    case kPolyDraw:
    case kPolyDraw16:
      PolyDraw(type == kPolyDraw16);
      break;
    case kBitBlt:
    case kStretchBlt:
    case kSetDiBitsToDevice:
    case kStretchDiBits:
      Blit(type);
      break;
    case kExtTextOutA:
      Text(false);
      break;
    case kExtTextOutW:
      Text(true);
      break;
    default:
      break;  // not drawn; skipped by its declared size
  }
}

}  // namespace

EmfHeader ParseEmfHeader(ByteSpan file) {
  if (!file.Has(0, 88) || file.U32(0) != kHeader || file.U32(40) != kEmfSignature)
    throw ImageError("the file is not an enhanced metafile");
  const std::uint32_t size = file.U32(4);
  if (size < 88 || size > file.Size()) throw ImageError("the enhanced metafile header is damaged");
  EmfHeader h;
  for (int i = 0; i < 4; ++i) {
    h.bounds[i] = file.S32(8 + 4 * static_cast<std::size_t>(i));
    h.frame[i] = file.S32(24 + 4 * static_cast<std::size_t>(i));
  }
  h.handles = file.U16(56);
  h.device_px[0] = file.S32(72);
  h.device_px[1] = file.S32(76);
  h.device_hmm[0] = file.S32(80) * 100.0;
  h.device_hmm[1] = file.S32(84) * 100.0;
  // The optional extensions exist only where the header leaves room for them: its
  // fixed part ends at the record's size, the description (when there is one) and
  // the pixel format (when there is one), whichever comes first. A description
  // written at offset 88 is a description, not a size.
  std::size_t end = size;
  const std::uint32_t description_chars = file.U32(60), description_at = file.U32(64);
  if (description_chars != 0 && description_at >= 88)
    end = std::min<std::size_t>(end, description_at);
  if (end >= 100) {
    const std::uint32_t pixel_format_bytes = file.U32(88), pixel_format_at = file.U32(92);
    if (pixel_format_bytes != 0 && pixel_format_at >= 88)
      end = std::min<std::size_t>(end, pixel_format_at);
  }
  // The second extension gives the reference device in micrometres, more exactly.
  if (end >= 108 && file.S32(100) > 0 && file.S32(104) > 0) {
    h.device_hmm[0] = file.S32(100) / 10.0;
    h.device_hmm[1] = file.S32(104) / 10.0;
  }
  h.first_record = size;
  return h;
}

void PlayEmf(ByteSpan file, const EmfHeader& header, MetafileCanvas& canvas) {
  EmfPlayer player(canvas, header.handles);
  std::size_t at = header.first_record;
  for (std::size_t n = 0; n < kMaxMetafileRecords && file.Has(at, 8); ++n) {
    const std::uint32_t type = file.U32(at), size = file.U32(at + 4);
    if (size < 8 || size > file.Size() - at || type == kEof) break;
    canvas.CheckCancel();
    try {
      player.Play(file.Sub(at, size), type);
    } catch (const MetafileTooCostly&) {
      throw;
    } catch (const ImageError&) {
      // A record that contradicts itself is skipped; the rest still draws.
    }
    at += size;
  }
}

}  // namespace zelk
