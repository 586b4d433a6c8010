// Metafile playback of raster operations over a whole 4096 x 4096 picture, beside a
// plain loop doing the same byte work (XOR of a 3-byte colour into every row), and a
// scaled bitmap blit beside the same copy done by hand.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "codecs/metafile_reader.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kSide = 4096;
constexpr int kOperations = 32;  // within the playback budget of the picture

void Put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void Record(Bytes& b, std::uint16_t function, std::initializer_list<std::uint32_t> words) {
  Put32(b, static_cast<std::uint32_t>(3 + words.size()));
  Put16(b, function);
  for (std::uint32_t w : words) Put16(b, w);
}

// A placeable WMF, one unit per pixel, with a brush and `operations` PatBlt records.
Bytes PatBltWmf(std::uint32_t rop, int operations) {
  Bytes records;
  Record(records, 0x020B, {0, 0});
  Record(records, 0x020C, {kSide, kSide});
  Record(records, 0x02FC, {0, 0x30FF, 0x0080, 0});
  Record(records, 0x012D, {0});
  for (int i = 0; i < operations; ++i)
    Record(records, 0x061D, {rop & 0xFFFF, rop >> 16, kSide, kSide, 0, 0});
  Bytes b;
  const std::uint16_t header[10] = {0xCDD7, 0x9AC6, 0, 0, 0, kSide, kSide, 96, 0, 0};
  std::uint16_t sum = 0;
  for (auto w : header) Put16(b, w), sum ^= w;
  Put16(b, sum);
  Put16(b, 1), Put16(b, 9), Put16(b, 0x300);
  Put32(b, static_cast<std::uint32_t>(9 + records.size() / 2 + 3));
  Put16(b, 4), Put32(b, 0), Put16(b, 0);
  b.insert(b.end(), records.begin(), records.end());
  Put32(b, 3), Put16(b, 0);
  return b;
}

void BM_WmfPatInvert_Zelk(benchmark::State& state) {
  const Bytes wmf = PatBltWmf(0x005A0049, kOperations);
  for (auto _ : state) {
    zelk::Bitmap out;
    zelk::ReadWmf(wmf.data(), wmf.size(), out);
    benchmark::DoNotOptimize(out.Data());
  }
}

// The same work by hand: a white picture, then the colour XORed into every row, eight
// bytes at a time from a 24-byte cycle of the colour.
void BM_WmfPatInvert_Reference(benchmark::State& state) {
  constexpr std::uint8_t kColour[3] = {0x80, 0xFF, 0x30};
  std::uint8_t cycle[24];
  for (int i = 0; i < 24; ++i) cycle[i] = kColour[i % 3];
  std::uint64_t words[3];
  std::memcpy(words, cycle, sizeof words);
  for (auto _ : state) {
    zelk::Bitmap out;
    out.Reset(kSide, kSide);
    for (int y = 0; y < kSide; ++y) std::memset(out.Row(y), 0xFF, std::size_t{kSide} * 3);
    for (int i = 0; i < kOperations; ++i)
      for (int y = 0; y < kSide; ++y) {
        std::uint8_t* p = out.Row(y);
        for (int x = 0, k = 0; x + 8 <= kSide * 3; x += 8, k = k == 2 ? 0 : k + 1) {
          std::uint64_t v;
          std::memcpy(&v, p + x, 8);
          v ^= words[k];
          std::memcpy(p + x, &v, 8);
        }
      }
    benchmark::DoNotOptimize(out.Data());
  }
}

BENCHMARK(BM_WmfPatInvert_Zelk)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WmfPatInvert_Reference)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
