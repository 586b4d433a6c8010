#pragma once
// Bounds that keep a hostile metafile from taking unbounded time or memory.

#include <cstddef>
#include <cstdint>

#include "platform/bitmap.h"

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
// Every file gets this much (about 0.4 s of the costliest kinds of work), however
// small its picture...
inline constexpr std::int64_t kMinMetafileWork = std::int64_t{1} << 28;
// ...and beyond it at most this much per byte of the file (about 1.5 s per
// megabyte), so a small file cannot spend 64 times a large picture.
inline constexpr std::int64_t kMetafileWorkPerByte = 1024;

// A bitmap inside a metafile is drawn into the picture, so it may hold at most this
// many times the picture's pixels (a scan shown smaller), and never more than the
// picture cap. Compressed DIBs (PNG, JPEG, RLE) could otherwise claim far more.
inline constexpr std::int64_t kMetafileBitmapPerPicturePixel = 16;
inline constexpr std::int64_t kMinMetafileBitmapPixels = std::int64_t{4} << 20;

// What drawing costs beyond the pixels it fills, in the same units (a solid fill
// of one output pixel is one unit; the budget above allows about a second and a
// half of work on a two-core development machine).
//
// Scan conversion: the rasteriser keeps the edges crossing each row and works
// through them for every row, and its time grows with the square of their number
// (a polygon of 500 edges that all cross 4096 rows took 2.8 s to fill, one of 1000
// such edges 10.7 s). Each row is charged this many units per square of the edges
// that cross it.
inline constexpr double kMetafileScanWorkPerEdgeSquared = 2;
// A one-pixel (cosmetic) line is drawn pixel by pixel through the 24-bit pixel
// format's blending, about 75 ns each: far more than a pixel of a fill.
inline constexpr double kMetafileThinLineWorkPerPixel = 48;
// Text is filled as glyph outlines. A glyph costs about 0.45 microseconds per pixel
// of its size to lay out and scan (measured from 50 to 1600 pixels), visible or not.
inline constexpr double kMetafileGlyphWorkPerPixel = 512;

// Thrown when a file needs more work than its picture can justify. Unlike damage in
// one record, it ends playback and the load.
class MetafileTooCostly : public ImageError {
 public:
  using ImageError::ImageError;
};

}  // namespace zelk
