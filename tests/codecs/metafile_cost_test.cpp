// Drawing work a metafile asks for: small files whose clips, fills, wide lines or
// text would take minutes (or crash Qt) are refused within a fraction of a second;
// clips and boxes end exactly at their edges; playback stops when cancelled.

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "codecs/image_loader.h"
#include "codecs/metafile_reader.h"
#include "metafile_costly_files.h"

namespace zelk {
namespace {

using test::Bytes;
using test::EmfBuilder;
using test::WmfBuilder;

constexpr std::uint32_t kRed = 0xFF0000, kWhite = 0xFFFFFF;
constexpr std::int64_t kNullPen = 0x80000008;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The reason the file was refused, or "" when it was drawn; fails the test when it
// took longer than the few seconds a refusal may.
std::string RefusalWithin(const Bytes& data, bool wmf, double seconds = 3) {
  test::EnsureGuiApplication();
  const auto start = std::chrono::steady_clock::now();
  std::string reason;
  Bitmap out;
  try {
    if (wmf)
      ReadWmf(data.data(), data.size(), out);
    else
      ReadEmf(data.data(), data.size(), out);
  } catch (const ImageError& e) {
    reason = e.what();
  }
  EXPECT_LT(SecondsSince(start), seconds) << data.size() << " bytes";
  return reason;
}

void ExpectTooCostly(const std::string& reason) {
  EXPECT_NE(reason.find("too costly"), std::string::npos) << "reason: \"" << reason << '"';
}

// Each took from 3 seconds to minutes, and the clip paths crashed Qt (a region of
// 110,000 to 410,000 rectangles: Qt's raster engine allocates its rows times its
// rectangles at once and writes through the pointer when that fails).
TEST(MetafileCost, ClipPathsOfCrossingCurvesAreRefusedNotCrashed) {
  for (int curves : {100, 400, 1000}) {
    SCOPED_TRACE(curves);
    ExpectTooCostly(RefusalWithin(test::ClipPathOfCrossingCurves(curves), false));
  }
}

TEST(MetafileCost, PolygonsAndWideLinesWithManyEdgesPerRowAreRefused) {
  for (int points : {500, 2000, 24000}) {
    SCOPED_TRACE(points);
    ExpectTooCostly(RefusalWithin(test::ZigzagPolygon(points), false));
  }
  ExpectTooCostly(RefusalWithin(test::ZigzagPolyline(24000, 8), false));
  ExpectTooCostly(RefusalWithin(test::ZigzagPolyline(24000, 1), false));
}

TEST(MetafileCost, LongRunsOfLargeTextAreRefused) {
  const Bytes small = test::LargeTextRuns(1, 48000, 200);
  EXPECT_LT(small.size(), 50'000u);
  ExpectTooCostly(RefusalWithin(small, true));
  const Bytes large = test::LargeTextRuns(21, 48000, 200);
  EXPECT_GT(large.size(), 1'000'000u);
  ExpectTooCostly(RefusalWithin(large, true));
}

// The same kinds of drawing at a sensible size still draw.
TEST(MetafileCost, ModestPolygonsLinesAndClipPathsStillDraw) {
  EXPECT_EQ(RefusalWithin(test::ZigzagPolygon(40), false), "");
  EXPECT_EQ(RefusalWithin(test::ZigzagPolyline(40, 8), false), "");
  EXPECT_EQ(RefusalWithin(test::ClipPathOfCrossingCurves(3), false), "");
  EXPECT_EQ(RefusalWithin(test::LargeTextRuns(4, 40, 200), true), "");
}

// A clip path is a region of the pixels whose centres it holds, as a fill of the
// same path paints them.
TEST(MetafileCost, ClipPathHoldsThePixelsItsFillWouldPaint) {
  EmfBuilder b;
  b.Rec(test::kEmrCreateBrush, {1, 0, 0x0000FF, 0}).Rec(test::kEmrSelectObject, {1});
  b.Rec(test::kEmrSelectObject, {kNullPen});
  // A triangle with edges at odd slopes, clipped to, then everything filled.
  const Bytes triangle = [] {
    Bytes p;
    for (int v : {0, 0, 0, 0, 3, 3, 2, 57, 9, 20, 61})
      test::Put32(p, static_cast<std::uint32_t>(v));
    return p;
  }();
  b.Rec(test::kEmrBeginPath, {}).Raw(3, triangle).Rec(test::kEmrEndPath, {});
  b.Rec(test::kEmrSelectClipPath, {5}).Rec(test::kEmrRectangle, {0, 0, 64, 64});
  test::EnsureGuiApplication();
  const Bytes clipped = b.Build(64, 64);
  Bitmap via_clip;
  ReadEmf(clipped.data(), clipped.size(), via_clip);
  EmfBuilder f;
  f.Rec(test::kEmrCreateBrush, {1, 0, 0x0000FF, 0}).Rec(test::kEmrSelectObject, {1});
  f.Rec(test::kEmrSelectObject, {kNullPen}).Raw(3, triangle);
  const Bytes filled = f.Build(64, 64);
  Bitmap via_fill;
  ReadEmf(filled.data(), filled.size(), via_fill);
  EXPECT_EQ(test::Difference(via_clip, via_fill), "");
  EXPECT_EQ(via_clip.PixelRgb(20, 30), kRed);
}

// EXTSELECTCLIPRGN with RGN_COPY of the given device-pixel rectangles.
Bytes ClipRegionRecord(const std::vector<std::array<int, 4>>& rects) {
  Bytes p;
  const auto n = static_cast<std::uint32_t>(rects.size());
  for (std::uint32_t v : {32 + 16 * n, 5u, 32u, 1u, n, 16 * n, 0u, 0u, 0u, 0u}) test::Put32(p, v);
  for (const auto& r : rects)
    for (int v : r) test::Put32(p, static_cast<std::uint32_t>(v));
  return p;
}

// A clip of many rectangles on many rows goes to Qt another way (its region code
// would allocate rows x rectangles spans); both ways must clip exactly, to the
// pixel at every right and bottom edge.
TEST(MetafileCost, ComplexClipRegionsClipExactlyToTheirEdges) {
  for (int side : {120, 1200}) {
    SCOPED_TRACE(side);
    std::vector<std::array<int, 4>> rects;
    auto inside = [&](int x, int y) {
      const int a = y % 100, c = side / 2 + y % 50;
      return (x >= a && x < a + 10) || (x >= c && x < c + 7);
    };
    for (int y = 0; y < side; ++y) {
      const int a = y % 100, c = side / 2 + y % 50;
      rects.push_back({a, y, a + 10, y + 1});
      rects.push_back({c, y, c + 7, y + 1});
    }
    EmfBuilder b;
    b.Rec(test::kEmrCreateBrush, {1, 0, 0x0000FF, 0}).Rec(test::kEmrSelectObject, {1});
    b.Rec(test::kEmrSelectObject, {kNullPen});
    b.Raw(75, ClipRegionRecord(rects)).Rec(test::kEmrRectangle, {0, 0, side, side});
    test::EnsureGuiApplication();
    const Bytes emf = b.Build(side, side);
    Bitmap out;
    ReadEmf(emf.data(), emf.size(), out);
    int wrong = 0;
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x) wrong += out.PixelRgb(x, y) != (inside(x, y) ? kRed : kWhite);
    EXPECT_EQ(wrong, 0);
  }
}

// Every box a record gives (clip rectangles, region rectangles, a text's opaque box)
// covers its left and top edges and stops just before its right and bottom ones.
TEST(MetafileCost, BoxesEndJustBeforeTheirRightAndBottomEdges) {
  test::EnsureGuiApplication();
  auto expect_box = [](const Bitmap& out, int l, int t, int r, int b, std::uint32_t inside,
                       std::uint32_t outside) {
    EXPECT_EQ(out.PixelRgb(l, t), inside);
    EXPECT_EQ(out.PixelRgb(r - 1, b - 1), inside);
    EXPECT_EQ(out.PixelRgb(r, b - 1), outside);
    EXPECT_EQ(out.PixelRgb(r - 1, b), outside);
    EXPECT_EQ(out.PixelRgb(l - 1, t), outside);
    EXPECT_EQ(out.PixelRgb(l, t - 1), outside);
  };
  auto with_brush = [] {
    EmfBuilder b;
    b.Rec(test::kEmrCreateBrush, {1, 0, 0x0000FF, 0}).Rec(test::kEmrSelectObject, {1});
    b.Rec(test::kEmrSelectObject, {kNullPen});
    return b;
  };
  auto play = [](const Bytes& data, bool wmf) {
    Bitmap out;
    if (wmf)
      ReadWmf(data.data(), data.size(), out);
    else
      ReadEmf(data.data(), data.size(), out);
    return out;
  };
  {
    SCOPED_TRACE("EMF INTERSECTCLIPRECT");
    EmfBuilder b = with_brush();
    b.Rec(30, {10, 12, 20, 22}).Rec(test::kEmrRectangle, {0, 0, 40, 40});
    expect_box(play(b.Build(40, 40), false), 10, 12, 20, 22, kRed, kWhite);
  }
  {
    SCOPED_TRACE("EMF EXCLUDECLIPRECT");
    EmfBuilder b = with_brush();
    b.Rec(29, {10, 12, 20, 22}).Rec(test::kEmrRectangle, {0, 0, 40, 40});
    expect_box(play(b.Build(40, 40), false), 10, 12, 20, 22, kWhite, kRed);
  }
  {
    SCOPED_TRACE("EMF EXTSELECTCLIPRGN");
    EmfBuilder b = with_brush();
    b.Raw(75, ClipRegionRecord({{10, 12, 20, 22}})).Rec(test::kEmrRectangle, {0, 0, 40, 40});
    expect_box(play(b.Build(40, 40), false), 10, 12, 20, 22, kRed, kWhite);
  }
  {
    SCOPED_TRACE("EMF FILLRGN and INVERTRGN");
    EmfBuilder b = with_brush();
    Bytes fill(16, 0);
    for (std::uint32_t v : {48u, 1u, 32u, 1u, 1u, 16u, 0u, 0u, 0u, 0u, 10u, 12u, 20u, 22u})
      test::Put32(fill, v);
    b.Raw(71, fill);
    const Bytes region_only(fill.begin() + 24, fill.end());
    Bytes invert(16, 0);
    test::Put32(invert, 48);
    invert.insert(invert.end(), region_only.begin(), region_only.end());
    const Bitmap filled = play(b.Build(40, 40), false);
    expect_box(filled, 10, 12, 20, 22, kRed, kWhite);
    b.Raw(73, invert);
    expect_box(play(b.Build(40, 40), false), 10, 12, 20, 22, 0x00FFFFu, kWhite);
  }
  {
    SCOPED_TRACE("EMF opaque text box");
    EmfBuilder b;
    b.Rec(25, {0x0000FF});  // background red
    Bytes text;
    for (std::int64_t v : {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 76, 2, 10, 12, 20, 22, 0})
      test::Put32(text, static_cast<std::uint32_t>(v));
    b.Raw(84, text);
    expect_box(play(b.Build(40, 40), false), 10, 12, 20, 22, kRed, kWhite);
  }
  // WMF: a one-band region (rows 12 to 22, columns 10 to 20) filled, and made the clip.
  auto wmf = [] {
    WmfBuilder b;
    b.Rec(0x020B, {0, 0}).Rec(0x020C, {40, 40});
    b.Rec(0x02FC, {0, 0x00FF, 0, 0});                                              // 0: red brush
    b.Rec(0x02FA, {5, 0, 0, 0, 0});                                                // 1: null pen
    b.Rec(0x06FF, {0, 6, 0, 0, 30, 1, 12, 10, 12, 20, 22, 2, 12, 22, 10, 20, 2});  // 2
    b.Rec(0x012D, {0}).Rec(0x012D, {1});
    return b;
  };
  {
    SCOPED_TRACE("WMF FILLREGION");
    WmfBuilder b = wmf();
    b.Rec(0x0228, {2, 0});
    expect_box(play(b.Build(40, 40, 96), true), 10, 12, 20, 22, kRed, kWhite);
  }
  {
    SCOPED_TRACE("WMF SELECTCLIPREGION and INTERSECTCLIPRECT");
    WmfBuilder b = wmf();
    b.Rec(0x012C, {2}).Rec(0x041B, {40, 40, 0, 0});
    expect_box(play(b.Build(40, 40, 96), true), 10, 12, 20, 22, kRed, kWhite);
    WmfBuilder c = wmf();
    c.Rec(0x0416, {22, 20, 12, 10}).Rec(0x041B, {40, 40, 0, 0});
    expect_box(play(c.Build(40, 40, 96), true), 10, 12, 20, 22, kRed, kWhite);
  }
}

// RESTOREDC with a positive level brings back the state of that SaveDC (the first is
// level 1) and drops it and every later one.
TEST(MetafileCost, RestoreToAnAbsoluteLevelBringsBackThatSave) {
  WmfBuilder b;
  b.Rec(0x020B, {0, 0}).Rec(0x020C, {10, 40});
  b.Rec(0x02FA, {5, 0, 0, 0, 0}).Rec(0x012D, {0});         // null pen
  const int colours[] = {0x00FF, 0xFF00, 0x0000, 0xFFFF};  // low words: red, green, blue, yellow
  const int highs[] = {0, 0, 0xFF, 0};
  for (int i = 0; i < 4; ++i) b.Rec(0x02FC, {0, colours[i], highs[i], 0});  // brushes 1..4
  b.Rec(0x012D, {1}).Rec(0x001E, {});                                       // red, save 1
  b.Rec(0x012D, {2}).Rec(0x001E, {});                                       // green, save 2
  b.Rec(0x012D, {3}).Rec(0x001E, {});                                       // blue, save 3
  b.Rec(0x012D, {4});                                                       // yellow
  b.Rec(0x0127, {2});  // back to level 2: green
  b.Rec(0x041B, {10, 10, 0, 0});
  b.Rec(0x0127, {static_cast<int>(0xFFFF)});  // one back from there: level 1, red
  b.Rec(0x041B, {10, 20, 0, 10});
  b.Rec(0x0127, {static_cast<int>(0xFFFF)});  // nothing saved any more: stays red
  b.Rec(0x041B, {10, 30, 0, 20});
  test::EnsureGuiApplication();
  const Bytes data = b.Build(40, 10, 96);
  Bitmap out;
  ReadWmf(data.data(), data.size(), out);
  EXPECT_EQ(out.PixelRgb(5, 5), 0x00FF00u);
  EXPECT_EQ(out.PixelRgb(15, 5), kRed);
  EXPECT_EQ(out.PixelRgb(25, 5), kRed);
}

TEST(MetafileCost, CancelStopsPlaybackPromptly) {
  test::EnsureGuiApplication();
  test::TempFolder folder;
  const std::filesystem::path path = folder.Path() / "slow.emf";
  const Bytes data = test::SlowButFairDrawing();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);

  DecodeControl control;
  std::chrono::steady_clock::time_point cancelled_at;
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancelled_at = std::chrono::steady_clock::now();
    control.cancel = true;
  });
  Bitmap out;
  bool stopped = false;
  const auto start = std::chrono::steady_clock::now();
  try {
    LoadImageFile(path.string(), out, &control);
  } catch (const DecodeCancelled&) {
    stopped = true;
  }
  const auto ended = std::chrono::steady_clock::now();
  canceller.join();
  EXPECT_TRUE(stopped);
  EXPECT_TRUE(out.Empty());
  // A hang catch only: the measured delay is a few milliseconds.
  if (stopped) {
    const double delay = std::chrono::duration<double>(ended - cancelled_at).count();
    EXPECT_LT(delay, 5.0);
    std::printf("cancel to stop: %.1f ms\n", delay * 1000);
  }
  EXPECT_LT(std::chrono::duration<double>(ended - start).count(), 10.0);
}

}  // namespace
}  // namespace zelk
