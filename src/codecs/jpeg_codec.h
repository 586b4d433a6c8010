#pragma once
// JPEG files through libjpeg-turbo: full-size, best-quality decoding straight into
// the working bitmap, and baseline colour writing.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "codecs/decode_control.h"
#include "platform/bitmap.h"

namespace zelk {

// Decodes the JPEG read from file (from its current position) into out. Greyscale,
// YCbCr, RGB, CMYK and YCCK (Adobe's inverted CMYK included) files load as colour.
// A file that ends early keeps what could be decoded; the rest shows white.
// Throws ImageError with the reason when nothing sensible can be decoded, when the
// header claims a picture far larger than the file could encode, or when its scans
// would cost far more work than a file of its size can need; out is then left
// empty or white. Throws DecodeCancelled when options.control asks for it.
void ReadJpegFile(std::FILE* file, Bitmap& out, const RasterReadOptions& options = {});
// The same for a JPEG held in memory.
void ReadJpegBytes(const std::uint8_t* data, std::size_t size, Bitmap& out,
                   const RasterReadOptions& options = {});

// Writes image as a baseline colour JPEG of the given quality (1..100) to file.
// Throws ImageError when the encoder refuses, std::system_error (with errno) when
// writing to the file fails. An empty image cannot be written as JPEG (ImageError).
void WriteJpeg(const Bitmap& image, std::FILE* file, int quality = 90);

}  // namespace zelk
