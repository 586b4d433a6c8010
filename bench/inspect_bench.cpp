// The pixel inspector's statistics of a 24 MP rectangle (6000 x 4000) against a memcpy
// of the same bitmap bytes measured in the same run. Two pictures: noise, where nearly
// every pixel is its own colour (the worst case for counting), and a smooth picture
// with a little noise, as photographs are. Wall time is the measure; the CPU column
// counts both threads of the computation, which on a busy machine says more.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/inspect/region_stats.h"
#include "platform/bitmap.h"

namespace zelk {
namespace {

constexpr int kW = 6000, kH = 4000;

const Bitmap& Picture(bool noise) {
  static Bitmap pictures[2];
  Bitmap& b = pictures[noise ? 1 : 0];
  if (!b.Empty()) return b;
  b.ResetUninitialised(kW, kH);
  std::uint32_t seed = 99;
  for (int y = 0; y < kH; ++y) {
    std::uint8_t* row = b.Row(y);
    for (int x = 0; x < kW; ++x) {
      seed = seed * 1664525u + 1013904223u;
      if (noise) {
        row[3 * x] = static_cast<std::uint8_t>(seed >> 8);
        row[3 * x + 1] = static_cast<std::uint8_t>(seed >> 16);
        row[3 * x + 2] = static_cast<std::uint8_t>(seed >> 24);
      } else {
        const int jitter = static_cast<int>(seed >> 29);  // 0..7
        row[3 * x] = static_cast<std::uint8_t>(x * 255 / kW + jitter);
        row[3 * x + 1] = static_cast<std::uint8_t>(y * 200 / kH + jitter);
        row[3 * x + 2] = static_cast<std::uint8_t>((x + y) * 127 / (kW + kH) + 64 + jitter);
      }
    }
  }
  return b;
}

void BM_MemcpyBitmap(benchmark::State& state) {
  const Bitmap& src = Picture(false);
  std::vector<std::uint8_t> to(src.ByteSize());
  for (auto _ : state) {
    std::memcpy(to.data(), src.Data(), to.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * to.size()));
}

void BM_RegionStats(benchmark::State& state) {
  const Bitmap& src = Picture(state.range(0) != 0);
  std::uint64_t distinct = 0;
  RegionStatsScratch scratch;  // as while the inspector is open
  for (auto _ : state) {
    const auto stats = ComputeRegionStats(src, {0, 0, kW, kH}, nullptr, &scratch);
    distinct += stats->distinct;
    benchmark::DoNotOptimize(distinct);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * src.ByteSize()));
}

BENCHMARK(BM_MemcpyBitmap)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegionStats)
    ->Arg(0)
    ->Arg(1)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelk

BENCHMARK_MAIN();
