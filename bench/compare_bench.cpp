// Comparing two images. The count of a 24 MP pair (6000 x 4000) against a memcpy of
// both bitmaps measured in the same run, on a pair with a few hundred differences and on
// one where every pixel differs; the clusters of the first. Then the three pictures of a
// 100 MP pair (11547 x 8660) drawn into a 1920 x 1080 view, fitted and zoomed, against
// a memcpy of the view picture.

#include <benchmark/benchmark.h>

#include "view_reference.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/compare/compare_render.h"
#include "core/compare/diff_clusters.h"
#include "core/compare/pixel_diff.h"
#include "core/view/blit.h"
#include "core/view/geometry.h"
#include "core/view/view_mapping.h"
#include "core/view_image.h"
#include "platform/bitmap.h"

namespace zelk {
namespace {

using bench::BM_MemcpyView;
using bench::kViewH;
using bench::kViewW;

// A smooth picture with a little noise, as photographs are.
Bitmap Picture(int w, int h) {
  Bitmap b;
  b.ResetUninitialised(w, h);
  std::uint32_t seed = 99;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = b.Row(y);
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int jitter = static_cast<int>(seed >> 29);
      row[3 * x] = static_cast<std::uint8_t>(x * 255 / w + jitter);
      row[3 * x + 1] = static_cast<std::uint8_t>(y * 200 / h + jitter);
      row[3 * x + 2] = static_cast<std::uint8_t>((x + y) * 127 / (w + h) + 64 + jitter);
    }
  }
  return b;
}

// A copy with `changes` pixels changed at scattered places, or every pixel when
// changes < 0.
Bitmap Changed(const Bitmap& a, int changes) {
  Bitmap b = a.Clone();
  if (changes < 0) {
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width() * 3; x += 3) b.Row(y)[x + 1] ^= 0x40;
    return b;
  }
  std::uint32_t seed = 7;
  for (int i = 0; i < changes; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const int x = static_cast<int>(seed % static_cast<std::uint32_t>(b.Width()));
    seed = seed * 1664525u + 1013904223u;
    const int y = static_cast<int>(seed % static_cast<std::uint32_t>(b.Height()));
    b.SetPixelRgb(x, y, b.PixelRgb(x, y) ^ 0x102030);
  }
  return b;
}

struct Pair {
  Bitmap a, b;
};

constexpr int kW = 6000, kH = 4000;

const Pair& Pair24(bool every_pixel) {
  static Pair pairs[2];
  Pair& p = pairs[every_pixel ? 1 : 0];
  if (p.a.Empty()) {
    p.a = Picture(kW, kH);
    p.b = Changed(p.a, every_pixel ? -1 : 300);
  }
  return p;
}

void BM_MemcpyBothBitmaps(benchmark::State& state) {
  const Pair& p = Pair24(false);
  std::vector<std::uint8_t> to_a(p.a.ByteSize()), to_b(p.b.ByteSize());
  for (auto _ : state) {
    std::memcpy(to_a.data(), p.a.Data(), to_a.size());
    std::memcpy(to_b.data(), p.b.Data(), to_b.size());
    benchmark::DoNotOptimize(to_a.data());
    benchmark::DoNotOptimize(to_b.data());
    benchmark::ClobberMemory();
  }
}

void BM_CompareBitmaps(benchmark::State& state) {
  const Pair& p = Pair24(state.range(0) != 0);
  std::uint64_t differing = 0;
  for (auto _ : state) {
    const std::optional<DiffResult> result = CompareBitmaps(p.a, p.b, 0);
    differing = result->stats.differing;
    benchmark::DoNotOptimize(differing);
  }
  state.counters["differing"] = static_cast<double>(differing);
}

void BM_FindDiffClusters(benchmark::State& state) {
  const Pair& p = Pair24(false);
  const DiffResult diff = *CompareBitmaps(p.a, p.b, 0);
  std::size_t clusters = 0;
  for (auto _ : state) {
    clusters = FindDiffClusters(diff.mask)->size();
    benchmark::DoNotOptimize(clusters);
  }
  state.counters["clusters"] = static_cast<double>(clusters);
}

constexpr int kLargeW = 11547, kLargeH = 8660;

struct LargePair {
  Bitmap a, b;
  DiffMask mask;
};

const LargePair& Pair100() {
  static LargePair p;
  if (p.a.Empty()) {
    p.a = Picture(kLargeW, kLargeH);
    p.b = Changed(p.a, 5000);
    p.mask = std::move(CompareBitmaps(p.a, p.b, 0)->mask);
  }
  return p;
}

enum Picture100 { kFlip, kSplit, kDifference };

// range(0): which picture; range(1): 0 fitted, 1 zoomed on a box of a sixth of the view.
void BM_Render100(benchmark::State& state) {
  const LargePair& p = Pair100();
  ViewImage view;
  view.Reset(kViewW, kViewH);
  const double scale = FitViewScale(kViewW, kViewH, kLargeW, kLargeH, false);
  const ViewMapping mapping =
      state.range(1) == 0 ? FittedViewMapping(scale)
                          : ZoomBoxViewMapping({500, 300, 500 + kViewW / 6, 300 + kViewH / 6},
                                               scale, kViewW, kViewH);
  for (auto _ : state) {
    switch (state.range(0)) {
      case kFlip:
        RenderMapped(p.b, view, mapping);
        break;
      case kSplit:
        RenderSplit(p.a, p.b, view, mapping, kViewW / 2);
        break;
      default:
        RenderDifference(p.a, p.mask, view, mapping);
    }
    benchmark::DoNotOptimize(view.Data());
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_MemcpyBothBitmaps)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CompareBitmaps)
    ->ArgName("every_pixel")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_FindDiffClusters)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MemcpyView)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Render100)
    ->ArgNames({"picture", "zoomed"})
    ->ArgsProduct({{kFlip, kSplit, kDifference}, {0, 1}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace
}  // namespace zelk

BENCHMARK_MAIN();
