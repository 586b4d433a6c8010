#pragma once
// PNG files through libpng: every colour type and bit depth decoded straight into
// the working bitmap with transparency composed over white, and 24-bit writing.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "codecs/decode_control.h"
#include "core/bitmap.h"

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

}  // namespace zelk
