#include "codecs/metafile_dib.h"

#include "codecs/dib.h"

#include <string>

namespace zelk {

namespace {

// Width and height of the PNG or JPEG stored as a DIB's bits, from its own header;
// zero when it has none that can be read.
void EmbeddedSize(ByteSpan data, std::uint32_t compression, std::int64_t& width,
                  std::int64_t& height) {
  width = height = 0;
  auto be16 = [&](std::size_t at) { return std::int64_t{data.U8(at)} << 8 | data.U8(at + 1); };
  if (compression == 5) {
    if (data.Has(0, 24) && data.U8(1) == 'P' && data.U8(12) == 'I' && data.U8(15) == 'R') {
      width = be16(16) << 16 | be16(18);
      height = be16(20) << 16 | be16(22);
    }
    return;
  }
  // JPEG: walk the markers to the first start of frame.
  std::size_t at = 2;
  while (data.Has(at, 4) && data.U8(at) == 0xFF) {
    const std::uint8_t marker = data.U8(at + 1);
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (data.Has(at + 5, 4)) height = be16(at + 5), width = be16(at + 7);
      return;
    }
    at += 2 + static_cast<std::size_t>(be16(at + 2));
  }
}

}  // namespace

void CheckDibData(ByteSpan dib, std::size_t bits_offset, bool icon_with_mask,
                  std::int64_t max_pixels) {
  const std::uint32_t header_size = dib.U32(0);
  std::int64_t width = 0, height = 0;
  std::uint32_t bits = 0, compression = 0, used = 0;
  const bool core = header_size == 12;
  if (core) {
    width = dib.U16(4), height = dib.U16(6), bits = dib.U16(10);
  } else if (header_size >= 16) {
    width = dib.S32(4), height = dib.S32(8), bits = dib.U16(14);
    if (header_size >= 20) compression = dib.U32(16);
    if (header_size >= 36) used = dib.U32(32);
  } else {
    return;  // the decoder names what is wrong
  }
  std::int64_t rows = height < 0 ? -height : height;
  if (icon_with_mask) rows /= 2;
  auto check_size = [&](std::int64_t w, std::int64_t h) {
    if (w > 0 && h > 0 && (w > max_pixels / h))
      throw ImageError("a bitmap in the metafile (" + std::to_string(w) + " x " +
                       std::to_string(h) + ") is larger than the picture it belongs to can use");
  };
  check_size(width, rows);
  if (compression == 4 || compression == 5) {
    const std::size_t at = bits_offset != 0 ? bits_offset : header_size;
    if (at < dib.Size()) {
      std::int64_t w = 0, h = 0;
      EmbeddedSize(dib.Sub(at, dib.Size() - at), compression, w, h);
      check_size(w, h);
    }
    return;
  }
  if (width <= 0 || rows <= 0 || bits == 0 || bits > 32) return;
  std::uint64_t start = bits_offset;
  if (start == 0) {
    start = header_size;
    if (header_size == 40 && compression == 3) start += 12;
    if (header_size == 40 && compression == 6) start += 16;
    std::uint64_t entries = used;
    if (entries == 0 && bits <= 8) entries = std::uint64_t{1} << bits;
    if (bits <= 8) start += std::min<std::uint64_t>(entries, 256) * (core ? 3 : 4);
  }
  const std::uint64_t available = start < dib.Size() ? dib.Size() - start : 0;
  const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(rows);
  if (compression == 1 || compression == 2) {
    // Run-length data rarely packs more than 255 pixels into two bytes.
    if (pixels > 256 * available + (std::uint64_t{1} << 20))
      throw ImageError("a bitmap claims more pixels than its data can hold");
    return;
  }
  const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
  if (stride * static_cast<std::uint64_t>(rows) > available)
    throw ImageError("a bitmap's pixel data is shorter than its header says");
}

void DecodeRecordDib(ByteSpan info, std::size_t bits_offset, RecordDib& out,
                     std::int64_t max_pixels) {
  CheckDibData(info, bits_offset, false, max_pixels);
  const std::uint32_t header_size = info.U32(0);
  if (header_size == 12)
    out.bottom_up = true;
  else
    out.bottom_up = info.S32(8) > 0;
  DibDecodeOptions options;
  options.bits_offset = bits_offset;
  DecodeDib(info.Data(), info.Size(), out.pixels, options);
}

void DecodeBitmap16(ByteSpan bitmap, ColorRef text, ColorRef background, Bitmap& out) {
  const int width = bitmap.S16(2), height = bitmap.S16(4), width_bytes = bitmap.S16(6);
  const int bits_pixel = bitmap.U8(9);
  if (width <= 0 || height <= 0 || width_bytes <= 0)
    throw ImageError("a bitmap in the metafile has no size");
  if (bits_pixel != 1 && bits_pixel != 24 && bits_pixel != 32)
    throw ImageError("a bitmap in the metafile has an unsupported depth");
  if (static_cast<std::int64_t>(width) * bits_pixel > std::int64_t{width_bytes} * 8)
    throw ImageError("a bitmap in the metafile is damaged");
  const ByteSpan bits = bitmap.Sub(10, static_cast<std::size_t>(width_bytes) * height);
  out.ResetUninitialised(width, height);
  auto rgb = [](ColorRef c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); };
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = bits.Data() + static_cast<std::size_t>(y) * width_bytes;
    std::uint8_t* d = out.Row(y);
    for (int x = 0; x < width; ++x, d += 3) {
      if (bits_pixel == 1) {
        const std::uint32_t c = ((row[x >> 3] >> (7 - (x & 7))) & 1) ? rgb(background) : rgb(text);
        d[0] = static_cast<std::uint8_t>(c), d[1] = static_cast<std::uint8_t>(c >> 8),
        d[2] = static_cast<std::uint8_t>(c >> 16);
      } else {
        const std::uint8_t* s = row + x * (bits_pixel / 8);
        d[0] = s[0], d[1] = s[1], d[2] = s[2];
      }
    }
  }
}

void DrawDib(MetafileCanvas& canvas, double dx, double dy, double dw, double dh,
             const RecordDib& dib, int x, int y, int w, int h, std::uint32_t rop, bool dib_origin) {
  // A mirrored source is the same as a mirrored destination.
  std::int64_t sx = x, sy = y, sw = w, sh = h;
  if (sw < 0) sx += sw, sw = -sw, dx += dw, dw = -dw;
  if (sh < 0) sy += sh, sh = -sh, dy += dh, dh = -dh;
  if (dib_origin && dib.bottom_up) sy = dib.pixels.Height() - (sy + sh);
  canvas.Blit(dx, dy, dw, dh, &dib.pixels, sx, sy, sw, sh, rop);
}

std::shared_ptr<const QImage> PatternImage(Bitmap&& bitmap) {
  if (bitmap.Empty()) return nullptr;
  // The image owns the bitmap and frees it with its last copy.
  auto* owned = new Bitmap(std::move(bitmap));
  return std::make_shared<const QImage>(
      owned->Data(), owned->Width(), owned->Height(), owned->Stride(), QImage::Format_BGR888,
      [](void* p) { delete static_cast<Bitmap*>(p); }, owned);
}

}  // namespace zelk
