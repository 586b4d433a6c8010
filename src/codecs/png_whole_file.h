#pragma once
// A PNG file decoded in one go: read whole into memory, all its image data inflated
// by one call of libdeflate (about twice as fast as zlib's streaming inflate), then
// unfiltered row by row on the calling thread. It is for the command-line
// comparison, which decodes two large files at once and wants them quickly: it holds
// the file and all filtered rows at the same time (the rows in the bitmap's own
// memory, made larger where they need more), about 1.4 times the memory of the
// normal PNG reader for an RGB file.
//
// It takes only the files it decodes to exactly the pixels LoadImageFile gives them:
// 8-bit, non-interlaced grey, grey+alpha, RGB and RGBA without tRNS or a palette,
// every chunk up to the last image data whole and with its CRC right, the image data
// inflating to exactly the rows. It declines everything else, and anything wrong,
// and the caller then loads the file the normal way, which also gives the reason
// for a damaged one. A build without libdeflate has no such way and always declines.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/bitmap.h"

namespace zelk {

// Whether this build decodes whole files at all.
bool PngWholeFileAvailable() noexcept;

// Decodes the PNG file at path into out and returns true; returns false (out then
// empty or as it was) when the file is not one this way takes, cannot be read, is
// damaged, or would need more memory than is available. Never throws ImageError;
// the size limits of the normal reader apply (kMaxImageSide, kMaxImagePixels, the
// pixels the file's size can encode, the available memory).
bool TryLoadPngWhole(const std::string& path, Bitmap& out);

// The same for a PNG held in memory (the bytes are copied first).
bool TryDecodePngWhole(const std::uint8_t* data, std::size_t size, Bitmap& out);

}  // namespace zelk
