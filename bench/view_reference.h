#pragma once
// The reference the view benchmarks quote their renders against: a memcpy of one
// 1920 x 1080 view buffer (8 MiB), measured in the same run.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace zelk::bench {

inline constexpr int kViewW = 1920;
inline constexpr int kViewH = 1080;

inline void BM_MemcpyView(benchmark::State& state) {
  std::vector<std::uint32_t> from(std::size_t{kViewW} * kViewH, 0xFF123456u);
  std::vector<std::uint32_t> to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size() * sizeof(std::uint32_t));
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
}

}  // namespace zelk::bench
