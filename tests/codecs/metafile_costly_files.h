#pragma once
// Small metafiles that ask for far more drawing work than their size suggests: clip
// paths of crossing curves, polygons and wide lines whose edges all span the whole
// picture, and long runs of large text. The tests and the benchmarks build them here.

#include <random>

#include "metafile_test_support.h"

namespace zelk::test {

inline constexpr int kCostlySide = 4096;

// EMF record types used below.
enum : std::uint32_t {
  kEmrPolyBezier = 2,
  kEmrPolygon16 = 86,
  kEmrPolyline16 = 87,
  kEmrCreatePen = 38,
  kEmrCreateBrush = 39,
  kEmrSelectObject = 37,
  kEmrRectangle = 43,
  kEmrBeginPath = 59,
  kEmrEndPath = 60,
  kEmrSelectClipPath = 67,
};

// A path of `curves` random Béziers over the whole picture made the clipping region
// (RGN_COPY), then one rectangle filled over everything.
inline Bytes ClipPathOfCrossingCurves(int curves, unsigned seed = 7) {
  std::mt19937 random(seed);
  auto coordinate = [&] { return static_cast<std::int64_t>(random() % kCostlySide); };
  EmfBuilder b;
  b.Rec(kEmrCreateBrush, {1, 0, 0x0000FF, 0}).Rec(kEmrSelectObject, {1});
  b.Rec(kEmrBeginPath, {});
  for (int i = 0; i < curves; ++i) {
    Bytes p;
    for (int v = 0; v < 4; ++v) Put32(p, 0);  // bounds
    Put32(p, 4);
    for (int k = 0; k < 8; ++k) Put32(p, static_cast<std::uint32_t>(coordinate()));
    b.Raw(kEmrPolyBezier, p);
  }
  b.Rec(kEmrEndPath, {}).Rec(kEmrSelectClipPath, {5});
  b.Rec(kEmrRectangle, {0, 0, kCostlySide, kCostlySide});
  return b.Build(kCostlySide, kCostlySide);
}

// n 16-bit points zigzagging between the top and bottom rows, left to right.
inline Bytes ZigzagPoints(int n) {
  Bytes p;
  for (int v = 0; v < 4; ++v) Put32(p, 0);  // bounds
  Put32(p, static_cast<std::uint32_t>(n));
  for (int i = 0; i < n; ++i) {
    Put16(p, static_cast<std::uint32_t>(static_cast<std::int64_t>(i) * (kCostlySide - 1) / n));
    Put16(p, static_cast<std::uint32_t>(i % 2 == 0 ? 0 : kCostlySide - 1));
  }
  return p;
}

// One filled POLYGON16 of n zigzag points: every edge crosses every row.
inline Bytes ZigzagPolygon(int n) {
  EmfBuilder b;
  b.Rec(kEmrCreateBrush, {1, 0, 0x0000FF, 0}).Rec(kEmrSelectObject, {1});
  b.Raw(kEmrPolygon16, ZigzagPoints(n));
  return b.Build(kCostlySide, kCostlySide);
}

// One POLYLINE16 of n zigzag points drawn with a pen `width` pixels wide.
inline Bytes ZigzagPolyline(int n, int width) {
  EmfBuilder b;
  b.Rec(kEmrCreatePen, {1, 0, width, 0, 0x000000}).Rec(kEmrSelectObject, {1});
  b.Raw(kEmrPolyline16, ZigzagPoints(n));
  return b.Build(kCostlySide, kCostlySide);
}

// A placeable WMF of 1000 x 1000 pixels with `records` TEXTOUT records of `count`
// capital Ms in a font `pixels` high.
inline Bytes LargeTextRuns(int records, int count, int pixels) {
  WmfBuilder b;
  b.Rec(0x020B, {0, 0}).Rec(0x020C, {1000, 1000});
  b.Rec(0x02FB, {-pixels, 0, 0, 0, 400, 0, 0, 0});
  b.Rec(0x012D, {0});
  for (int r = 0; r < records; ++r) {
    Bytes p;
    Put16(p, static_cast<std::uint32_t>(count));
    for (int i = 0; i < count; ++i) p.push_back('M');
    if (count % 2 != 0) p.push_back(0);
    Put16(p, static_cast<std::uint32_t>(100 + (r * 37) % 800));  // y
    Put16(p, 0);                                                 // x
    b.Raw(0x0521, p);
  }
  return b.Build(1000, 1000, 96, 4);
}

// A megabyte of lines across most of a large picture: about two seconds of drawing,
// within its budget.
inline Bytes SlowButFairDrawing() {
  EmfBuilder b;
  b.Rec(kEmrCreatePen, {1, 0, 1, 0, 0x000000}).Rec(kEmrSelectObject, {1});
  for (int i = 0; i < 28000; ++i) {
    const int x = (i * 7) % 4000, y = (i * 13) % 3000;
    Bytes p;
    for (int v : {0, 0, 0, 0, 2}) Put32(p, static_cast<std::uint32_t>(v));
    for (int v : {x, y, x + 60, y + 540}) Put16(p, static_cast<std::uint32_t>(v));
    b.Raw(kEmrPolyline16, p);
  }
  return b.Build(kCostlySide, kCostlySide);
}

}  // namespace zelk::test
