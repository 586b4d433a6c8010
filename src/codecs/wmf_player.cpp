#include "codecs/wmf_player.h"

#include <QString>
#include <algorithm>

#include "codecs/metafile_dib.h"
#include "codecs/metafile_limits.h"

namespace zelk {
namespace {

constexpr std::size_t kPlaceableHeaderSize = 22;
constexpr std::size_t kRecordHeaderSize = 6;
constexpr std::uint32_t kPatCopy = 0x00F00021;

enum WmfFunction : std::uint16_t {
  kEof = 0x0000,
  kSaveDc = 0x001E,
  kSetBkMode = 0x0102,
  kSetMapMode = 0x0103,
  kSetPolyFillMode = 0x0106,
  kRestoreDc = 0x0127,
  kSetTextAlign = 0x012E,
  kSelectObject = 0x012D,
  kDibCreatePatternBrush = 0x0142,
  kDeleteObject = 0x01F0,
  kCreatePatternBrush = 0x01F9,
  kCreatePalette = 0x00F7,
  kSetBkColor = 0x0201,
  kSetTextColor = 0x0209,
  kSetWindowOrg = 0x020B,
  kSetWindowExt = 0x020C,
  kSetViewportOrg = 0x020D,
  kSetViewportExt = 0x020E,
  kOffsetWindowOrg = 0x020F,
  kOffsetViewportOrg = 0x0211,
  kLineTo = 0x0213,
  kMoveTo = 0x0214,
  kOffsetClipRgn = 0x0220,
  kFillRegion = 0x0228,
  kFrameRegion = 0x0429,
  kInvertRegion = 0x012A,
  kPaintRegion = 0x012B,
  kSelectClipRegion = 0x012C,
  kCreatePenIndirect = 0x02FA,
  kCreateFontIndirect = 0x02FB,
  kCreateBrushIndirect = 0x02FC,
  kPolygon = 0x0324,
  kPolyline = 0x0325,
  kScaleWindowExt = 0x0410,
  kScaleViewportExt = 0x0412,
  kExcludeClipRect = 0x0415,
  kIntersectClipRect = 0x0416,
  kEllipse = 0x0418,
  kRectangle = 0x041B,
  kSetPixel = 0x041F,
  kTextOut = 0x0521,
  kPolyPolygon = 0x0538,
  kRoundRect = 0x061C,
  kPatBlt = 0x061D,
  kCreateRegion = 0x06FF,
  kArc = 0x0817,
  kPie = 0x081A,
  kChord = 0x0830,
  kBitBlt = 0x0922,
  kDibBitBlt = 0x0940,
  kExtTextOut = 0x0A32,
  kStretchBlt = 0x0B23,
  kDibStretchBlt = 0x0B41,
  kSetDibToDev = 0x0D33,
  kStretchDib = 0x0F43,
};

class WmfPlayer {
 public:
  WmfPlayer(MetafileCanvas& canvas, std::size_t objects)
      // Some writers count their objects short; a few spare slots cost nothing.
      : canvas_(canvas), objects_(std::clamp<std::size_t>(objects, 64, kMaxMetafileObjects)) {}

  void Play(ByteSpan record, std::uint16_t function);

 private:
  // The i-th 16-bit parameter after the record's size and function.
  double P(int i) const { return rec_.S16(kRecordHeaderSize + 2 * static_cast<std::size_t>(i)); }
  std::uint16_t U(int i) const {
    return rec_.U16(kRecordHeaderSize + 2 * static_cast<std::size_t>(i));
  }
  std::uint32_t U32At(int i) const {
    return rec_.U32(kRecordHeaderSize + 2 * static_cast<std::size_t>(i));
  }
  std::size_t ParamCount() const { return (rec_.Size() - kRecordHeaderSize) / 2; }
  QPolygonF Points(int first_param, std::size_t count) const;
  void AddObject(GdiObject object) { objects_.AddToFreeSlot(std::move(object)); }
  void Select(std::size_t index);
  void Text(bool extended);
  void Blit(std::uint16_t function);
  void CreateFont();
  void CreateRegion();
  const std::vector<QRectF>* RegionAt(std::size_t index) const;

  MetafileCanvas& canvas_;
  ObjectTable objects_;
  ByteSpan rec_;
};

QPolygonF WmfPlayer::Points(int first_param, std::size_t count) const {
  const std::size_t at = kRecordHeaderSize + 2 * static_cast<std::size_t>(first_param);
  if (count > rec_.Size() / 4 || !rec_.Has(at, count * 4))
    throw ImageError("a record holds fewer points than it claims");
  QPolygonF points;
  points.reserve(static_cast<qsizetype>(count));
  for (std::size_t i = 0; i < count; ++i)
    points << QPointF(rec_.S16(at + 4 * i), rec_.S16(at + 4 * i + 2));
  return points;
}

void WmfPlayer::Select(std::size_t index) {
  const GdiObject* object = objects_.Get(index);
  if (object == nullptr) return;
  DcState& s = canvas_.State();
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
    case GdiObject::Kind::kRegion:
      // Selecting a region makes it the clipping region.
      canvas_.CombineClip(canvas_.OutputRegion(object->region), 5);
      break;
    default:
      break;
  }
}

const std::vector<QRectF>* WmfPlayer::RegionAt(std::size_t index) const {
  const GdiObject* object = objects_.Get(index);
  return object != nullptr && object->kind == GdiObject::Kind::kRegion ? &object->region : nullptr;
}

void WmfPlayer::CreateRegion() {
  // A region: a header, then scans of one band each, every band listing its
  // left/right pairs and repeating its count at the end.
  GdiObject object;
  object.kind = GdiObject::Kind::kRegion;
  try {
    const std::size_t base = kRecordHeaderSize;
    const std::size_t scans = rec_.U16(base + 10);
    std::size_t at = base + 22;
    for (std::size_t i = 0; i < scans; ++i) {
      const std::size_t coordinates = rec_.U16(at);
      const double top = rec_.S16(at + 2), bottom = rec_.S16(at + 4);
      if (!rec_.Has(at + 6, coordinates * 2 + 2))
        throw ImageError("a region is shorter than it claims");
      if (object.region.size() + coordinates / 2 > MetafileCanvas::kMaxRegionRects)
        throw ImageError("a region has too many rectangles");
      for (std::size_t k = 0; k + 1 < coordinates; k += 2)
        object.region.emplace_back(QPointF(rec_.S16(at + 6 + 2 * k), top),
                                   QPointF(rec_.S16(at + 8 + 2 * k), bottom));
      at += 6 + coordinates * 2 + 2;
    }
  } catch (const ImageError&) {
    // The slot is taken all the same, so later indices stay right.
    object.region.clear();
  }
  AddObject(std::move(object));
}

void WmfPlayer::CreateFont() {
  GdiObject object;
  object.kind = GdiObject::Kind::kFont;
  GdiFont& f = object.font;
  f.height = P(0);
  f.escapement = P(2);
  f.weight = P(4);
  const std::size_t base = kRecordHeaderSize + 10;
  f.italic = rec_.Has(base, 1) && rec_.U8(base) != 0;
  f.underline = rec_.Has(base + 1, 1) && rec_.U8(base + 1) != 0;
  f.strikeout = rec_.Has(base + 2, 1) && rec_.U8(base + 2) != 0;
  // The face name follows at byte 18 of the font, up to 32 bytes ending in NUL.
  const std::size_t face = kRecordHeaderSize + 18;
  QByteArray name;
  for (std::size_t i = 0; i < 32 && rec_.Has(face + i, 1) && rec_.U8(face + i) != 0; ++i)
    name.append(static_cast<char>(rec_.U8(face + i)));
  f.face = QString::fromLatin1(name);
  AddObject(std::move(object));
}

void WmfPlayer::Text(bool extended) {
  TextRun run;
  std::size_t count = 0, string_at = 0;
  if (!extended) {
    count = U(0);
    string_at = kRecordHeaderSize + 2;
    const std::size_t after = string_at + ((count + 1) & ~std::size_t{1});
    run.reference = QPointF(rec_.S16(after + 2), rec_.S16(after));
  } else {
    run.reference = QPointF(P(1), P(0));
    count = U(2);
    run.options = U(3);
    string_at = kRecordHeaderSize + 8;
    if ((run.options & 6) != 0) {
      run.has_rect = true;
      run.rect = QRectF(QPointF(P(4), P(5)), QPointF(P(6), P(7)));
      string_at += 8;
    }
  }
  const ByteSpan bytes = rec_.Sub(string_at, count);
  run.text = QString::fromLatin1(reinterpret_cast<const char*>(bytes.Data()),
                                 static_cast<qsizetype>(count));
  if (extended) {
    // The advances follow the string (padded to an even length) when present.
    const std::size_t dx_at = string_at + ((count + 1) & ~std::size_t{1});
    if (count > 0 && rec_.Has(dx_at, 2 * count)) {
      run.dx.reserve(count);
      for (std::size_t i = 0; i < count; ++i) run.dx.push_back(rec_.S16(dx_at + 2 * i));
    }
  }
  canvas_.Text(run);
}

void WmfPlayer::Blit(std::uint16_t function) {
  // A record is without a bitmap when its size is exactly that of its parameters.
  const bool has_bitmap = rec_.Size() / 2 != static_cast<std::size_t>(function >> 8) + 3;
  const std::uint32_t rop = function == kSetDibToDev ? 0x00CC0020 : U32At(0);
  double sh = 0, sw = 0, sy = 0, sx = 0, dh = 0, dw = 0, dy = 0, dx = 0;
  int next = 0;
  switch (function) {
    case kStretchDib:
      sh = P(3), sw = P(4), sy = P(5), sx = P(6), dh = P(7), dw = P(8), dy = P(9), dx = P(10);
      next = 11;
      break;
    case kSetDibToDev:
      sy = P(3), sx = P(4), sh = dh = P(5), sw = dw = P(6), dy = P(7), dx = P(8);
      next = 9;
      break;
    case kStretchBlt:
    case kDibStretchBlt: {
      sh = P(2), sw = P(3), sy = P(4), sx = P(5);
      const int d = has_bitmap ? 6 : 7;  // the bitmap-less form has a reserved word
      dh = P(d), dw = P(d + 1), dy = P(d + 2), dx = P(d + 3);
      next = d + 4;
      break;
    }
    default: {  // kBitBlt, kDibBitBlt
      sy = P(2), sx = P(3);
      const int d = has_bitmap ? 4 : 5;
      dh = sh = P(d), dw = sw = P(d + 1), dy = P(d + 2), dx = P(d + 3);
      next = d + 4;
      break;
    }
  }
  if (!has_bitmap) {
    canvas_.Blit(dx, dy, dw, dh, nullptr, 0, 0, 0, 0, rop);
    return;
  }
  if (function == kSetDibToDev) {
    // No stretching: the extents are device pixels.
    const QTransform t = canvas_.LogicalToOutput();
    if (t.m11() == 0 || t.m22() == 0) return;
    dw = sw / t.m11();
    dh = sh / t.m22();
  }
  if (canvas_.IsMeasuring()) {
    canvas_.Blit(dx, dy, dw, dh, nullptr, 0, 0, 0, 0, kPatCopy);
    return;
  }
  const std::size_t at = kRecordHeaderSize + 2 * static_cast<std::size_t>(next);
  const ByteSpan data = rec_.Sub(at, rec_.Size() - std::min(at, rec_.Size()));
  RecordDib dib;
  if (function == kBitBlt || function == kStretchBlt) {
    const DcState& s = canvas_.State();
    DecodeBitmap16(data, s.text_colour, s.bk_colour, dib.pixels);
  } else {
    DecodeRecordDib(data, 0, dib, canvas_.MaxBitmapPixels());
  }
  const bool dib_origin = function == kStretchDib || function == kSetDibToDev;
  DrawDib(canvas_, dx, dy, dw, dh, dib, static_cast<int>(sx), static_cast<int>(sy),
          static_cast<int>(sw), static_cast<int>(sh), rop, dib_origin);
}

void WmfPlayer::Play(ByteSpan record, std::uint16_t function) {
  rec_ = record;
  DcState& s = canvas_.State();
  switch (function) {
    case kSaveDc:
      canvas_.SaveDc();
      break;
    case kRestoreDc:
      canvas_.RestoreDc(static_cast<int>(P(0)));
      break;
    case kSetBkMode:
      s.bk_mode = U(0);
      break;
    case kSetMapMode:
      s.map_mode = U(0);
      break;
    case kSetPolyFillMode:
      s.poly_fill_mode = U(0);
      break;
    case kSetTextAlign:
      s.text_align = U(0);
      break;
    case kSetBkColor:
      s.bk_colour = U32At(0) & 0xFFFFFF;
      break;
    case kSetTextColor:
      s.text_colour = U32At(0) & 0xFFFFFF;
      break;
    case kSetWindowOrg:
      s.window_org = QPointF(P(1), P(0));
      break;
    case kSetWindowExt:
      s.window_ext = QPointF(P(1), P(0));
      break;
    case kSetViewportOrg:
      s.viewport_org = QPointF(P(1), P(0));
      break;
    case kSetViewportExt:
      s.viewport_ext = QPointF(P(1), P(0));
      break;
    case kOffsetWindowOrg:
      s.window_org += QPointF(P(1), P(0));
      break;
    case kOffsetViewportOrg:
      s.viewport_org += QPointF(P(1), P(0));
      break;
    case kScaleWindowExt:
    case kScaleViewportExt: {
      QPointF& ext = function == kScaleWindowExt ? s.window_ext : s.viewport_ext;
      if (P(0) != 0 && P(2) != 0) ext = QPointF(ext.x() * P(3) / P(2), ext.y() * P(1) / P(0));
      break;
    }
    case kMoveTo:
      canvas_.MoveTo(QPointF(P(1), P(0)));
      break;
    case kLineTo:
      canvas_.LineTo(QPointF(P(1), P(0)));
      break;
    case kExcludeClipRect:
      canvas_.ExcludeClipRect(P(3), P(2), P(1), P(0));
      break;
    case kIntersectClipRect:
      canvas_.IntersectClipRect(P(3), P(2), P(1), P(0));
      break;
    case kOffsetClipRgn:
      canvas_.OffsetClip(QPointF(P(1), P(0)));
      break;
    case kEllipse:
      canvas_.Ellipse(P(3), P(2), P(1), P(0));
      break;
    case kRectangle:
      canvas_.Rectangle(P(3), P(2), P(1), P(0));
      break;
    case kRoundRect:
      canvas_.RoundRect(P(5), P(4), P(3), P(2), P(1), P(0));
      break;
    case kArc:
    case kPie:
    case kChord:
      canvas_.ArcShape(function == kArc   ? ArcKind::kArc
                       : function == kPie ? ArcKind::kPie
                                          : ArcKind::kChord,
                       P(7), P(6), P(5), P(4), QPointF(P(3), P(2)), QPointF(P(1), P(0)));
      break;
    case kSetPixel:
      canvas_.SetPixel(QPointF(P(3), P(2)), U32At(0) & 0xFFFFFF);
      break;
    case kPolygon:
      canvas_.Polygon(Points(1, U(0)));
      break;
    case kPolyline:
      canvas_.Polyline(Points(1, U(0)));
      break;
    case kPolyPolygon: {
      const std::size_t polygons = U(0);
      if (polygons > ParamCount()) throw ImageError("a record holds fewer polygons than it claims");
      std::vector<QPolygonF> all;
      int at = 1 + static_cast<int>(polygons);
      for (std::size_t i = 0; i < polygons; ++i) {
        const std::size_t n = U(1 + static_cast<int>(i));
        all.push_back(Points(at, n));
        at += static_cast<int>(2 * n);
      }
      canvas_.PolyPolygon(all);
      break;
    }
    case kPatBlt:
      canvas_.Blit(P(5), P(4), P(3), P(2), nullptr, 0, 0, 0, 0, U32At(0));
      break;
    case kTextOut:
      Text(false);
      break;
    case kExtTextOut:
      Text(true);
      break;
    case kBitBlt:
    case kStretchBlt:
    case kDibBitBlt:
    case kDibStretchBlt:
    case kSetDibToDev:
    case kStretchDib:
      Blit(function);
      break;
    case kSelectObject:
      Select(U(0));
      break;
    case kDeleteObject:
      objects_.Remove(U(0));
      break;
    case kCreatePenIndirect: {
      GdiObject object;
      object.kind = GdiObject::Kind::kPen;
      object.pen.style = U(0);
      object.pen.width = P(1);
      object.pen.colour = U32At(3) & 0xFFFFFF;
      AddObject(std::move(object));
      break;
    }
    case kCreateBrushIndirect: {
      GdiObject object;
      object.kind = GdiObject::Kind::kBrush;
      object.brush.style = U(0);
      object.brush.colour = U32At(1) & 0xFFFFFF;
      object.brush.hatch = U(3);
      AddObject(std::move(object));
      break;
    }
    case kDibCreatePatternBrush: {
      GdiObject object;
      object.kind = GdiObject::Kind::kBrush;
      object.brush.style = 3;
      object.brush.colour = 0;
      try {
        RecordDib dib;
        if (canvas_.IsMeasuring()) {
          // Only where things are drawn matters, not with what.
        } else if (U(0) == 3) {
          DecodeBitmap16(rec_.Sub(10, rec_.Size() - 10), 0, 0xFFFFFF, dib.pixels);
        } else {
          DecodeRecordDib(rec_.Sub(10, rec_.Size() - 10), 0, dib, canvas_.MaxBitmapPixels());
        }
        object.brush.pattern = PatternImage(std::move(dib.pixels));
      } catch (const ImageError&) {
        // The slot is taken all the same, so later indices stay right.
      }
      AddObject(std::move(object));
      break;
    }
    case kCreateFontIndirect:
      CreateFont();
      break;
    case kCreatePatternBrush: {
      GdiObject object;
      object.kind = GdiObject::Kind::kBrush;
      object.brush.colour = 0;
      AddObject(std::move(object));
      break;
    }
    case kCreatePalette:
      AddObject(GdiObject{});
      break;
    case kCreateRegion:
      CreateRegion();
      break;
    case kSelectClipRegion:
      if (const auto* region = RegionAt(U(0)))
        canvas_.CombineClip(canvas_.OutputRegion(*region), 5);
      else
        canvas_.CombineClip(QRegion(), 5);  // no region: no clipping
      break;
    case kFillRegion:
    case kFrameRegion: {
      const auto* region = RegionAt(U(0));
      const GdiObject* brush = objects_.Get(U(1));
      if (region == nullptr || brush == nullptr || brush->kind != GdiObject::Kind::kBrush) break;
      if (function == kFillRegion)
        canvas_.FillRegion(*region, brush->brush);
      else
        canvas_.FrameRegion(*region, brush->brush, P(3), P(2));
      break;
    }
    case kPaintRegion:
      if (const auto* region = RegionAt(U(0))) canvas_.FillRegion(*region, s.brush);
      break;
    case kInvertRegion:
      if (const auto* region = RegionAt(U(0))) canvas_.InvertRegion(*region);
      break;
    default:
      break;  // not drawn; skipped by its declared size
  }
}

}  // namespace

WmfHeader ParseWmfHeader(ByteSpan file) {
  WmfHeader header;
  std::size_t at = 0;
  if (file.Has(0, 4) && file.U32(0) == kPlaceableKey) {
    if (!file.Has(0, kPlaceableHeaderSize)) throw ImageError("the metafile header is incomplete");
    header.placeable = true;
    header.left = file.S16(6);
    header.top = file.S16(8);
    header.right = file.S16(10);
    header.bottom = file.S16(12);
    header.units_per_inch = file.U16(14);
    at = kPlaceableHeaderSize;
    if (header.units_per_inch == 0) throw ImageError("the metafile gives no units per inch");
  }
  if (!file.Has(at, 18)) throw ImageError("the file is too short for a metafile");
  const std::uint16_t type = file.U16(at), header_words = file.U16(at + 2);
  const std::uint16_t version = file.U16(at + 4);
  if ((type != 1 && type != 2) || header_words != 9 || (version != 0x0100 && version != 0x0300))
    throw ImageError("the file is not a Windows metafile");
  header.objects = file.U16(at + 10);
  header.first_record = at + 18;
  return header;
}

bool FindWmfWindow(ByteSpan file, const WmfHeader& header, QPoint& origin, QSize& extent) {
  bool found_origin = false;
  std::size_t at = header.first_record;
  for (std::size_t n = 0; n < kMaxMetafileRecords && file.Has(at, kRecordHeaderSize); ++n) {
    const std::uint32_t words = file.U32(at);
    const std::uint16_t function = file.U16(at + 4);
    if (words < 3 || words > (file.Size() - at) / 2 || function == kEof) break;
    if (function == kSetWindowOrg && !found_origin && words >= 5) {
      origin = QPoint(file.S16(at + 8), file.S16(at + 6));
      found_origin = true;
    }
    if (function == kSetWindowExt && words >= 5) {
      extent = QSize(file.S16(at + 8), file.S16(at + 6));
      return true;
    }
    at += std::size_t{words} * 2;
  }
  return false;
}

void PlayWmf(ByteSpan file, const WmfHeader& header, MetafileCanvas& canvas) {
  WmfPlayer player(canvas, header.objects);
  std::size_t at = header.first_record;
  for (std::size_t n = 0; n < kMaxMetafileRecords && file.Has(at, kRecordHeaderSize); ++n) {
    const std::uint32_t words = file.U32(at);
    const std::uint16_t function = file.U16(at + 4);
    if (words < 3 || words > (file.Size() - at) / 2 || function == kEof) break;
    canvas.CheckCancel();
    try {
      player.Play(file.Sub(at, std::size_t{words} * 2), function);
    } catch (const MetafileTooCostly&) {
      throw;
    } catch (const ImageError&) {
      // A record that contradicts itself is skipped; the rest still draws.
    }
    at += std::size_t{words} * 2;
  }
}

}  // namespace zelk
