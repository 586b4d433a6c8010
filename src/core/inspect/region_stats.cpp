#include "core/inspect/region_stats.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <new>
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
  std::vector<ColourCount> Result() const { return {top_.begin(), top_.begin() + size_}; }

 private:
  static bool Better(std::uint32_t rgb, std::uint64_t count, const ColourCount& than) {
    return count > than.count || (count == than.count && rgb < than.rgb);
  }
  std::array<ColourCount, kMostFrequentColours> top_{};
  int size_ = 0;
};

// Everything the statistics need from the distinct colours and their counts.
class ColourTally {
 public:
  void Add(std::uint32_t rgb, std::uint64_t count) {
    ++distinct_;
    top_.Offer(rgb, count);
    for (int c = 0; c < 3; ++c) {
      const std::uint32_t v = (rgb >> (16 - 8 * c)) & 0xFF;
      sum_[c] += v * count;
      min_[c] = std::min(min_[c], v);
      max_[c] = std::max(max_[c], v);
    }
  }
  // Adds another tally of colours that this one does not hold.
  void Merge(const ColourTally& other) {
    distinct_ += other.distinct_;
    for (const ColourCount& c : other.top_.Result()) top_.Offer(c.rgb, c.count);
    for (int c = 0; c < 3; ++c) {
      sum_[c] += other.sum_[c];
      min_[c] = std::min(min_[c], other.min_[c]);
      max_[c] = std::max(max_[c], other.max_[c]);
    }
  }
  void Into(RegionStats& stats) const {
    stats.distinct = distinct_;
    stats.most_frequent = top_.Result();
    ChannelStats* channels[3] = {&stats.red, &stats.green, &stats.blue};
    for (int c = 0; c < 3; ++c)
      *channels[c] = {static_cast<int>(min_[c]),
                      static_cast<double>(sum_[c]) / static_cast<double>(stats.pixels),
                      static_cast<int>(max_[c])};
  }

 private:
  std::uint64_t distinct_ = 0;
  MostFrequent top_;
  std::array<std::uint64_t, 3> sum_{};
  std::array<std::uint32_t, 3> min_{255, 255, 255};
  std::array<std::uint32_t, 3> max_{};
};

struct Region {
  const Bitmap& bitmap;
  int left, top, width, height;
  const std::uint8_t* Row(int y) const { return bitmap.Row(top + y) + std::ptrdiff_t{left} * 3; }
};

constexpr int kRowsBetweenChecks = 64;

// The bucketed keys: 2 bytes a pixel, written once and read once. On Linux the memory is
// asked for in huge pages, so that tens of megabytes do not cost thousands of page
// faults (a fifth of the whole computation otherwise); kept in a RegionStatsScratch,
// it is not zeroed again by the system either.
class KeyBuffer {
 public:
  explicit KeyBuffer(std::uint64_t count) {
    std::size_t bytes = static_cast<std::size_t>(count) * sizeof(std::uint16_t);
#if defined(__linux__)
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    if (bytes >= kHugePage) {
      bytes = (bytes + kHugePage - 1) / kHugePage * kHugePage;
      void* memory = std::aligned_alloc(kHugePage, bytes);
      if (memory != nullptr) ::madvise(memory, bytes, MADV_HUGEPAGE);
      data_.reset(static_cast<std::uint16_t*>(memory));
    }
#endif
    if (!data_)
      data_.reset(static_cast<std::uint16_t*>(std::malloc(std::max<std::size_t>(bytes, 1))));
    if (!data_) throw std::bad_alloc();
    capacity_ = bytes / sizeof(std::uint16_t);
  }
  std::uint16_t* Data() const {
    return data_.get();
  }
  std::uint64_t Capacity() const {
    return capacity_;
  }

 private:
  struct Free {
    void operator()(std::uint16_t* p) const { std::free(p); }
  };
  std::unique_ptr<std::uint16_t[], Free> data_;
  std::uint64_t capacity_ = 0;
};

// Runs work(0) and work(1), on two threads when the region is large enough to pay for
// one (the passes wait on memory, and two cores keep twice as many reads in flight).
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

// Counts by red value: every pixel's green and blue go into its red's bucket, then each
// bucket is counted in a table of 64 Ki entries that stays in the cache. Each of the
// two threads takes half of the rows for the bucketing and every other red for the
// counting; within a row the pixels go round kSets sets of buckets, so a run of one
// red does not wait on its own bucket's previous store.
bool CountByBuckets(const Region& region, const std::atomic<bool>* cancel,
                    std::unique_ptr<KeyBuffer>& buffer, ColourTally& tally) {
  constexpr int kSets = 4;
  using Histogram = std::array<std::array<std::uint64_t, 256>, kSets>;
  std::array<Histogram, 2> histogram{};
  const int split = region.height / 2;
  const auto rows = [&](int half) {
    return std::pair{half == 0 ? 0 : split, half == 0 ? split : region.height};
  };
  std::atomic<bool> stopped{false};
  const auto stop_requested = [&] {
    if (Cancelled(cancel)) stopped = true;
    return stopped.load(std::memory_order_relaxed);
  };
  const bool two = std::uint64_t(region.width) * region.height >= (1u << 20);

  OnTwoThreads(two, [&](int half) {
    Histogram& h = histogram[half];
    const auto [from, to] = rows(half);
    for (int y = from; y < to; ++y) {
      if ((y - from) % kRowsBetweenChecks == 0 && stop_requested()) return;
      const std::uint8_t* p = region.Row(y);
      int x = 0;
      for (; x + kSets <= region.width; x += kSets, p += 3 * kSets)
        for (int set = 0; set < kSets; ++set) ++h[set][p[3 * set + 2]];
      for (int set = 0; x < region.width; ++x, ++set, p += 3) ++h[set][p[2]];
    }
  });
  if (stopped) return false;

  // Bucket r holds, in order, half 0's sets then half 1's sets of that red.
  std::array<std::uint64_t, 257> bucket_start{};
  std::array<std::array<std::array<std::uint64_t, 256>, kSets>, 2> next{};
  std::uint64_t at = 0;
  for (int r = 0; r < 256; ++r) {
    bucket_start[r] = at;
    for (int half = 0; half < 2; ++half)
      for (int set = 0; set < kSets; ++set) {
        next[half][set][r] = at;
        at += histogram[half][set][r];
      }
  }
  bucket_start[256] = at;
  if (!buffer || buffer->Capacity() < at) {
    buffer.reset();  // the old keys go before the new ones are asked for
    buffer = std::make_unique<KeyBuffer>(at);
  }
  const KeyBuffer& keys = *buffer;

  OnTwoThreads(two, [&](int half) {
    auto& pointers = next[half];
    const auto [from, to] = rows(half);
    for (int y = from; y < to; ++y) {
      if ((y - from) % kRowsBetweenChecks == 0 && stop_requested()) return;
      const std::uint8_t* p = region.Row(y);
      int x = 0;
      for (; x + kSets <= region.width; x += kSets, p += 3 * kSets)
        for (int set = 0; set < kSets; ++set) {
          const std::uint8_t* q = p + 3 * set;
          keys.Data()[pointers[set][q[2]]++] = static_cast<std::uint16_t>(q[1] << 8 | q[0]);
        }
      for (int set = 0; x < region.width; ++x, ++set, p += 3)
        keys.Data()[pointers[set][p[2]]++] = static_cast<std::uint16_t>(p[1] << 8 | p[0]);
    }
  });
  if (stopped) return false;

  std::array<ColourTally, 2> tallies;
  // Allocated here, so that nothing on the second thread can throw.
  std::array<std::vector<std::uint32_t>, 2> tables{std::vector<std::uint32_t>(1 << 16, 0),
                                                   std::vector<std::uint32_t>(1 << 16, 0)};
  std::array<std::vector<std::uint16_t>, 2> firsts;  // each green-blue of a red once
  for (auto& first : firsts) first.reserve(1 << 16);
  OnTwoThreads(two, [&](int half) {
    std::vector<std::uint32_t>& counts = tables[half];
    std::vector<std::uint16_t>& seen = firsts[half];
    for (int r = half; r < 256; r += 2) {
      if (stop_requested()) return;
      seen.clear();
      const std::uint16_t* end = keys.Data() + bucket_start[r + 1];
      for (const std::uint16_t* k = keys.Data() + bucket_start[r]; k != end; ++k)
        if (counts[*k]++ == 0) seen.push_back(*k);
      for (const std::uint16_t key : seen) {
        tallies[half].Add(static_cast<std::uint32_t>(r) << 16 | key, counts[key]);
        counts[key] = 0;
      }
    }
  });
  if (stopped) return false;
  tally = tallies[0];
  tally.Merge(tallies[1]);
  return true;
}

// Counts in one table of all 2^24 colours.
bool CountInTable(const Region& region, const std::atomic<bool>* cancel, ColourTally& tally) {
  std::vector<std::uint32_t> counts(std::size_t{1} << 24, 0);
  for (int y = 0; y < region.height; ++y) {
    if (y % kRowsBetweenChecks == 0 && Cancelled(cancel)) return false;
    const std::uint8_t* p = region.Row(y);
    for (int x = 0; x < region.width; ++x, p += 3)
      ++counts[std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0]];
  }
  for (std::uint32_t rgb = 0; rgb < counts.size(); ++rgb) {
    if ((rgb & 0xFFFFF) == 0 && Cancelled(cancel)) return false;
    if (counts[rgb] != 0) tally.Add(rgb, counts[rgb]);
  }
  return true;
}

}  // namespace

struct RegionStatsScratch::Memory {
  std::unique_ptr<KeyBuffer> keys;
};

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
  stats.pixels = static_cast<std::uint64_t>(region.width) * region.height;

  constexpr std::uint64_t kMostBucketPixels = std::uint64_t{1} << 26;
  const bool buckets =
      counting == ColourCounting::kBuckets ||
      (counting == ColourCounting::kAutomatic && stats.pixels <= kMostBucketPixels);
  ColourTally tally;
  std::unique_ptr<KeyBuffer> own_keys;
  std::unique_ptr<KeyBuffer>& keys = scratch != nullptr ? scratch->memory->keys : own_keys;
  const bool done =
      buckets ? CountByBuckets(region, cancel, keys, tally) : CountInTable(region, cancel, tally);
  if (!done) return std::nullopt;
  tally.Into(stats);
  return stats;
}

}  // namespace zelk
