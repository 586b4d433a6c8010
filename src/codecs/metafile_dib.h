#pragma once
// The bitmaps inside metafile records: device-independent bitmaps (both formats)
// and the old device-dependent Bitmap16 of WMF.

#include <QImage>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "codecs/metafile_bytes.h"
#include "codecs/metafile_canvas.h"
#include "platform/bitmap.h"

namespace zelk {

struct RecordDib {
  Bitmap pixels;           // top-down
  bool bottom_up = false;  // as stored; source rectangles then count from the bottom
};

// Throws ImageError unless the pixel bits a DIB's header announces are there (for
// uncompressed DIBs), or its size is in proportion to its data (RLE), so a header
// claiming a huge bitmap over a few bytes is refused before anything is allocated.
// icon_with_mask: the header's height counts the colour bitmap and its AND mask.
// A bitmap of more than max_pixels (for an embedded PNG or JPEG, by its own header)
// is refused as well.
void CheckDibData(ByteSpan dib, std::size_t bits_offset, bool icon_with_mask,
                  std::int64_t max_pixels = INT64_MAX);

// Decodes a DIB whose header and colour table are `info` and whose bits start
// bits_offset bytes after the header's start (0: right after the colour table).
// Throws ImageError when the bitmap is damaged or has more than max_pixels.
void DecodeRecordDib(ByteSpan info, std::size_t bits_offset, RecordDib& out,
                     std::int64_t max_pixels = INT64_MAX);

// Decodes a Bitmap16 (1, 24 or 32 bits per pixel); monochrome bits take the text
// colour for 0 and the background colour for 1, as when blitted to a colour device.
void DecodeBitmap16(ByteSpan bitmap, ColorRef text, ColorRef background, Bitmap& out);

// Draws the source rectangle (x, y, w, h) of dib onto the logical box (dx, dy, dw, dh).
// DIB records (StretchDIBits, SetDIBitsToDevice) count y from the bottom row of a
// bottom-up DIB; blits from a device context count from the top (from_bottom false).
void DrawDib(MetafileCanvas& canvas, double dx, double dy, double dw, double dh,
             const RecordDib& dib, int x, int y, int w, int h, std::uint32_t rop, bool dib_origin);

// A pattern brush's image, sharing the bitmap's pixels rather than copying them.
std::shared_ptr<const QImage> PatternImage(Bitmap&& bitmap);

}  // namespace zelk
