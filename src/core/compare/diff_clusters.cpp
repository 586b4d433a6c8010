#include "core/compare/diff_clusters.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace zelk {
namespace {

static_assert(kClusterTile == 8, "a tile's columns are one byte of a mask word");

// The differing pixels of one tile, or of a cluster while it grows.
struct Patch {
  int left = std::numeric_limits<int>::max();
  int top = std::numeric_limits<int>::max();
  int right = -1;  // inclusive
  int bottom = -1;
  SourcePoint first{std::numeric_limits<int>::max(), std::numeric_limits<int>::max()};
  std::uint64_t pixels = 0;

  bool Marked() const { return pixels != 0; }
  // The pixels [l, r) of row y, or of the rows [t, b) for AddRect.
  void AddRect(int l, int t, int r, int b) {
    left = std::min(left, l);
    top = std::min(top, t);
    right = std::max(right, r - 1);
    bottom = std::max(bottom, b - 1);
    if (ReadsBefore({l, t}, first)) first = {l, t};
    pixels += static_cast<std::uint64_t>(r - l) * static_cast<std::uint64_t>(b - t);
  }
  void Merge(const Patch& other) {
    left = std::min(left, other.left);
    top = std::min(top, other.top);
    right = std::max(right, other.right);
    bottom = std::max(bottom, other.bottom);
    if (ReadsBefore(other.first, first)) first = other.first;
    pixels += other.pixels;
  }
};

// Clusters as a union-find forest over the labels handed to marked tiles; a root holds
// the whole cluster's patch.
class Forest {
 public:
  int Add(const Patch& patch) {
    nodes_.push_back({static_cast<int>(nodes_.size()), patch});
    return nodes_.back().parent;
  }
  int Find(int n) {
    while (nodes_[n].parent != n) {
      nodes_[n].parent = nodes_[nodes_[n].parent].parent;  // halve the path
      n = nodes_[n].parent;
    }
    return n;
  }
  // Joins the clusters of roots a and b; returns the new root.
  int Join(int a, int b) {
    if (a == b) return a;
    if (b < a) std::swap(a, b);
    nodes_[b].parent = a;
    nodes_[a].patch.Merge(nodes_[b].patch);
    return a;
  }
  Patch& PatchOf(int root) { return nodes_[root].patch; }

  std::vector<DiffCluster> Clusters() {
    std::vector<DiffCluster> clusters;
    for (std::size_t n = 0; n < nodes_.size(); ++n) {
      if (nodes_[n].parent != static_cast<int>(n)) continue;
      const Patch& p = nodes_[n].patch;
      clusters.push_back({{p.left, p.top, p.right + 1, p.bottom + 1}, p.first, p.pixels});
    }
    std::sort(clusters.begin(), clusters.end(), [](const DiffCluster& a, const DiffCluster& b) {
      return ReadsBefore(a.first, b.first);
    });
    return clusters;
  }

 private:
  struct Node {
    int parent;
    Patch patch;
  };
  std::vector<Node> nodes_;
};

// The rectangles only one bitmap covers (right of the overlap, then below it), all of
// whose pixels differ.
std::vector<PixelRect> OneSidedRects(const DiffMask& mask) {
  const int w = mask.OverlapWidth(), h = mask.OverlapHeight();
  std::vector<PixelRect> rects;
  const auto add = [&](int l, int t, int r, int b) {
    if (r > l && b > t) rects.push_back({l, t, r, b});
  };
  // Only one of the two can be wider (and only one higher) than the overlap.
  for (const bool a : {true, false}) {
    const int right = a ? mask.AWidth() : mask.BWidth();
    const int bottom = a ? mask.AHeight() : mask.BHeight();
    add(w, 0, right, bottom);
    add(0, h, std::min(w, right), bottom);
  }
  return rects;
}

}  // namespace

std::optional<std::vector<DiffCluster>> FindDiffClusters(const DiffMask& mask,
                                                         const std::atomic<bool>* cancel) {
  const int width = mask.Width(), height = mask.Height();
  const int tiles_x = (width + kClusterTile - 1) / kClusterTile;
  const int tiles_y = (height + kClusterTile - 1) / kClusterTile;
  const std::vector<PixelRect> one_sided = OneSidedRects(mask);
  const std::ptrdiff_t words = mask.WordsPerRow();

  Forest forest;
  std::vector<Patch> tiles(static_cast<std::size_t>(tiles_x));
  // The label of each tile of the row above and of this row (-1: not marked), with a
  // column of -1 on either side.
  std::vector<int> above(static_cast<std::size_t>(tiles_x) + 2, -1);
  std::vector<int> here(above.size(), -1);
  for (int ty = 0; ty < tiles_y; ++ty) {
    if ((ty & 63) == 0 && cancel != nullptr && cancel->load(std::memory_order_relaxed))
      return std::nullopt;
    std::fill(tiles.begin(), tiles.end(), Patch{});
    const int y0 = ty * kClusterTile, y1 = std::min(height, y0 + kClusterTile);
    for (int y = y0; y < std::min(y1, mask.OverlapHeight()); ++y) {
      const std::uint64_t* row = mask.OverlapRow(y);
      for (std::ptrdiff_t w = 0; w < words; ++w) {
        for (std::uint64_t word = row[w]; word != 0;) {
          const int k = std::countr_zero(word) / 8;  // the tile's byte in the word
          const auto byte = static_cast<unsigned>(word >> (8 * k) & 0xFF);
          word &= ~(std::uint64_t{0xFF} << (8 * k));
          const int tx = static_cast<int>(w * 8) + k;
          const int x0 = tx * kClusterTile;
          Patch& tile = tiles[static_cast<std::size_t>(tx)];
          tile.left = std::min(tile.left, x0 + std::countr_zero(byte));
          tile.right = std::max(tile.right, x0 + 31 - std::countl_zero(byte));
          tile.top = std::min(tile.top, y);
          tile.bottom = y;
          if (tile.pixels == 0 || y < tile.first.Y) tile.first = {x0 + std::countr_zero(byte), y};
          tile.pixels += static_cast<std::uint64_t>(std::popcount(byte));
        }
      }
    }
    for (const PixelRect& r : one_sided) {
      const int top = std::max(r.Top, y0), bottom = std::min(r.Bottom, y1);
      if (bottom <= top) continue;
      for (int tx = r.Left / kClusterTile; tx * kClusterTile < r.Right; ++tx) {
        const int x0 = tx * kClusterTile;
        tiles[static_cast<std::size_t>(tx)].AddRect(std::max(r.Left, x0), top,
                                                    std::min(r.Right, x0 + kClusterTile), bottom);
      }
    }

    for (int tx = 0; tx < tiles_x; ++tx) {
      const Patch& tile = tiles[static_cast<std::size_t>(tx)];
      const auto i = static_cast<std::size_t>(tx) + 1;
      here[i] = -1;
      if (!tile.Marked()) continue;
      int label = -1;
      for (const int neighbour : {here[i - 1], above[i - 1], above[i], above[i + 1]}) {
        if (neighbour < 0) continue;
        const int root = forest.Find(neighbour);
        label = label < 0 ? root : forest.Join(label, root);
      }
      if (label < 0) {
        label = forest.Add(tile);
      } else {
        forest.PatchOf(label).Merge(tile);
      }
      here[i] = label;
    }
    std::swap(above, here);
  }
  return forest.Clusters();
}

std::optional<std::size_t> NextDiffCluster(const std::vector<DiffCluster>& clusters,
                                           const SourcePoint& from, bool wrap) {
  const auto it = std::upper_bound(
      clusters.begin(), clusters.end(), from,
      [](const SourcePoint& p, const DiffCluster& c) { return ReadsBefore(p, c.first); });
  if (it != clusters.end()) return static_cast<std::size_t>(it - clusters.begin());
  if (wrap && !clusters.empty()) return 0;
  return std::nullopt;
}

std::optional<std::size_t> PreviousDiffCluster(const std::vector<DiffCluster>& clusters,
                                               const SourcePoint& from, bool wrap) {
  const auto it = std::lower_bound(
      clusters.begin(), clusters.end(), from,
      [](const DiffCluster& c, const SourcePoint& p) { return ReadsBefore(c.first, p); });
  if (it != clusters.begin()) return static_cast<std::size_t>(it - clusters.begin()) - 1;
  if (wrap && !clusters.empty()) return clusters.size() - 1;
  return std::nullopt;
}

}  // namespace zelk
