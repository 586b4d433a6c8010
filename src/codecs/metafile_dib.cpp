#include "codecs/metafile_dib.h"

#include "codecs/dib.h"

namespace zelk {

void CheckDibData(ByteSpan dib, std::size_t bits_offset, bool icon_with_mask) {
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

void DecodeRecordDib(ByteSpan info, std::size_t bits_offset, RecordDib& out) {
  CheckDibData(info, bits_offset, false);
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

QImage ToQImage(const Bitmap& bitmap) {
  if (bitmap.Empty()) return QImage();
  return QImage(bitmap.Data(), bitmap.Width(), bitmap.Height(), bitmap.Stride(),
                QImage::Format_BGR888)
      .copy();
}

}  // namespace zelk
