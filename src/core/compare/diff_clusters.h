#pragma once
// Groups of differing pixels ("clusters") in reading order, for stepping from one
// difference to the next.
//
// The canvas is cut into tiles of kClusterTile x kClusterTile pixels from its top-left
// corner; a tile holding a differing pixel is marked, and a cluster is the differing
// pixels of marked tiles that touch one another at an edge or a corner. So two
// differing pixels at most kClusterTile pixels apart (horizontally and vertically)
// always share a cluster, two more than 2 * kClusterTile - 1 apart only through others
// between them. The tiles make the search cost a pass over the mask, not over pixels.
//
// Clusters are ordered by their first pixel in reading order (top row first, left to
// right within a row); no two clusters share one.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/compare/pixel_diff.h"
#include "core/view/geometry.h"
#include "core/view/readout.h"

namespace zelk {

inline constexpr int kClusterTile = 8;

struct DiffCluster {
  PixelRect bounds;          // of its differing pixels, Right and Bottom exclusive
  SourcePoint first;         // its first differing pixel in reading order
  std::uint64_t pixels = 0;  // how many of its pixels differ
  friend bool operator==(const DiffCluster&, const DiffCluster&) = default;
};

// Every cluster of the mask, in reading order of their first pixels. Returns nothing
// when *cancel became true while it ran.
std::optional<std::vector<DiffCluster>> FindDiffClusters(const DiffMask& mask,
                                                         const std::atomic<bool>* cancel = nullptr);

// True when p comes before q in reading order.
inline bool ReadsBefore(const SourcePoint& p, const SourcePoint& q) {
  return p.Y < q.Y || (p.Y == q.Y && p.X < q.X);
}

// The index of the first cluster whose first pixel comes after `from` in reading order;
// with wrap, the first cluster when none does. Nothing when there is none.
std::optional<std::size_t> NextDiffCluster(const std::vector<DiffCluster>& clusters,
                                           const SourcePoint& from, bool wrap);
// The index of the last cluster whose first pixel comes before `from`; with wrap, the
// last cluster when none does.
std::optional<std::size_t> PreviousDiffCluster(const std::vector<DiffCluster>& clusters,
                                               const SourcePoint& from, bool wrap);

}  // namespace zelk
