#pragma once
// Device-independent bitmaps: the pixel format inside BMP files, icon entries and
// the bitmap records of WMF and EMF metafiles.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "codecs/decode_control.h"
#include "platform/bitmap.h"

namespace zelk {

struct DibDecodeOptions {
  // Icon entries: the header's height counts the colour bitmap and the 1-bit AND
  // mask stored after it; masked pixels become white, and so does the transparent
  // part of 32-bit pixels with alpha. Elsewhere a bitmap's alpha is not applied:
  // the stored colours are shown.
  bool icon_with_mask = false;
  // Where the pixel bits start, counted from the start of the header; 0 means right
  // after the header and its colour table or bit masks.
  std::size_t bits_offset = 0;
  // Looked at every row: cancel, progress.
  DecodeControl* control = nullptr;
};

// Decodes a DIB (BITMAPCOREHEADER, BITMAPINFOHEADER or V2-V5 header, colour table
// or bit masks, then the bits: 1, 4, 8, 16, 24 or 32 bits, RLE4, RLE8, BITFIELDS,
// top-down or bottom-up, or a whole JPEG or PNG no larger than the header says)
// into out. Every size and offset is checked against `size`; damage throws
// ImageError with the reason, a cancel DecodeCancelled.
void DecodeDib(const std::uint8_t* dib, std::size_t size, Bitmap& out,
               const DibDecodeOptions& options = {});

// A 40-byte BITMAPINFOHEADER for a 24-bit bottom-up DIB of image's size.
std::vector<std::uint8_t> Dib24Header(const Bitmap& image);
// Bytes of the 24-bit bottom-up pixel rows that follow Dib24Header.
std::uint64_t Dib24PixelBytes(const Bitmap& image);
// Writes the 24-bit bottom-up pixel rows of image to file; throws std::system_error
// with errno when a write fails.
void WriteDib24Pixels(const Bitmap& image, std::FILE* file);

}  // namespace zelk
