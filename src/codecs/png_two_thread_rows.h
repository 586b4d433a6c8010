#pragma once
// The rows of a common PNG decoded on two threads: the calling thread reads the
// image data chunks and inflates them, a second one unfilters each row and writes
// it into the bitmap. Inflating is about two thirds of the work of a large PNG,
// so the two overlap well on a machine with two cores.
//
// Only 8-bit, non-interlaced images take this way (grey, grey+alpha, RGB, RGBA and
// palette: most large PNGs); the rest go through libpng alone. The pixels, and the
// reasons a damaged file gives, are the same either way.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "codecs/decode_control.h"
#include "platform/bitmap.h"

namespace zelk {

// How the rows' bytes become pixels.
struct PngRowFormat {
  int width = 0;
  int height = 0;
  int colour_type = 0;  // PNG_COLOR_TYPE_*, bit depth 8
  // Palette images: every possible index's colour already composed over white,
  // B, G, R. Indices past the palette are black, as libpng reads them.
  std::array<std::array<std::uint8_t, 3>, 256> palette{};
  // Grey and RGB images with a tRNS chunk: pixels of exactly this colour are fully
  // transparent, so white. Grey uses key_red.
  bool has_key = false;
  std::uint8_t key_red = 0, key_green = 0, key_blue = 0;
};

// A colour sample of the given alpha composed over white, rounded: how both ways
// of reading a PNG show transparency.
inline std::uint8_t OverWhite(unsigned colour, unsigned alpha) noexcept {
  return static_cast<std::uint8_t>((alpha * colour + (255 - alpha) * 255 + 127) / 255);
}

// Samples per pixel of an 8-bit image of this colour type (palette: 1).
int PngChannelsOf(int colour_type);

// Undoes the filter of one row in place: row[0] is the filter type, the `length`
// sample bytes follow; `prior` is the row above, unfiltered (zeros for the first).
// bpp is bytes per pixel. false for a filter type PNG does not have.
bool UnfilterPngRow(std::uint8_t* row, const std::uint8_t* prior, std::size_t length, int bpp);

// `count` pixels of unfiltered 8-bit samples into B, G, R pixels of the bitmap,
// alpha and the tRNS colour composed over white.
void ConvertPngRow(const PngRowFormat& format, const std::uint8_t* samples, std::uint8_t* bgr,
                   int count);

// Whether an image of this type, bit depth and interlace method can take this way.
bool TwoThreadRowsApply(int colour_type, int bit_depth, int interlace_type);

// Reads exactly `length` bytes into `out` and says how many there were.
using PngByteReader = std::function<std::size_t(std::uint8_t* out, std::size_t length)>;

// Decodes the image data that `read` delivers, starting at the length field of the
// first IDAT chunk, into `out` (already sized width x height). Throws ImageError
// with the reason when the data is damaged or ends early; DecodeCancelled when
// `control` asks for it.
void DecodePngRowsOnTwoThreads(const PngRowFormat& format, const PngByteReader& read, Bitmap& out,
                               DecodeControl* control);

}  // namespace zelk
