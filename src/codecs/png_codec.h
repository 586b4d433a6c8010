#pragma once
// PNG files through libpng: every colour type and bit depth decoded straight into
// the working bitmap with transparency composed over white, and 24-bit writing.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>

#include "codecs/decode_control.h"
#include "platform/bitmap.h"

namespace zelk {

// Decodes the PNG read from file (from its current position) into out. Palette,
// grey, grey+alpha, RGB and RGBA at every bit depth, interlaced or not, tRNS
// included; partly transparent pixels are blended over white. Throws ImageError
// with the reason when the file is not a PNG, is damaged or ends early, or when its
// header claims far more pixels than the file could encode; DecodeCancelled when
// options.control asks for it.
void ReadPngFile(std::FILE* file, Bitmap& out, const RasterReadOptions& options = {});
// The same for a PNG held in memory.
void ReadPngBytes(const std::uint8_t* data, std::size_t size, Bitmap& out,
                  const RasterReadOptions& options = {});

// Writes image as an 8-bit RGB PNG at the given zlib level (0..9) to file.
// Throws ImageError when the encoder refuses, std::system_error (with errno) when
// writing to the file fails.
void WritePng(const Bitmap& image, std::FILE* file, int zlib_level = 9);

// The row filter a fast encoding applies to every row (kAdaptive: libpng tries
// each one on every row and keeps the best, which costs several passes).
enum class PngRowFilter { kNone, kSub, kUp, kPaeth, kAdaptive };

// Rows of 8-bit B, G, R pixels anywhere in memory: row y starts at
// first + y * step (step may be negative, for bottom-up layouts such as a DIB).
struct BgrRows {
  const std::uint8_t* first = nullptr;
  std::ptrdiff_t step = 0;
  int width = 0;
  int height = 0;
};

// A PNG encoded for speed rather than size, for handing an image to another program
// at once: one row filter for every row and a low zlib level.
struct FastPngSettings {
  int zlib_level = 1;  // 0..9
  PngRowFilter filter = PngRowFilter::kSub;
  bool run_length_only = false;  // zlib's Z_RLE strategy: matches at distance 1 only
};

// Encodes rows as an 8-bit RGB PNG and hands the bytes, in order, to sink. Returns
// false, having written an incomplete stream, when stop became true between rows
// (checked before every row). Throws ImageError when the encoder refuses or runs
// out of memory; an exception thrown by sink ends the encoding and is rethrown.
bool EncodePngFast(const BgrRows& rows, const FastPngSettings& settings,
                   const std::function<void(const std::uint8_t*, std::size_t)>& sink,
                   const std::atomic<bool>* stop = nullptr);

}  // namespace zelk
