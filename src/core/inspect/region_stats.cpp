#include "core/inspect/region_stats.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <system_error>
#include <thread>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace zelk {
namespace {

bool Cancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// The kMostFrequentColours best colours seen so far.
class MostFrequent {
 public:
  void Offer(std::uint32_t rgb, std::uint64_t count) {
    if (size_ == kMostFrequentColours && !Better(rgb, count, top_[size_ - 1])) return;
    int at = size_ < kMostFrequentColours ? size_++ : size_ - 1;
    while (at > 0 && Better(rgb, count, top_[at - 1])) {
      top_[at] = top_[at - 1];
      --at;
    }
    top_[at] = {rgb, count};
  }
  // A count below this cannot enter (an equal one may, by a smaller colour).
  std::uint64_t Threshold() const {
    return size_ < kMostFrequentColours ? 1 : top_[size_ - 1].count;
  }
  std::vector<ColourCount> Result() const { return {top_.begin(), top_.begin() + size_}; }

 private:
  static bool Better(std::uint32_t rgb, std::uint64_t count, const ColourCount& than) {
    return count > than.count || (count == than.count && rgb < than.rgb);
  }
  std::array<ColourCount, kMostFrequentColours> top_{};
  int size_ = 0;
};

// A count of 32 consecutive colours (one red, one green, blues 32 apart at most) that
// fill one 64-byte cache line of 16-bit counters.
constexpr int kLineColours = 32;
using LineCounts = std::array<std::uint32_t, kLineColours>;

// Everything the statistics need from the distinct colours and their counts: how many
// there are, the best few, and per channel how many pixels have each value (which gives
// minimum, maximum and mean). A channel value's count is at most the region's pixels.
static_assert(kMaxImagePixels <= std::int64_t{UINT32_MAX});
class ColourTally {
 public:
  void Add(std::uint32_t rgb, std::uint64_t count) {
    ++distinct_;
    top_.Offer(rgb, count);
    for (int c = 0; c < 3; ++c)
      per_value_[c][(rgb >> (16 - 8 * c)) & 0xFF] += static_cast<std::uint32_t>(count);
  }
  // The colours first .. first + 31 with their counts, zero for colours not there. The
  // loops over the line have a fixed length and no branch, so that the compiler keeps
  // them in vector registers; only a line holding a count good enough for the best
  // colours is looked at one colour at a time.
  void AddLine(std::uint32_t first, const LineCounts& counts) {
    const std::uint32_t threshold =
        top_.Threshold() < UINT32_MAX ? static_cast<std::uint32_t>(top_.Threshold()) : UINT32_MAX;
    std::uint32_t total = 0, present = 0, candidates = 0;
    for (const std::uint32_t n : counts) {
      total += n;
      present += n != 0 ? 1 : 0;
      candidates += n >= threshold ? 1 : 0;
    }
    if (total == 0) return;
    distinct_ += present;
    std::uint32_t* blue = &per_value_[2][first & 0xFF];
    for (int i = 0; i < kLineColours; ++i) blue[i] += counts[i];
    per_value_[0][first >> 16] += total;
    per_value_[1][(first >> 8) & 0xFF] += total;
    if (candidates == 0) return;
    for (int i = 0; i < kLineColours; ++i)
      if (counts[i] != 0) top_.Offer(first + i, counts[i]);
  }
  // Adds another tally of colours that this one does not hold.
  void Merge(const ColourTally& other) {
    distinct_ += other.distinct_;
    for (const ColourCount& c : other.top_.Result()) top_.Offer(c.rgb, c.count);
    for (int c = 0; c < 3; ++c)
      for (int v = 0; v < 256; ++v) per_value_[c][v] += other.per_value_[c][v];
  }
  void Into(RegionStats& stats) const {
    stats.distinct = distinct_;
    stats.most_frequent = top_.Result();
    ChannelStats* channels[3] = {&stats.red, &stats.green, &stats.blue};
    for (int c = 0; c < 3; ++c) {
      const std::array<std::uint32_t, 256>& n = per_value_[c];
      int min = 0, max = 255;
      while (min < 255 && n[min] == 0) ++min;
      while (max > 0 && n[max] == 0) --max;
      std::uint64_t sum = 0;
      for (int v = 0; v < 256; ++v) sum += std::uint64_t{n[v]} * static_cast<std::uint64_t>(v);
      *channels[c] = {min, static_cast<double>(sum) / static_cast<double>(stats.pixels), max};
    }
  }

 private:
  std::uint64_t distinct_ = 0;
  MostFrequent top_;
  std::array<std::array<std::uint32_t, 256>, 3> per_value_{};
};

struct Region {
  const Bitmap& bitmap;
  int left, top, width, height;
  const std::uint8_t* Row(int y) const { return bitmap.Row(top + y) + std::ptrdiff_t{left} * 3; }
  std::uint64_t Pixels() const { return static_cast<std::uint64_t>(width) * height; }
};

// Work is handed out in chunks of about this many pixels, and a stop is looked for
// between chunks (a millisecond or so of work).
constexpr int kChunkPixels = 1 << 18;

// Rows a chunk takes: whole rows, at least one.
int ChunkRows(int width) {
  return std::max(1, kChunkPixels / width);
}

// Four bytes as a little-endian word; compilers make this one load.
std::uint32_t Word(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

// Pixel i of the four in the three little-endian words w0 w1 w2 (B G R B | G R B G | R B G R).
// Forming colours from word loads rather than byte loads halves the instructions a pixel
// takes, and with the counters in cache that matters.
template <int kPixel>
std::uint32_t ColourOfFour(std::uint32_t w0, std::uint32_t w1, std::uint32_t w2) {
  if constexpr (kPixel == 0) return w0 & 0xFFFFFF;
  if constexpr (kPixel == 1) return w0 >> 24 | (w1 & 0xFFFF) << 8;
  if constexpr (kPixel == 2) return w1 >> 16 | (w2 & 0xFF) << 16;
  return w2 >> 8;
}

std::uint32_t Colour(const std::uint8_t* p) {
  return std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | std::uint32_t{p[0]};
}

// Memory for the count tables or the bucketed keys, zeroed when new. On Linux it is
// mapped in huge pages, so that tens of megabytes do not cost thousands of page faults
// (and, for the tables, thousands of TLB misses); pages never touched cost nothing.
class Block {
 public:
  explicit Block(std::size_t bytes) {
#if defined(__linux__)
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    size_ = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    mapped_ = size_ + kHugePage;  // room to align the start to a huge page
    void* m = ::mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) throw std::bad_alloc();
    mapping_ = m;
    const std::size_t past = reinterpret_cast<std::uintptr_t>(m) % kHugePage;
    data_ = static_cast<std::uint8_t*>(m) + (past == 0 ? 0 : kHugePage - past);
    ::madvise(data_, size_, MADV_HUGEPAGE);
#else
    size_ = std::max<std::size_t>(bytes, 1);
    data_ = static_cast<std::uint8_t*>(std::calloc(size_, 1));
    if (data_ == nullptr) throw std::bad_alloc();
#endif
  }
  ~Block() {
#if defined(__linux__)
    ::munmap(mapping_, mapped_);
#else
    std::free(data_);
#endif
  }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

  std::uint8_t* Data() const {
    return data_;
  }
  std::size_t Size() const {
    return size_;
  }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
#if defined(__linux__)
  void* mapping_ = nullptr;
  std::size_t mapped_ = 0;
#endif
};

// Chunks of work for whichever thread asks first: with a static split, a thread slowed
// by other work on its core (the GUI, another program) would leave the other waiting
// at the end. Thread 0 takes chunks from the front, thread 1 from the back, so that
// each goes through neighbouring rows, whose colours its own table mostly holds already
// (taking turns instead put every colour in both tables: a fifth more time).
class Chunks {
 public:
  explicit Chunks(int count) : count_(count) {}
  // The next chunk for `thread` (0 or 1), or -1 when none is left.
  int Next(int thread) {
    if (taken_.fetch_add(1, std::memory_order_relaxed) >= count_) return -1;
    const int k = mine_[thread]++;  // each thread counts only its own
    return thread == 0 ? k : count_ - 1 - k;
  }

 private:
  std::atomic<int> taken_{0};
  std::array<int, 2> mine_{};
  int count_;
};

// Runs work(0) and work(1), on two threads when the region is large enough to pay for
// one.
template <typename Work>
void OnTwoThreads(bool worth_it, const Work& work) {
  std::thread other;
  if (worth_it && std::thread::hardware_concurrency() > 1) {
    try {
      other = std::thread([&] { work(1); });
    } catch (const std::system_error&) {
      // No thread to be had: this one does both halves.
    }
  }
  work(0);
  if (other.joinable()) {
    other.join();
  } else {
    work(1);
  }
}

// A 16-bit counter holds 65535 pixels; one that would wrap restarts at 1 and its colour
// goes on a list, each entry standing for 65535 more pixels. Wraps are rare (one per
// 65535 pixels of a colour), and the counters stay half the size of 32-bit ones.
constexpr std::uint32_t kWrap = 0xFFFF;

// A counter of the table that starts at colour `base` has just wrapped at `key`. Out of
// line, so that the loops around it keep their pointers in registers.
[[gnu::noinline]] void NoteWrap(std::uint16_t* counts, std::uint32_t base, std::uint32_t key,
                                std::vector<std::uint32_t>& wrapped) {
  counts[key] = 1;
  wrapped.push_back(base + key);
}

// Tallies in full the colours on `wrapped` and zeroes their counters in `tables` (each
// indexed by colour - base), so that the scan of the tables that follows skips them.
void TallyWrapped(std::vector<std::uint32_t>& wrapped, std::span<std::uint16_t* const> tables,
                  std::uint32_t base, ColourTally& tally) {
  std::sort(wrapped.begin(), wrapped.end());
  for (auto at = wrapped.begin(); at != wrapped.end();) {
    const auto next = std::upper_bound(at, wrapped.end(), *at);
    std::uint64_t count = std::uint64_t{kWrap} * static_cast<std::uint64_t>(next - at);
    for (std::uint16_t* table : tables) {
      count += table[*at - base];
      table[*at - base] = 0;
    }
    tally.Add(*at, count);
    at = next;
  }
  wrapped.clear();
}

struct Sizes {
  static constexpr std::size_t kColours = std::size_t{1} << 24;
  static constexpr std::size_t kLines = kColours / kLineColours;
  static constexpr std::size_t kDirtyWords = kLines / 64;
  // One table: a counter per colour, then a bit per line of counters that were touched.
  static constexpr std::size_t kTableBytes =
      kColours * sizeof(std::uint16_t) + kDirtyWords * sizeof(std::uint64_t);
};

}  // namespace

// One block serves as count tables or as bucketed keys. The tables must be zero when a
// count starts; a count that finishes leaves them zero again, so only after keys were
// bucketed in the block, or a count was stopped, must they be cleared.
struct RegionStatsScratch::Memory {
  std::unique_ptr<Block> block;
  std::size_t zero_bytes = 0;       // the first this many bytes of the block are zero
  std::vector<std::uint64_t> seen;  // a bit per colour, for choosing the way to count

  std::uint8_t* Get(std::size_t bytes, bool zeroed) {
    if (!block || block->Size() < bytes) {
      block.reset();  // the old memory goes before the new is asked for
      block = std::make_unique<Block>(bytes);
      zero_bytes = block->Size();
    } else if (zeroed && zero_bytes < bytes) {
      std::memset(block->Data() + zero_bytes, 0, bytes - zero_bytes);
      zero_bytes = bytes;
    }
    return block->Data();
  }
};

namespace {

using Memory = RegionStatsScratch::Memory;

// Counting in a table of every colour, one per thread, the threads taking chunks of
// rows as they go. On pictures whose colours repeat nearby, as photographs and drawings
// do, the counters in use stay in the cache and the picture is read only once.
// Counters touched for the first time mark their line, and the tally then reads only
// those.
class ColourTable {
 public:
  ColourTable(std::uint8_t* memory, std::uint64_t pixels)
      : counts_(reinterpret_cast<std::uint16_t*>(memory)),
        dirty_(reinterpret_cast<std::uint64_t*>(memory + Sizes::kColours * 2)) {
    wrapped_.reserve(pixels / kWrap + 1);  // so the worker thread never allocates
  }

  // Counts two rows of `width` pixels (b may be null), a pixel of one then of the other.
  // Nearby pixels often share a colour, and an increment of a counter waits for the
  // store of its previous one; the other row, from elsewhere in the picture, mostly has
  // other colours, whose increments fill that wait (a fifth faster on runs of one
  // colour, a little on the smooth picture of the benchmark).
  void CountRows(const std::uint8_t* a, const std::uint8_t* b, int width) {
    std::uint16_t* const counts = counts_;
    std::uint64_t* const dirty = dirty_;
    const auto count = [&](std::uint32_t rgb) {
      const std::uint16_t was = counts[rgb];
      counts[rgb] = static_cast<std::uint16_t>(was + 1);
      // One test for both rare cases: a colour's first pixel, or a counter at its limit.
      if (static_cast<std::uint16_t>(was + 1) < 2) [[unlikely]] {
        if (was == 0) {
          const std::uint32_t line = rgb / kLineColours;
          dirty[line / 64] |= std::uint64_t{1} << (line % 64);
        } else {
          NoteWrap(counts, 0, rgb, wrapped_);
        }
      }
    };
    int x = 0;
    if (b != nullptr) {
      for (; x + 4 <= width; x += 4, a += 12, b += 12) {
        const std::uint32_t a0 = Word(a), a1 = Word(a + 4), a2 = Word(a + 8);
        const std::uint32_t b0 = Word(b), b1 = Word(b + 4), b2 = Word(b + 8);
        count(ColourOfFour<0>(a0, a1, a2));
        count(ColourOfFour<0>(b0, b1, b2));
        count(ColourOfFour<1>(a0, a1, a2));
        count(ColourOfFour<1>(b0, b1, b2));
        count(ColourOfFour<2>(a0, a1, a2));
        count(ColourOfFour<2>(b0, b1, b2));
        count(ColourOfFour<3>(a0, a1, a2));
        count(ColourOfFour<3>(b0, b1, b2));
      }
      for (int tail = x; tail < width; ++tail, b += 3) count(Colour(b));
    } else {
      for (; x + 4 <= width; x += 4, a += 12) {
        const std::uint32_t a0 = Word(a), a1 = Word(a + 4), a2 = Word(a + 8);
        count(ColourOfFour<0>(a0, a1, a2));
        count(ColourOfFour<1>(a0, a1, a2));
        count(ColourOfFour<2>(a0, a1, a2));
        count(ColourOfFour<3>(a0, a1, a2));
      }
    }
    for (; x < width; ++x, a += 3) count(Colour(a));
  }
  std::uint16_t* Counts() const { return counts_; }
  std::uint64_t* Dirty() const { return dirty_; }
  std::vector<std::uint32_t>& Wrapped() { return wrapped_; }

 private:
  std::uint16_t* counts_;
  std::uint64_t* dirty_;
  std::vector<std::uint32_t> wrapped_;
};

// Whether nearly every pixel of a few stretches of rows spread over the region has a
// colour not seen before in them: then the tables would be fetched from memory for
// nearly every pixel, and buckets are faster (CountByBuckets). `seen` is a bit per
// colour, zero before and after. Measured on 24 MP of a smooth picture plus independent
// noise in each channel: with noise 16 wide 91 % of the sampled pixels were new and the
// tables took 21 ms against 34 for buckets, 24 wide 94 % and 29 against 36, 32 wide 96 %
// and 41 against 35, 64 wide 98 % and 76 against 23. The benchmark's smooth picture
// brings 37 %, its noise 99.8 %.
bool MostlyNewColours(const Region& region, std::vector<std::uint64_t>& seen) {
  constexpr int kRows = 32, kSpan = 2048;
  const int span = std::min(region.width, kSpan), left = (region.width - span) / 2;
  const int rows = std::min(region.height, kRows);
  std::uint64_t fresh = 0;
  const auto walk = [&](const auto& f) {
    for (int k = 0; k < rows; ++k) {
      const std::uint8_t* p = region.Row((2 * k + 1) * region.height / (2 * rows)) + left * 3;
      for (int x = 0; x < span; ++x, p += 3) f(Colour(p));
    }
  };
  walk([&](std::uint32_t rgb) {
    std::uint64_t& word = seen[rgb / 64];
    const std::uint64_t bit = std::uint64_t{1} << (rgb % 64);
    fresh += (word & bit) == 0 ? 1 : 0;
    word |= bit;
  });
  walk([&](std::uint32_t rgb) { seen[rgb / 64] = 0; });
  return fresh * 20 > std::uint64_t(rows) * span * 19;
}

// Counts in the tables; false when stopped.
bool CountInTables(const Region& region, const std::atomic<bool>* cancel, Memory& memory,
                   ColourTally& tally) {
  const bool two = region.Pixels() >= (1u << 20);
  const int tables = two ? 2 : 1;
  const std::size_t bytes = Sizes::kTableBytes * tables;
  std::uint8_t* data = memory.Get(bytes, true);
  const std::size_t was_zero = memory.zero_bytes;
  memory.zero_bytes = 0;  // until the tally has cleared every counter again
  std::array<std::unique_ptr<ColourTable>, 2> table;
  for (int t = 0; t < tables; ++t)
    table[t] = std::make_unique<ColourTable>(data + Sizes::kTableBytes * t, region.Pixels());

  std::atomic<bool> stopped{false};
  const auto stop_requested = [&] {
    if (Cancelled(cancel)) stopped = true;
    return stopped.load(std::memory_order_relaxed);
  };
  // Row i goes with row i + pairs.
  const int pairs = (region.height + 1) / 2;
  const auto count_pair = [&](int thread, int i) {
    table[std::min(thread, tables - 1)]->CountRows(
        region.Row(i), i + pairs < region.height ? region.Row(i + pairs) : nullptr, region.width);
  };

  const int chunk_pairs = std::max(1, ChunkRows(region.width) / 2);
  Chunks chunks((pairs + chunk_pairs - 1) / chunk_pairs);
  OnTwoThreads(two, [&](int thread) {
    for (int chunk; (chunk = chunks.Next(thread)) >= 0;) {
      if (stop_requested()) return;
      const int end = std::min(pairs, (chunk + 1) * chunk_pairs);
      for (int i = chunk * chunk_pairs; i < end; ++i) count_pair(thread, i);
    }
  });
  if (stopped) return false;

  std::array<std::uint16_t*, 2> counts{};
  std::vector<std::uint32_t> wrapped;
  for (int t = 0; t < tables; ++t) {
    counts[t] = table[t]->Counts();
    wrapped.insert(wrapped.end(), table[t]->Wrapped().begin(), table[t]->Wrapped().end());
  }
  std::array<ColourTally, 2> tallies;
  TallyWrapped(wrapped, std::span(counts.data(), tables), 0, tallies[0]);

  // The lines are scattered over the tables, mostly out of the cache by now: those of
  // the next word of line bits are fetched while this word's are added up.
  constexpr std::size_t kChunkWords = 64;
  Chunks words(Sizes::kDirtyWords / kChunkWords);
  OnTwoThreads(two, [&](int thread) {
    ColourTally& out = tallies[thread];
    const auto fetch = [&](std::size_t w) {
      for (int t = 0; t < tables; ++t)
        for (std::uint64_t lines = table[t]->Dirty()[w]; lines != 0; lines &= lines - 1)
          __builtin_prefetch(counts[t] + (w * 64 + std::countr_zero(lines)) * kLineColours, 1);
    };
    for (int chunk; (chunk = words.Next(thread)) >= 0;) {
      if (stop_requested()) return;
      const std::size_t end = (chunk + 1) * kChunkWords;
      fetch(end - kChunkWords);
      for (std::size_t w = end - kChunkWords; w < end; ++w) {
        if (w + 1 < end) fetch(w + 1);
        std::array<std::uint64_t, 2> lines{};
        for (int t = 0; t < tables; ++t) {
          lines[t] = table[t]->Dirty()[w];
          table[t]->Dirty()[w] = 0;
        }
        for (std::uint64_t any = lines[0] | lines[1]; any != 0; any &= any - 1) {
          const int bit = std::countr_zero(any);
          const std::uint32_t first = (w * 64 + bit) * kLineColours;
          LineCounts line{};
          for (int t = 0; t < tables; ++t) {
            if ((lines[t] >> bit & 1) == 0) continue;  // untouched: all zero
            std::uint16_t* c = counts[t] + first;
            for (int i = 0; i < kLineColours; ++i) line[i] += c[i];
            std::fill_n(c, kLineColours, 0);
          }
          out.AddLine(first, line);
        }
      }
    }
  });
  if (stopped) return false;
  memory.zero_bytes = std::max(was_zero, bytes);
  tally = tallies[0];
  tally.Merge(tallies[1]);
  return true;
}

// Counting by red value, for pictures with colours all over the cube, where a table of
// every colour would be fetched from memory for nearly every pixel: every pixel's green
// and blue go into its red's bucket, then each bucket is counted in a table of 64 Ki
// counters that stays in the cache. The threads take chunks of rows for the bucketing
// and reds for the counting as they go; the histogram of reds goes round kSets sets of
// counters, so a run of one red does not wait on its own counter's previous store.
// Counts keys (green-blue) of one red in a table of 64 Ki 16-bit counters. There is no
// test for a colour's first pixel, which would be mispredicted at random: the whole
// table is read afterwards instead, 128 KiB from the cache.
void CountKeys(const std::uint16_t* k, const std::uint16_t* end, std::uint16_t* counts,
               std::uint32_t base, std::vector<std::uint32_t>& wrapped) {
  for (; k != end; ++k)
    if (++counts[*k] == 0) [[unlikely]]
      NoteWrap(counts, base, *k, wrapped);
}

bool CountByBuckets(const Region& region, const std::atomic<bool>* cancel, Memory& memory,
                    ColourTally& tally) {
  std::atomic<bool> stopped{false};
  const auto stop_requested = [&] {
    if (Cancelled(cancel)) stopped = true;
    return stopped.load(std::memory_order_relaxed);
  };
  const bool two = region.Pixels() >= (1u << 20);
  const int chunk_rows = ChunkRows(region.width);
  const int chunk_count = (region.height + chunk_rows - 1) / chunk_rows;
  const auto rows = [&](int chunk) {
    return std::pair{chunk * chunk_rows, std::min(region.height, (chunk + 1) * chunk_rows)};
  };

  // Each chunk's count of each red (at most kChunkPixels plus a row), so that any thread
  // can later put any chunk's pixels into their place.
  std::vector<std::array<std::uint32_t, 256>> histogram(chunk_count);
  Chunks histogram_chunks(chunk_count);
  OnTwoThreads(two, [&](int thread) {
    for (int chunk; (chunk = histogram_chunks.Next(thread)) >= 0;) {
      if (stop_requested()) return;
      constexpr int kSets = 4;
      std::array<std::array<std::uint32_t, 256>, kSets> h{};
      const auto [from, to] = rows(chunk);
      for (int y = from; y < to; ++y) {
        const std::uint8_t* p = region.Row(y);
        int x = 0;
        for (; x + kSets <= region.width; x += kSets, p += 3 * kSets)
          for (int set = 0; set < kSets; ++set) ++h[set][p[3 * set + 2]];
        for (int set = 0; x < region.width; ++x, ++set, p += 3) ++h[set][p[2]];
      }
      for (int r = 0; r < 256; ++r) histogram[chunk][r] = h[0][r] + h[1][r] + h[2][r] + h[3][r];
    }
  });
  if (stopped) return false;

  // Bucket r holds chunk 0's pixels of that red, then chunk 1's, and so on. Positions
  // of 32 bits (a region has fewer pixels) keep the scatter's table of them in half the
  // lines, which measured 8 % less time on noise.
  static_assert(kMaxImagePixels <= std::int64_t{UINT32_MAX});
  std::array<std::uint64_t, 257> bucket_start{};
  std::vector<std::array<std::uint32_t, 256>> chunk_start(chunk_count);
  std::uint64_t at = 0;
  for (int r = 0; r < 256; ++r) {
    bucket_start[r] = at;
    for (int chunk = 0; chunk < chunk_count; ++chunk) {
      chunk_start[chunk][r] = static_cast<std::uint32_t>(at);
      at += histogram[chunk][r];
    }
  }
  bucket_start[256] = at;
  auto* const keys =
      reinterpret_cast<std::uint16_t*>(memory.Get(at * sizeof(std::uint16_t), false));
  memory.zero_bytes = 0;

  // One write position per red: 256 buckets being filled keep their lines in the
  // first-level cache (one per red and per set of four, as the histogram has, did not).
  Chunks scatter_chunks(chunk_count);
  OnTwoThreads(two, [&](int thread) {
    for (int chunk; (chunk = scatter_chunks.Next(thread)) >= 0;) {
      if (stop_requested()) return;
      std::array<std::uint32_t, 256>& pointers = chunk_start[chunk];
      const auto put = [&](std::uint32_t rgb) {
        keys[pointers[rgb >> 16]++] = static_cast<std::uint16_t>(rgb);
      };
      const auto [from, to] = rows(chunk);
      for (int y = from; y < to; ++y) {
        const std::uint8_t* p = region.Row(y);
        int x = 0;
        for (; x + 4 <= region.width; x += 4, p += 12) {
          const std::uint32_t w0 = Word(p), w1 = Word(p + 4), w2 = Word(p + 8);
          put(ColourOfFour<0>(w0, w1, w2));
          put(ColourOfFour<1>(w0, w1, w2));
          put(ColourOfFour<2>(w0, w1, w2));
          put(ColourOfFour<3>(w0, w1, w2));
        }
        for (; x < region.width; ++x, p += 3) put(Colour(p));
      }
    }
  });
  if (stopped) return false;

  std::array<ColourTally, 2> tallies;
  // Allocated here, so that nothing on the second thread can throw.
  std::array<std::vector<std::uint16_t>, 2> tables{std::vector<std::uint16_t>(1 << 16, 0),
                                                   std::vector<std::uint16_t>(1 << 16, 0)};
  std::array<std::vector<std::uint32_t>, 2> wrapped;
  for (auto& w : wrapped) w.reserve(region.Pixels() / kWrap + 1);
  Chunks reds(256);
  OnTwoThreads(two, [&](int thread) {
    std::uint16_t* const counts = tables[thread].data();
    for (int r; (r = reds.Next(thread)) >= 0;) {
      if (stop_requested()) return;
      const std::uint32_t base = static_cast<std::uint32_t>(r) << 16;
      CountKeys(keys + bucket_start[r], keys + bucket_start[r + 1], counts, base, wrapped[thread]);
      TallyWrapped(wrapped[thread], std::span(&counts, 1), base, tallies[thread]);
      for (std::uint32_t first = 0; first < (1u << 16); first += kLineColours) {
        LineCounts line;
        std::copy_n(counts + first, kLineColours, line.begin());
        std::fill_n(counts + first, kLineColours, 0);
        tallies[thread].AddLine(base | first, line);
      }
    }
  });
  if (stopped) return false;
  tally = tallies[0];
  tally.Merge(tallies[1]);
  return true;
}

}  // namespace

RegionStatsScratch::RegionStatsScratch() : memory(std::make_unique<Memory>()) {}
RegionStatsScratch::~RegionStatsScratch() = default;

std::optional<RegionStats> ComputeRegionStats(const Bitmap& bitmap, const PixelRect& rect,
                                              const std::atomic<bool>* cancel,
                                              RegionStatsScratch* scratch,
                                              ColourCounting counting) {
  const int left = std::max(rect.Left, 0), top = std::max(rect.Top, 0);
  const int right = std::min(rect.Right, bitmap.Width());
  const int bottom = std::min(rect.Bottom, bitmap.Height());
  RegionStats stats;
  if (right <= left || bottom <= top || bitmap.Data() == nullptr) return stats;
  const Region region{bitmap, left, top, right - left, bottom - top};
  stats.width = region.width;
  stats.height = region.height;
  stats.pixels = region.Pixels();

  // The buckets take 2 bytes a pixel; beyond this the table counts whatever the colours.
  constexpr std::uint64_t kMostBucketPixels = std::uint64_t{1} << 26;
  const bool may_bucket = stats.pixels <= kMostBucketPixels;
  ColourTally tally;
  Memory own_memory;
  Memory& memory = scratch != nullptr ? *scratch->memory : own_memory;
  bool buckets = counting == ColourCounting::kBuckets;
  if (counting == ColourCounting::kAutomatic && may_bucket) {
    if (memory.seen.empty()) memory.seen.resize(std::size_t{1} << 18);
    buckets = MostlyNewColours(region, memory.seen);
  }
  const bool done = buckets ? CountByBuckets(region, cancel, memory, tally)
                            : CountInTables(region, cancel, memory, tally);
  if (!done) return std::nullopt;
  tally.Into(stats);
  return stats;
}

}  // namespace zelk
