// The view's hot paths against a memcpy of one 1920 x 1080 view picture (32 bits a
// pixel) measured in the same run: the fitted render of a 1 MP and a 100 MP image, the
// zoomed render, one whole pan step, one wheel step of the inspection zoom and the
// naming of a colour that is not in the table.

#include <benchmark/benchmark.h>

#include "view_reference.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "core/colour/colour_hex.h"
#include "core/colour/named_colours.h"
#include "core/view/blit.h"
#include "core/view/geometry.h"
#include "core/view/mouse_steps.h"
#include "core/view/readout.h"
#include "core/view/status_line.h"
#include "core/view/view_mapping.h"
#include "core/view/whole_zoom.h"
#include "core/view_image.h"
#include "platform/bitmap.h"

namespace zelk {
namespace {

using bench::BM_MemcpyView;
using bench::kViewH;
using bench::kViewW;

// Pixels that differ from their neighbours, so no run of equal pixels helps.
const Bitmap& Source(int w, int h) {
  static std::deque<std::pair<std::pair<int, int>, Bitmap>> cache;
  for (auto& [size, bitmap] : cache)
    if (size == std::make_pair(w, h)) return bitmap;
  Bitmap b;
  b.ResetUninitialised(w, h);
  std::uint32_t seed = 12345;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = b.Row(y);
    for (std::ptrdiff_t i = 0; i < b.Stride(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      row[i] = static_cast<std::uint8_t>(seed >> 24);
    }
  }
  cache.emplace_back(std::make_pair(w, h), std::move(b));
  return cache.back().second;
}

// 1 MP and 100 MP, 4:3.
constexpr int kSmallW = 1155, kSmallH = 866;
constexpr int kLargeW = 11547, kLargeH = 8660;

// The fitted view as the window draws it.
void BM_RenderFitted(benchmark::State& state) {
  const bool large = state.range(0) != 0;
  const Bitmap& src = large ? Source(kLargeW, kLargeH) : Source(kSmallW, kSmallH);
  ViewImage view;
  view.Reset(kViewW, kViewH);
  const double scale = FitViewScale(kViewW, kViewH, src.Width(), src.Height(), false);
  for (auto _ : state) {
    RenderMapped(src, view, FittedViewMapping(scale));
    benchmark::DoNotOptimize(view.Data());
    benchmark::ClobberMemory();
  }
}

// The least memory traffic a reduced render of the 100 MP image can make: each
// bitmap row that the fitted view samples, copied whole (the samples touch every cache
// line of those rows). Shows how near the blit comes to the memory's speed.
void BM_CopySampledRows(benchmark::State& state) {
  const Bitmap& src = Source(kLargeW, kLargeH);
  std::vector<std::uint8_t> scratch(static_cast<std::size_t>(src.Stride()));
  for (auto _ : state) {
    for (int y = 0; y < kViewH; ++y) {
      const int row = static_cast<int>(std::int64_t{y} * src.Height() / kViewH);
      std::memcpy(scratch.data(), src.Row(row), scratch.size());
      benchmark::DoNotOptimize(scratch.data());
    }
    benchmark::ClobberMemory();
  }
}

// The zoomed view of the whole image (the default box of a fitted view): every view
// pixel comes from the source.
void BM_RenderZoomBox(benchmark::State& state) {
  const bool large = state.range(0) != 0;
  const Bitmap& src = large ? Source(kLargeW, kLargeH) : Source(kSmallW, kSmallH);
  ViewImage view;
  view.Reset(kViewW, kViewH);
  const double scale = FitViewScale(kViewW, kViewH, src.Width(), src.Height(), false);
  const ZoomBox box =
      DefaultZoomBox(kViewW, kViewH, src.Width(), src.Height(), scale, /*enforce_aspect=*/false);
  for (auto _ : state) {
    RenderMapped(src, view, ZoomBoxViewMapping(box, scale, kViewW, kViewH));
    benchmark::DoNotOptimize(view.Data());
    benchmark::ClobberMemory();
  }
}

// One pan step of the zoomed view of the 100 MP image, as the main window runs it: the
// readout (point, colour name, texts), the pan step, the zoomed render and the status
// line. The file-size query of the status line is the window's and is left out.
void BM_PanStep(benchmark::State& state) {
  const Bitmap& src = Source(kLargeW, kLargeH);
  ViewImage view;
  view.Reset(kViewW, kViewH);
  const double scale = FitViewScale(kViewW, kViewH, src.Width(), src.Height(), false);
  const int shown_w = DisplayedExtent(src.Width(), scale);
  const int shown_h = DisplayedExtent(src.Height(), scale);
  ZoomBox box{400, 300, 880, 570};  // about 4x magnified
  PanAnchor anchor{900, 500};
  int step = 0;
  std::size_t length = 0;
  for (auto _ : state) {
    const int x = 900 + ((step & 1) ? 3 : -3), y = 500 + ((step & 2) ? 2 : -2);
    ++step;
    const SourcePoint point = ReadoutPoint(true, x, y, scale, box, kViewW, kViewH);
    const std::uint32_t rgb = view.PixelRgb(x, y);
    const std::string named =
        LookUpColourName(ColourRefHexToHtml(ColourRefHexText(ColourRefOfRgb(rgb))));
    const std::string status = ColourReadoutText(point, named) + ZoomBoxReadoutText(box, scale);
    const PanStepResult pan = PanStep(box, anchor, x, y, shown_w, shown_h);
    box = pan.Box;
    anchor = pan.Anchor;
    if (pan.Render) {
      RenderMapped(src, view, ZoomBoxViewMapping(box, scale, kViewW, kViewH));
      const std::string caption =
          BuildStatusLine(0, 1, "/home/user/pictures/large.jpg", 123456789, src.Width(),
                          src.Height(), ZoomMagnification(kViewW, scale, box));
      length += caption.size();
    }
    length += status.size();
    benchmark::DoNotOptimize(view.Data());
    benchmark::ClobberMemory();
  }
  benchmark::DoNotOptimize(length);
}

// One wheel step of the inspection zoom over the 100 MP image: the mapping about the
// pointer and the render. The steps go up the ladder from the fitted view to 128 and
// start again, the pointer wandering over the middle of the view. Its target is one
// 60 Hz frame (16.7 ms), which is more than 4 memcpys of the view.
void BM_WheelStep(benchmark::State& state) {
  const Bitmap& src = Source(kLargeW, kLargeH);
  ViewImage view;
  view.Reset(kViewW, kViewH);
  const double scale = FitViewScale(kViewW, kViewH, src.Width(), src.Height(), false);
  ViewMapping mapping = FittedViewMapping(scale);
  int k = 0, step = 0;
  for (auto _ : state) {
    const int x = 900 + (step * 37) % 120, y = 500 + (step * 53) % 80;
    ++step;
    k = WholeZoomUp(k, scale);
    if (k == 128 && mapping.x.Magnification() == 128) {
      k = 0;
      mapping = FittedViewMapping(scale);
    } else {
      mapping = ZoomAt(mapping, x, y, k);
    }
    RenderMapped(src, view, mapping);
    benchmark::DoNotOptimize(view.Data());
    benchmark::ClobberMemory();
  }
}

void BM_LookUpColourNameMiss(benchmark::State& state) {
  const std::string colours[] = {"123457", "FE0001", "7F7F80", "A1B2C3"};
  std::size_t i = 0;
  for (auto _ : state) {
    std::string named = LookUpColourName(colours[i++ & 3]);
    benchmark::DoNotOptimize(named);
  }
}

BENCHMARK(BM_MemcpyView)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopySampledRows)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderFitted)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderZoomBox)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PanStep)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WheelStep)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LookUpColourNameMiss)->Unit(benchmark::kNanosecond);

}  // namespace
}  // namespace zelk

BENCHMARK_MAIN();
