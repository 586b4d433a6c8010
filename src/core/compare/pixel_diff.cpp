#include "core/compare/pixel_diff.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zelk {

DiffMask::DiffMask(int a_width, int a_height, int b_width, int b_height)
    : a_width_(std::max(a_width, 0)),
      a_height_(std::max(a_height, 0)),
      b_width_(std::max(b_width, 0)),
      b_height_(std::max(b_height, 0)) {
  words_per_row_ = (static_cast<std::ptrdiff_t>(OverlapWidth()) + 63) / 64;
  const std::size_t words = static_cast<std::size_t>(words_per_row_) * OverlapHeight();
  // Every word is written by the comparison, so none is cleared here.
  if (words > 0) bits_ = std::make_unique_for_overwrite<std::uint64_t[]>(words);
}

namespace {

// What one thread found in the rows it compared.
struct Tally {
  std::uint64_t differing = 0;
  int left = std::numeric_limits<int>::max();
  int top = std::numeric_limits<int>::max();
  int right = -1;  // inclusive while counting
  int bottom = -1;
  std::array<std::uint8_t, 3> largest{};  // B, G, R as the bytes lie

  void Merge(const Tally& other) {
    differing += other.differing;
    left = std::min(left, other.left);
    top = std::min(top, other.top);
    right = std::max(right, other.right);
    bottom = std::max(bottom, other.bottom);
    for (int c = 0; c < 3; ++c) largest[c] = std::max(largest[c], other.largest[c]);
  }
  void AddRect(int l, int t, int r, int b) {  // exclusive right and bottom
    if (r <= l || b <= t) return;
    differing += static_cast<std::uint64_t>(r - l) * static_cast<std::uint64_t>(b - t);
    left = std::min(left, l);
    top = std::min(top, t);
    right = std::max(right, r - 1);
    bottom = std::max(bottom, b - 1);
  }
};

inline int AbsDiff(std::uint8_t a, std::uint8_t b) {
  return a > b ? a - b : b - a;
}

// Pixels [from, to) of one row, one at a time; returns their bits (from = bit 0).
std::uint64_t ComparePixels(const std::uint8_t* a, const std::uint8_t* b, int from, int to,
                            int tolerance, std::array<std::uint8_t, 3>& largest) {
  std::uint64_t bits = 0;
  for (int x = from; x < to; ++x) {
    bool differs = false;
    for (int c = 0; c < 3; ++c) {
      const int d = AbsDiff(a[3 * x + c], b[3 * x + c]);
      largest[c] = static_cast<std::uint8_t>(std::max<int>(largest[c], d));
      differs |= d > tolerance;
    }
    bits |= std::uint64_t{differs} << (x - from);
  }
  return bits;
}

#if defined(__SSE2__)

// For 12 bytes (four pixels) whose bits say which bytes differ: the four pixels' bits.
constexpr std::array<std::uint8_t, 4096> MakePixelBits() {
  std::array<std::uint8_t, 4096> table{};
  for (unsigned bytes = 0; bytes < 4096; ++bytes)
    for (unsigned p = 0; p < 4; ++p)
      if ((bytes >> (3 * p) & 7) != 0) table[bytes] |= static_cast<std::uint8_t>(1u << p);
  return table;
}
constexpr std::array<std::uint8_t, 4096> kPixelBits = MakePixelBits();

// Sixteen pixels (48 bytes) at a time: the per-byte differences in vector registers,
// their running maxima kept per byte position (position i is channel i % 3), and only
// a block where some byte passes the tolerance turned into pixel bits.
class BlockComparer {
 public:
  explicit BlockComparer(int tolerance)
      : tolerance_(_mm_set1_epi8(static_cast<char>(static_cast<std::uint8_t>(tolerance)))) {}

  // The 16 bits of the 16 pixels at a and b.
  std::uint32_t Compare(const std::uint8_t* a, const std::uint8_t* b) {
    std::uint64_t bytes = 0;
    for (int i = 0; i < 3; ++i) {
      const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 16 * i));
      const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 16 * i));
      const __m128i d = _mm_or_si128(_mm_subs_epu8(va, vb), _mm_subs_epu8(vb, va));
      largest_[i] = _mm_max_epu8(largest_[i], d);
      const __m128i over = _mm_subs_epu8(d, tolerance_);
      const auto same =
          static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(over, _mm_setzero_si128())));
      bytes |= std::uint64_t{~same & 0xFFFFu} << (16 * i);
    }
    if (bytes == 0) return 0;
    return std::uint32_t{kPixelBits[bytes & 0xFFF]} |
           std::uint32_t{kPixelBits[bytes >> 12 & 0xFFF]} << 4 |
           std::uint32_t{kPixelBits[bytes >> 24 & 0xFFF]} << 8 |
           std::uint32_t{kPixelBits[bytes >> 36 & 0xFFF]} << 12;
  }

  void Into(std::array<std::uint8_t, 3>& largest) const {
    std::array<std::uint8_t, 48> bytes;
    for (int i = 0; i < 3; ++i)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes.data() + 16 * i), largest_[i]);
    for (int i = 0; i < 48; ++i) largest[i % 3] = std::max(largest[i % 3], bytes[i]);
  }

 private:
  __m128i tolerance_;
  __m128i largest_[3] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
};

#endif

// Compares overlap rows [begin, end), writing their mask rows.
void CompareRows(const Bitmap& a, const Bitmap& b, DiffMask& mask, int tolerance, int begin,
                 int end, Tally& tally) {
  const int width = mask.OverlapWidth();
  const std::ptrdiff_t words = mask.WordsPerRow();
#if defined(__SSE2__)
  BlockComparer blocks(tolerance);
#endif
  for (int y = begin; y < end; ++y) {
    const std::uint8_t* pa = a.Row(y);
    const std::uint8_t* pb = b.Row(y);
    std::uint64_t* out = mask.OverlapRow(y);
    for (std::ptrdiff_t w = 0; w < words; ++w) {
      const int from = static_cast<int>(w * 64);
      const int to = std::min(from + 64, width);
      std::uint64_t bits = 0;
      int x = from;
#if defined(__SSE2__)
      for (; x + 16 <= to; x += 16)
        bits |= std::uint64_t{blocks.Compare(pa + 3 * x, pb + 3 * x)} << (x - from);
#endif
      if (x < to) bits |= ComparePixels(pa, pb, x, to, tolerance, tally.largest) << (x - from);
      out[w] = bits;
    }
    // The row's count and extent from its words: a few dozen words a row.
    std::ptrdiff_t first = -1, last = -1;
    for (std::ptrdiff_t w = 0; w < words; ++w) {
      if (out[w] == 0) continue;
      tally.differing += static_cast<std::uint64_t>(std::popcount(out[w]));
      if (first < 0) first = w;
      last = w;
    }
    if (first >= 0) {
      tally.left =
          std::min(tally.left, static_cast<int>(first * 64 + std::countr_zero(out[first])));
      tally.right =
          std::max(tally.right, static_cast<int>(last * 64 + 63 - std::countl_zero(out[last])));
      tally.top = std::min(tally.top, y);
      tally.bottom = y;
    }
  }
#if defined(__SSE2__)
  blocks.Into(tally.largest);
#endif
}

// Below this many overlap pixels a second thread costs more than it saves.
constexpr std::int64_t kTwoThreadPixels = 1 << 20;
// Rows are handed out in chunks of about this many pixels, whichever thread asks first,
// and a stop is looked for between chunks.
constexpr std::int64_t kChunkPixels = 1 << 18;

}  // namespace

std::optional<DiffResult> CompareBitmaps(const Bitmap& a, const Bitmap& b, int tolerance,
                                         const std::atomic<bool>* cancel) {
  tolerance = std::clamp(tolerance, 0, kMaxDiffTolerance);
  DiffResult result{{}, DiffMask(a.Width(), a.Height(), b.Width(), b.Height())};
  DiffMask& mask = result.mask;
  const int width = mask.OverlapWidth(), height = mask.OverlapHeight();

  const int chunk_rows =
      static_cast<int>(std::max<std::int64_t>(1, kChunkPixels / std::max(width, 1)));
  const int chunks = width > 0 ? (height + chunk_rows - 1) / chunk_rows : 0;
  std::atomic<int> next_chunk{0};
  std::atomic<bool> stopped{false};
  std::array<Tally, 2> tallies;
  const auto work = [&](int thread) {
    for (int chunk; (chunk = next_chunk.fetch_add(1, std::memory_order_relaxed)) < chunks;) {
      if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
        stopped = true;
        return;
      }
      const int begin = chunk * chunk_rows;
      CompareRows(a, b, mask, tolerance, begin, std::min(height, begin + chunk_rows),
                  tallies[thread]);
    }
  };
  std::thread other;
  if (std::int64_t{width} * height >= kTwoThreadPixels && std::thread::hardware_concurrency() > 1) {
    try {
      other = std::thread(work, 1);
    } catch (const std::system_error&) {
      // No thread to be had: this one compares every row.
    }
  }
  work(0);
  if (other.joinable()) other.join();
  if (stopped) return std::nullopt;

  Tally& tally = tallies[0];
  tally.Merge(tallies[1]);
  // What only one of them covers: right of the overlap, then below it.
  const int a_w = a.Width(), a_h = a.Height(), b_w = b.Width(), b_h = b.Height();
  tally.AddRect(width, 0, a_w, a_h);
  tally.AddRect(width, 0, b_w, b_h);
  tally.AddRect(0, height, std::min(width, a_w), a_h);
  tally.AddRect(0, height, std::min(width, b_w), b_h);

  DiffStats& stats = result.stats;
  stats.width = mask.Width();
  stats.height = mask.Height();
  stats.differing = tally.differing;
  if (tally.differing > 0)
    stats.bounds = {tally.left, tally.top, tally.right + 1, tally.bottom + 1};
  stats.largest = {tally.largest[2], tally.largest[1], tally.largest[0]};
  return result;
}

}  // namespace zelk
