#pragma once
// Statistics of a rectangle of the working bitmap for the pixel inspector: size,
// per-channel minimum, mean and maximum, how many distinct colours, and the most
// frequent colours. Plain computation that can run off the GUI thread and be stopped.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/view/geometry.h"
#include "platform/bitmap.h"

namespace zelk {

struct ColourCount {
  std::uint32_t rgb = 0;  // 0x00RRGGBB
  std::uint64_t count = 0;
  friend bool operator==(const ColourCount&, const ColourCount&) = default;
};

struct ChannelStats {
  int min = 0;
  double mean = 0.0;
  int max = 0;
  friend bool operator==(const ChannelStats&, const ChannelStats&) = default;
};

struct RegionStats {
  int width = 0;  // of the rectangle after clipping to the bitmap
  int height = 0;
  std::uint64_t pixels = 0;
  ChannelStats red, green, blue;
  std::uint64_t distinct = 0;
  // Up to kMostFrequentColours, most frequent first; equal counts by smaller 0xRRGGBB.
  std::vector<ColourCount> most_frequent;
};

inline constexpr int kMostFrequentColours = 5;

// How the colours are counted: in a table of every colour (16-bit counters, 32 MiB for
// each of two threads; fast when colours repeat nearby, as in photographs and
// drawings), or by buckets of the red value (2 bytes a pixel; faster when nearly every
// pixel has a colour of its own, as in noise). Both give the same result; automatic
// looks at a few stretches of rows to choose, and keeps the table beyond 64 Mi pixels.
enum class ColourCounting { kAutomatic, kBuckets, kTable };

// Working memory that one computation after another can reuse (the tables, or 2 bytes
// a pixel of the largest rectangle so far, whichever is larger): keep one while the
// inspector is open, so that dragging its box does not ask the system for fresh, zeroed
// memory on every change. Not for two computations at once.
class RegionStatsScratch {
 public:
  RegionStatsScratch();
  ~RegionStatsScratch();
  RegionStatsScratch(const RegionStatsScratch&) = delete;
  RegionStatsScratch& operator=(const RegionStatsScratch&) = delete;

  struct Memory;
  std::unique_ptr<Memory> memory;
};

// The statistics of rect clipped to the bitmap (an empty intersection gives zero
// pixels and no colours). Returns nothing when *cancel became true while it ran.
// Without scratch it takes and gives back its own working memory.
std::optional<RegionStats> ComputeRegionStats(const Bitmap& bitmap, const PixelRect& rect,
                                              const std::atomic<bool>* cancel = nullptr,
                                              RegionStatsScratch* scratch = nullptr,
                                              ColourCounting counting = ColourCounting::kAutomatic);

}  // namespace zelk
