#pragma once
// Bounds that keep a hostile metafile from taking unbounded time or memory.

#include <cstddef>
#include <cstdint>

#include "core/bitmap.h"

namespace zelk {

// Playback stops after this many records; what was drawn so far is kept.
inline constexpr std::size_t kMaxMetafileRecords = 1'000'000;
// Object tables hold at most this many entries (the 16-bit counts of both formats).
inline constexpr std::size_t kMaxMetafileObjects = 65'536;

// A metafile is vectors: a few bytes can describe any size, so the rasterised
// picture is capped well below the working bitmap's own limit.
inline constexpr std::int64_t kMaxMetafilePicturePixels = std::int64_t{64} << 20;

// Playback work is counted in output pixels touched (fills, blits, glyphs) plus path
// elements. A picture legitimately paints each of its pixels a few dozen times
// (backgrounds, overlapping shapes, anti-aliasing passes of the producer); past this
// many times its size, the file is refused as too costly.
inline constexpr std::int64_t kMetafileWorkPerPixel = 64;
// Small pictures with many records still get this much.
inline constexpr std::int64_t kMinMetafileWork = std::int64_t{1} << 28;

// A bitmap inside a metafile is drawn into the picture, so it may hold at most this
// many times the picture's pixels (a scan shown smaller), and never more than the
// picture cap. Compressed DIBs (PNG, JPEG, RLE) could otherwise claim far more.
inline constexpr std::int64_t kMetafileBitmapPerPicturePixel = 16;
inline constexpr std::int64_t kMinMetafileBitmapPixels = std::int64_t{4} << 20;

// Thrown when a file needs more work than its picture can justify. Unlike damage in
// one record, it ends playback and the load.
class MetafileTooCostly : public ImageError {
 public:
  using ImageError::ImageError;
};

}  // namespace zelk
