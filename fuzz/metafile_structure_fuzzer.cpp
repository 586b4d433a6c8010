// Metafiles built from the input's choices rather than mutated bytes: the input is
// read as a list of drawing steps (paths and what is done with them, clip rectangles,
// clip regions and region fills, shapes with pens of any width, transforms, saved
// states, text), which become well-formed WMF or EMF records. Byte mutation seldom
// gets a path of many crossing curves or a region of thousands of rectangles past
// the record checks; here every input is one.

#include <QString>
#include <algorithm>
#include <cstring>

#include "codecs/metafile_reader.h"
#include "fuzz_support.h"
#include "metafile_test_support.h"

namespace {

using zelk::test::Bytes;
using zelk::test::Put16;
using zelk::test::Put32;

// Reads choices off the input; past its end every choice is 0.
class Choices {
 public:
  Choices(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Empty() const { return at_ >= size_; }
  std::uint32_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint32_t Word() { return Byte() | Byte() << 8; }
  // 0 to n - 1.
  std::uint32_t Below(std::uint32_t n) { return n <= 256 ? Byte() % n : Word() % n; }
  // A coordinate: mostly on a picture of about side pixels, now and then far off.
  std::int32_t Coordinate(int side) {
    const std::uint32_t kind = Byte();
    if (kind < 230) return static_cast<std::int32_t>(Word() % static_cast<std::uint32_t>(side + 1));
    if (kind < 250) return static_cast<std::int32_t>(static_cast<std::int16_t>(Word()));
    return static_cast<std::int32_t>(Word() | Word() << 16);
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

constexpr int kSides[] = {16, 64, 200, 640, 1024, 4096};

void Emf(Choices& in) {
  const int side = kSides[in.Below(6)];
  zelk::test::EmfBuilder b;
  auto point_list = [&](std::uint32_t type, int count, bool small) {
    Bytes p;
    for (int i = 0; i < 4; ++i) Put32(p, 0);
    Put32(p, static_cast<std::uint32_t>(count));
    for (int i = 0; i < 2 * count; ++i) {
      const std::int32_t v = in.Coordinate(side);
      if (small)
        Put16(p, static_cast<std::uint32_t>(v));
      else
        Put32(p, static_cast<std::uint32_t>(v));
    }
    b.Raw(type, p);
  };
  auto region_data = [&](Bytes& p) {
    const std::uint32_t count = in.Below(4) == 0 ? 1 + in.Below(4000) : 1 + in.Below(12);
    const bool banded = in.Byte() % 2 == 0;
    Put32(p, 32 + 16 * count);  // cbRgnData
    return std::pair{count, banded};
  };
  auto region_rects = [&](Bytes& p, std::uint32_t count, bool banded) {
    for (std::uint32_t v : {32u, 1u, count, 16 * count, 0u, 0u, 0u, 0u}) Put32(p, v);
    for (std::uint32_t i = 0; i < count; ++i) {
      if (banded) {
        // Rows of narrow rectangles, as a region of a curved shape has.
        const int row = static_cast<int>(i / 4), x = static_cast<int>((i % 4) * 8 + in.Below(6));
        for (int v : {x, row, x + 1 + static_cast<int>(in.Below(6)), row + 1})
          Put32(p, static_cast<std::uint32_t>(v));
      } else {
        for (int k = 0; k < 4; ++k) Put32(p, static_cast<std::uint32_t>(in.Coordinate(side)));
      }
    }
  };
  for (int step = 0; step < 400 && !in.Empty(); ++step) {
    switch (in.Below(24)) {
      case 0:
        b.Rec(59, {});  // BEGINPATH
        break;
      case 1:
        b.Rec(60, {});  // ENDPATH
        break;
      case 2:
        b.Rec(61, {});  // CLOSEFIGURE
        break;
      case 3:
        b.Rec(62 + in.Below(3), {});  // FILLPATH, STROKEANDFILLPATH, STROKEPATH
        break;
      case 4:
        b.Rec(67, {1 + in.Below(5)});  // SELECTCLIPPATH
        break;
      case 5:  // POLYBEZIER(TO): 1 + 3k points, up to a few hundred curves
        point_list(in.Below(2) == 0 ? 2 : 5,
                   1 + 3 * static_cast<int>(1 + in.Below(in.Below(8) == 0 ? 300 : 4)), false);
        break;
      case 6:  // POLYGON16 or POLYLINE16
        point_list(in.Below(2) == 0 ? 86 : 87,
                   2 + static_cast<int>(in.Below(in.Below(8) == 0 ? 2000 : 8)), true);
        break;
      case 7:  // POLYLINETO16, POLYGON
        point_list(in.Below(2) == 0 ? 89 : 3, 1 + static_cast<int>(in.Below(16)),
                   in.Byte() % 2 == 0);
        break;
      case 8:
      case 9: {  // INTERSECTCLIPRECT, EXCLUDECLIPRECT
        const std::uint32_t type = in.Below(2) == 0 ? 30 : 29;
        b.Rec(type,
              {in.Coordinate(side), in.Coordinate(side), in.Coordinate(side), in.Coordinate(side)});
        break;
      }
      case 10: {  // EXTSELECTCLIPRGN
        Bytes p;
        const auto [count, banded] = region_data(p);
        Put32(p, 1 + in.Below(5));
        region_rects(p, count, banded);
        b.Raw(75, p);
        break;
      }
      case 11: {  // FILLRGN, FRAMERGN
        Bytes p(16, 0);
        const bool frame = in.Byte() % 2 == 0;
        const auto [count, banded] = region_data(p);
        Put32(p, 1);  // the brush in slot 1
        if (frame) Put32(p, 1 + in.Below(20)), Put32(p, 1 + in.Below(20));
        region_rects(p, count, banded);
        b.Raw(frame ? 72 : 71, p);
        break;
      }
      case 12: {  // INVERTRGN, PAINTRGN
        Bytes p(16, 0);
        const auto [count, banded] = region_data(p);
        region_rects(p, count, banded);
        b.Raw(73 + in.Below(2), p);
        break;
      }
      case 13:
        b.Rec(26,
              {in.Coordinate(side) - side / 2, in.Coordinate(side) - side / 2});  // OFFSETCLIPRGN
        break;
      case 14:
        b.Rec(33, {});  // SAVEDC
        break;
      case 15: {  // RESTOREDC, relative or absolute
        const int level = static_cast<int>(in.Below(8));
        b.Rec(34, {in.Byte() % 2 == 0 ? -level : level});
        break;
      }
      case 16:  // CREATEPEN of any width, selected
        b.Rec(38, {2, in.Below(6) | in.Below(3) << 8 | in.Below(3) << 12,
                   in.Below(4) == 0 ? in.Below(200) : in.Below(4), 0, in.Word()});
        b.Rec(37, {2});
        break;
      case 17:  // a solid or hatched brush, selected
        b.Rec(39, {1, in.Below(3), in.Word() | in.Byte() << 16, in.Below(6)});
        b.Rec(37, {1});
        break;
      case 18:
        b.Rec(19, {1 + in.Below(2)});  // SETPOLYFILLMODE
        break;
      case 19: {  // SETWORLDTRANSFORM: a scale, a rotation or a shear
        float m[6] = {1, 0, 0, 1, 0, 0};
        const float k = static_cast<float>(in.Below(64)) / 8 - 4;
        m[in.Below(4)] = k;
        m[4] = static_cast<float>(in.Coordinate(side)),
        m[5] = static_cast<float>(in.Coordinate(side));
        Bytes p;
        for (float f : m) {
          std::uint32_t u;
          std::memcpy(&u, &f, 4);
          Put32(p, u);
        }
        b.Raw(35, p);
        break;
      }
      case 20:
      case 21:  // RECTANGLE, ELLIPSE
        b.Rec(in.Below(2) == 0 ? 43 : 42,
              {in.Coordinate(side), in.Coordinate(side), in.Coordinate(side), in.Coordinate(side)});
        break;
      case 22: {  // a font and EXTTEXTOUTW
        Bytes font;
        Put32(font, 3);
        for (std::uint32_t v :
             {0u - (1 + in.Below(in.Below(4) == 0 ? 2000 : 60)), 0u, in.Below(3600), 0u, 400u})
          Put32(font, v);
        font.resize(font.size() + 8 + 64, 0);
        b.Raw(82, font).Rec(37, {3});
        const std::uint32_t count = in.Below(in.Below(4) == 0 ? 3000 : 20);
        const std::uint32_t options = in.Below(8) & 6;
        Bytes text;
        for (std::int64_t v : {0, 0, 0, 0, 1, 0, 0}) Put32(text, static_cast<std::uint32_t>(v));
        Put32(text, static_cast<std::uint32_t>(in.Coordinate(side)));
        Put32(text, static_cast<std::uint32_t>(in.Coordinate(side)));
        for (std::uint32_t v : {count, 76u, options}) Put32(text, v);
        for (int k = 0; k < 4; ++k) Put32(text, static_cast<std::uint32_t>(in.Coordinate(side)));
        Put32(text, 0);
        for (std::uint32_t i = 0; i < count; ++i) Put16(text, 'A' + (i * 7 + in.Below(4)) % 26);
        b.Raw(84, text);
        break;
      }
      default:
        b.Rec(68, {});  // ABORTPATH
        break;
    }
  }
  const Bytes emf = b.Build(side, side);
  zelk::fuzz::DecodeLikeTheLoader(zelk::ReadEmf, emf.data(), emf.size());
}

void Wmf(Choices& in) {
  const int side = kSides[in.Below(5)];
  zelk::test::WmfBuilder b;
  b.Rec(0x020B, {0, 0}).Rec(0x020C, {side, side});
  // Objects: 0 red brush, 1 pen; regions and fonts take the next free slots.
  b.Rec(0x02FC, {0, 0x00FF, 0, 0}).Rec(0x012D, {0});
  b.Rec(0x02FA, {0, 1, 0, 0, 0}).Rec(0x012D, {1});
  int objects = 2;
  auto coordinate = [&] {
    return static_cast<int>(static_cast<std::int16_t>(in.Coordinate(side)));
  };
  for (int step = 0; step < 400 && !in.Empty(); ++step) {
    switch (in.Below(14)) {
      case 0: {  // CREATEREGION: bands of left/right pairs
        const int scans = static_cast<int>(1 + in.Below(in.Below(4) == 0 ? 600 : 6));
        Bytes p;
        for (int v : {0, 6, 0, 0, 0, scans, 0, 0, 0, side, side})
          Put16(p, static_cast<std::uint32_t>(v));
        for (int s = 0; s < scans; ++s) {
          const int pairs = static_cast<int>(1 + in.Below(in.Below(4) == 0 ? 40 : 3));
          const int top = in.Below(8) == 0 ? coordinate() : s * 2,
                    bottom = top + 1 + static_cast<int>(in.Below(4));
          Put16(p, static_cast<std::uint32_t>(2 * pairs));
          Put16(p, static_cast<std::uint32_t>(top)), Put16(p, static_cast<std::uint32_t>(bottom));
          int x = static_cast<int>(in.Below(8));
          for (int k = 0; k < pairs; ++k) {
            const int right = x + 1 + static_cast<int>(in.Below(8));
            Put16(p, static_cast<std::uint32_t>(x)), Put16(p, static_cast<std::uint32_t>(right));
            x = right + 1 + static_cast<int>(in.Below(8));
          }
          Put16(p, static_cast<std::uint32_t>(2 * pairs));
        }
        b.Raw(0x06FF, p);
        ++objects;
        break;
      }
      case 1:  // SELECTCLIPREGION, or none
        b.Rec(0x012C,
              {in.Below(8) == 0 ? 0xFFFF
                                : static_cast<int>(in.Below(static_cast<std::uint32_t>(objects)))});
        break;
      case 2: {  // FILLREGION, FRAMEREGION, INVERTREGION, PAINTREGION
        const int region = static_cast<int>(in.Below(static_cast<std::uint32_t>(objects)));
        switch (in.Below(4)) {
          case 0:
            b.Rec(0x0228, {region, 0});
            break;
          case 1:
            b.Rec(0x0429,
                  {region, 0, static_cast<int>(in.Below(20)), static_cast<int>(in.Below(20))});
            break;
          case 2:
            b.Rec(0x012A, {region});
            break;
          default:
            b.Rec(0x012B, {region});
            break;
        }
        break;
      }
      case 3:
      case 4:  // INTERSECTCLIPRECT, EXCLUDECLIPRECT
        b.Rec(in.Below(2) == 0 ? 0x0416 : 0x0415,
              {coordinate(), coordinate(), coordinate(), coordinate()});
        break;
      case 5:
        b.Rec(0x0220, {coordinate() - side / 2, coordinate() - side / 2});  // OFFSETCLIPRGN
        break;
      case 6:
        b.Rec(0x001E, {});  // SAVEDC
        break;
      case 7: {
        const int level = static_cast<int>(in.Below(8));
        b.Rec(0x0127, {in.Byte() % 2 == 0 ? -level : level});
        break;
      }
      case 8:
      case 9: {  // POLYGON or POLYLINE
        const int n = static_cast<int>(2 + in.Below(in.Below(8) == 0 ? 3000 : 8));
        Bytes p;
        Put16(p, static_cast<std::uint32_t>(n));
        for (int i = 0; i < 2 * n; ++i) Put16(p, static_cast<std::uint32_t>(coordinate()));
        b.Raw(in.Below(2) == 0 ? 0x0324 : 0x0325, p);
        break;
      }
      case 10:  // a pen of any width, replacing slot 1
        b.Rec(0x01F0, {1})
            .Rec(0x02FA, {static_cast<int>(in.Below(6)),
                          static_cast<int>(in.Below(4) == 0 ? in.Below(200) : in.Below(4)), 0,
                          static_cast<int>(in.Word()), 0});
        b.Rec(0x012D, {1});
        break;
      case 11:  // RECTANGLE, ELLIPSE
        b.Rec(in.Below(2) == 0 ? 0x041B : 0x0418,
              {coordinate(), coordinate(), coordinate(), coordinate()});
        break;
      case 12: {  // a font and TEXTOUT
        b.Rec(0x02FB, {-static_cast<int>(1 + in.Below(in.Below(4) == 0 ? 2000 : 60)), 0, 0, 0, 400,
                       0, 0, 0});
        b.Rec(0x012D, {objects++});
        const int count = static_cast<int>(in.Below(in.Below(4) == 0 ? 5000 : 20));
        Bytes p;
        Put16(p, static_cast<std::uint32_t>(count));
        for (int i = 0; i < count; ++i) p.push_back(static_cast<std::uint8_t>('A' + (i * 5) % 26));
        if (count % 2 != 0) p.push_back(0);
        Put16(p, static_cast<std::uint32_t>(coordinate())),
            Put16(p, static_cast<std::uint32_t>(coordinate()));
        b.Raw(0x0521, p);
        break;
      }
      default:
        b.Rec(0x0106, {static_cast<int>(1 + in.Below(2))});  // SETPOLYFILLMODE
        break;
    }
  }
  const Bytes wmf = b.Build(side, side, 96, std::min(objects + 8, 65535));
  zelk::fuzz::DecodeLikeTheLoader(zelk::ReadWmf, wmf.data(), wmf.size());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  zelk::fuzz::EnsureGuiApplication();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Choices in(data, size);
  if (in.Byte() % 2 == 0)
    Emf(in);
  else
    Wmf(in);
  return 0;
}
