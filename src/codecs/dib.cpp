#include "codecs/dib.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "codecs/bmp_bytes.h"
#include "codecs/claimed_size.h"
#include "codecs/jpeg_codec.h"
#include "codecs/png_codec.h"

namespace zelk {
namespace {

// biCompression values.
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiJpeg = 4;
constexpr std::uint32_t kBiPng = 5;
constexpr std::uint32_t kBiAlphaBitfields = 6;

constexpr std::size_t kCoreHeaderSize = 12;
constexpr std::size_t kInfoHeaderSize = 40;

// One channel of a BITFIELDS pixel: where its bits lie and how to widen them to 8.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint32_t max = 0;  // the largest value after shifting

  explicit Channel(std::uint32_t m = 0) : mask(m) {
    if (mask == 0) return;
    shift = std::countr_zero(mask);
    // A mask with holes is out of any format's rules; treat the span as its width.
    max = static_cast<std::uint32_t>((std::uint64_t{1} << std::bit_width(mask >> shift)) - 1);
  }
  bool Present() const { return mask != 0; }
  std::uint8_t Scale(std::uint32_t pixel) const {
    if (max == 0) return 0;
    const std::uint64_t v = (pixel & mask) >> shift;
    if (max == 255) return static_cast<std::uint8_t>(v);
    return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
  }
};

struct Header {
  std::size_t header_size = 0;
  bool core = false;  // OS/2 1.x: 16-bit sizes, 3-byte palette entries
  bool os2v2 = false;
  std::int64_t width = 0;
  std::int64_t height = 0;  // as stored: negative means top-down
  unsigned bit_count = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t colours_used = 0;
  std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  bool masks_in_header = false;
};

Header ReadHeader(const std::uint8_t* dib, std::size_t size) {
  if (size < 4) throw ImageError("the bitmap header is incomplete");
  Header h;
  h.header_size = ReadU32(dib);
  switch (h.header_size) {
    case kCoreHeaderSize:
      h.core = true;
      break;
    case 16:
    case 64:
      h.os2v2 = true;
      break;
    case kInfoHeaderSize:
    case 52:
    case 56:
    case 108:
    case 124:
      break;
    default:
      throw ImageError("the bitmap header has an unknown size (" + std::to_string(h.header_size) +
                       " bytes)");
  }
  if (size < h.header_size) throw ImageError("the bitmap header is incomplete");
  if (h.core) {
    h.width = ReadU16(dib + 4);
    h.height = ReadU16(dib + 6);
    h.bit_count = ReadU16(dib + 10);
    return h;
  }
  h.width = static_cast<std::int32_t>(ReadU32(dib + 4));
  h.height = static_cast<std::int32_t>(ReadU32(dib + 8));
  h.bit_count = ReadU16(dib + 14);
  if (h.header_size >= 20) h.compression = ReadU32(dib + 16);
  if (h.header_size >= 36) h.colours_used = ReadU32(dib + 32);
  if (h.os2v2) {
    // OS/2 2.x reuses 3 and 4 for its own Huffman and RLE24 codings.
    if (h.compression == 3) throw ImageError("OS/2 Huffman-coded bitmaps are not supported");
    if (h.compression == 4) throw ImageError("OS/2 RLE24 bitmaps are not supported");
  }
  if (h.header_size >= 52) {
    h.masks_in_header = true;
    for (int i = 0; i < 3; ++i) h.masks[i] = ReadU32(dib + 40 + 4 * i);
  }
  if (h.header_size >= 56) h.masks[3] = ReadU32(dib + 52);
  return h;
}

std::string BitCountText(unsigned bits) {
  return std::to_string(bits) + " bits per pixel";
}

void ValidateFormat(const Header& h) {
  switch (h.compression) {
    case kBiRgb:
      if (h.bit_count != 1 && h.bit_count != 2 && h.bit_count != 4 && h.bit_count != 8 &&
          h.bit_count != 16 && h.bit_count != 24 && h.bit_count != 32)
        throw ImageError("bitmaps with " + BitCountText(h.bit_count) + " are not supported");
      break;
    case kBiRle8:
      if (h.bit_count != 8) throw ImageError("an RLE8 bitmap must have 8 bits per pixel");
      break;
    case kBiRle4:
      if (h.bit_count != 4) throw ImageError("an RLE4 bitmap must have 4 bits per pixel");
      break;
    case kBiBitfields:
    case kBiAlphaBitfields:
      if (h.bit_count != 16 && h.bit_count != 32)
        throw ImageError("a bit-field bitmap must have 16 or 32 bits per pixel");
      break;
    case kBiJpeg:
    case kBiPng:
      if (h.core) throw ImageError("the bitmap header is damaged");
      break;
    default:
      throw ImageError("the bitmap uses an unknown compression (" + std::to_string(h.compression) +
                       ")");
  }
  if (h.core && h.compression != kBiRgb) throw ImageError("the bitmap header is damaged");
}

// 256 palette entries as B, G, R; indices past the stored palette stay black.
using Palette = std::array<std::uint8_t, 256 * 3>;

// Icon pixels with alpha are composed over white.
inline void PutComposed(std::uint8_t* p, std::uint8_t b, std::uint8_t g, std::uint8_t r,
                        std::uint8_t a) {
  const unsigned inv = 255u - a;
  p[0] = static_cast<std::uint8_t>((b * a + 255u * inv + 127u) / 255u);
  p[1] = static_cast<std::uint8_t>((g * a + 255u * inv + 127u) / 255u);
  p[2] = static_cast<std::uint8_t>((r * a + 255u * inv + 127u) / 255u);
}

class DibDecoder {
 public:
  DibDecoder(const std::uint8_t* dib, std::size_t size, const DibDecodeOptions& options)
      : dib_(dib), size_(size), options_(options), h_(ReadHeader(dib, size)) {}

  void Decode(Bitmap& out) {
    ValidateFormat(h_);
    const bool rle = h_.compression == kBiRle8 || h_.compression == kBiRle4;
    if (h_.width <= 0) throw ImageError("the bitmap has no width");
    if (h_.height == 0) throw ImageError("the bitmap has no height");
    top_down_ = h_.height < 0;
    if (top_down_ && rle) throw ImageError("a compressed bitmap cannot be stored top-down");
    std::int64_t height = top_down_ ? -h_.height : h_.height;
    if (options_.icon_with_mask) {
      height /= 2;
      if (height == 0) throw ImageError("the icon has no height");
    }
    CheckImageSize(h_.width, height);
    width_ = static_cast<int>(h_.width);
    height_ = static_cast<int>(height);

    LocateTables();
    if (h_.compression == kBiJpeg || h_.compression == kBiPng) {
      DecodeEmbedded(out);
      return;
    }
    src_stride_ = ((static_cast<std::uint64_t>(width_) * h_.bit_count + 31) / 32) * 4;
    if (bits_start_ >= size_) throw ImageError("the file ends before the image data");
    CheckDataIsPlausible(rle);

    out.Reset(width_, height_);
    try {
      if (rle) {
        DecodeRle(out);
        return;
      }
      DecodeRows(out);
    } catch (const DecodeCancelled&) {
      out.Release();  // nothing half-made is kept
      throw;
    }
    if (options_.icon_with_mask) ApplyMask(out);
  }

 private:
  // Finds the bit masks and the colour table after the header, and where the bits start.
  void LocateTables() {
    std::uint64_t pos = h_.header_size;
    if (!h_.masks_in_header &&
        (h_.compression == kBiBitfields || h_.compression == kBiAlphaBitfields)) {
      const int count = h_.compression == kBiAlphaBitfields ? 4 : 3;
      if (pos + 4u * count > size_) throw ImageError("the bitmap's colour masks are missing");
      for (int i = 0; i < count; ++i) h_.masks[i] = ReadU32(dib_ + pos + 4 * i);
      pos += 4u * count;
    }

    const std::uint64_t entry_size = h_.core ? 3 : 4;
    std::uint64_t entries = h_.colours_used;
    if (entries == 0 && h_.bit_count >= 1 && h_.bit_count <= 8)
      entries = std::uint64_t{1} << h_.bit_count;
    const std::uint64_t palette_start = pos;
    const std::uint64_t palette_end = palette_start + entries * entry_size;

    if (options_.bits_offset != 0) {
      if (options_.bits_offset < palette_start)
        throw ImageError("the image data starts inside the bitmap header");
      bits_start_ = options_.bits_offset;
    } else {
      bits_start_ = palette_end;
    }
    if (h_.bit_count > 8) return;

    // A palette cut short (by the file's end or by where the bits start) keeps the
    // entries that are there; the others read as black.
    std::uint64_t available_end = std::min<std::uint64_t>(palette_end, size_);
    if (options_.bits_offset != 0) available_end = std::min(available_end, bits_start_);
    const std::uint64_t stored = std::min<std::uint64_t>(
        {(available_end > palette_start ? available_end - palette_start : 0) / entry_size, entries,
         std::uint64_t{256}});
    palette_.fill(0);
    for (std::uint64_t i = 0; i < stored; ++i) {
      const std::uint8_t* e = dib_ + palette_start + i * entry_size;
      palette_[i * 3] = e[0];
      palette_[i * 3 + 1] = e[1];
      palette_[i * 3 + 2] = e[2];
    }
  }

  // A truncated file shows what it holds, but a header whose size is damaged would
  // have a few kilobytes allocate gigabytes of white. Big images must therefore carry
  // a fair share of their data: a 64th of the rows, or for RLE (at most about 128
  // pixels a byte in runs, more with deltas) a 1024th of the uncompressed size.
  void CheckDataIsPlausible(bool rle) const {
    const std::int64_t pixels = std::int64_t{width_} * height_;
    if (pixels <= kPixelsAlwaysAllowed) return;
    const std::uint64_t needed = src_stride_ * height_ / (rle ? 1024 : 64);
    if (size_ - bits_start_ < needed) throw TooShortForClaimedSize(width_, height_);
  }

  // A whole JPEG or PNG file stands in for the bits (printers' DIBs, some BMP files).
  // It may not be larger than the header claims: an icon entry of 16 x 16 must not
  // unpack into a 20000 x 20000 picture.
  void DecodeEmbedded(Bitmap& out) const {
    if (bits_start_ >= size_) throw ImageError("the file ends before the image data");
    const std::uint8_t* data = dib_ + bits_start_;
    const std::size_t bytes = size_ - static_cast<std::size_t>(bits_start_);
    RasterReadOptions embedded;
    embedded.control = options_.control;
    embedded.max_width = h_.width;
    embedded.max_height = h_.height < 0 ? -h_.height : h_.height;
    if (h_.compression == kBiJpeg) {
      ReadJpegBytes(data, bytes, out, embedded);
    } else {
      ReadPngBytes(data, bytes, out, embedded);
    }
  }

  int DestRow(std::int64_t stored_row) const {
    return top_down_ ? static_cast<int>(stored_row) : height_ - 1 - static_cast<int>(stored_row);
  }

  // Uncompressed rows; a row cut by the file's end keeps the pixels that are whole.
  void DecodeRows(Bitmap& out) {
    const std::uint64_t available = size_ - bits_start_;
    const std::uint8_t* bits = dib_ + bits_start_;
    PrepareChannels();
    for (int i = 0; i < height_; ++i) {
      const std::uint64_t row_offset = static_cast<std::uint64_t>(i) * src_stride_;
      if (row_offset >= available) break;
      const std::uint64_t row_bytes = std::min(src_stride_, available - row_offset);
      const int pixels =
          static_cast<int>(std::min<std::uint64_t>(row_bytes * 8 / h_.bit_count, width_));
      DecodeRow(bits + row_offset, pixels, out.Row(DestRow(i)));
      RowDone(i + 1);
    }
  }

  // Cancel and progress, once a row.
  void RowDone(std::int64_t rows) const {
    DecodeControl* control = options_.control;
    if (control == nullptr) return;
    if (CancelRequested(control)) throw DecodeCancelled();
    control->Report(rows, height_);
  }

  void PrepareChannels() {
    if (h_.bit_count != 16 && h_.bit_count != 32) return;
    std::uint32_t r, g, b, a = 0;
    if (h_.compression == kBiRgb) {
      if (h_.bit_count == 16) {
        r = 0x7C00, g = 0x03E0, b = 0x001F;
      } else {
        r = 0xFF0000, g = 0xFF00, b = 0xFF;
      }
      // Icons carry alpha in the fourth byte of 32-bit pixels; elsewhere it is unused.
      if (options_.icon_with_mask && h_.bit_count == 32) a = 0xFF000000u;
    } else {
      r = h_.masks[0], g = h_.masks[1], b = h_.masks[2];
      if (options_.icon_with_mask) a = h_.masks[3];
    }
    if (h_.bit_count == 16) r &= 0xFFFF, g &= 0xFFFF, b &= 0xFFFF, a &= 0xFFFF;
    red_ = Channel(r), green_ = Channel(g), blue_ = Channel(b), alpha_ = Channel(a);
    plain32_ = h_.bit_count == 32 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF;
    if (alpha_.Present() && options_.icon_with_mask) {
      // Old 32-bit icons leave the alpha bytes zero and rely on the mask alone.
      bool any = false;
      const std::uint64_t bytes =
          std::min<std::uint64_t>(size_ - bits_start_, src_stride_ * height_);
      for (std::uint64_t i = 3; i < bytes && !any; i += 4) any = dib_[bits_start_ + i] != 0;
      if (!any) alpha_ = Channel();
    }
  }

  void DecodeRow(const std::uint8_t* src, int pixels, std::uint8_t* dst) const {
    switch (h_.bit_count) {
      case 1:
      case 2:
      case 4:
      case 8: {
        const unsigned bits = h_.bit_count;
        const unsigned per_byte = 8 / bits;
        const unsigned mask = (1u << bits) - 1;
        for (int x = 0; x < pixels; ++x, dst += 3) {
          const unsigned shift = 8 - bits * (x % per_byte + 1);
          const unsigned index = (src[x / per_byte] >> shift) & mask;
          std::memcpy(dst, &palette_[index * 3], 3);
        }
        break;
      }
      case 24:
        std::memcpy(dst, src, static_cast<std::size_t>(pixels) * 3);
        break;
      case 16:
        for (int x = 0; x < pixels; ++x, dst += 3) PutMasked(dst, ReadU16(src + 2 * x));
        break;
      case 32:
        if (plain32_ && !alpha_.Present()) {
          for (int x = 0; x < pixels; ++x, dst += 3) std::memcpy(dst, src + 4 * x, 3);
        } else {
          for (int x = 0; x < pixels; ++x, dst += 3) PutMasked(dst, ReadU32(src + 4 * x));
        }
        break;
    }
  }

  void PutMasked(std::uint8_t* dst, std::uint32_t pixel) const {
    const std::uint8_t r = red_.Scale(pixel), g = green_.Scale(pixel), b = blue_.Scale(pixel);
    if (alpha_.Present()) {
      PutComposed(dst, b, g, r, alpha_.Scale(pixel));
    } else {
      dst[0] = b, dst[1] = g, dst[2] = r;
    }
  }

  // The 1-bit AND mask after the colour bits of an icon entry: set bits show white.
  // A mask cut short leaves the remaining pixels as drawn.
  void ApplyMask(Bitmap& out) const {
    const std::uint64_t mask_stride = ((static_cast<std::uint64_t>(width_) + 31) / 32) * 4;
    const std::uint64_t mask_start = bits_start_ + src_stride_ * height_;
    if (mask_start >= size_) return;
    const std::uint64_t available = size_ - mask_start;
    const std::uint8_t* mask = dib_ + mask_start;
    for (int i = 0; i < height_; ++i) {
      const std::uint64_t row_offset = static_cast<std::uint64_t>(i) * mask_stride;
      if (row_offset >= available) break;
      const std::uint64_t row_bytes = std::min(mask_stride, available - row_offset);
      const int pixels = static_cast<int>(std::min<std::uint64_t>(row_bytes * 8, width_));
      std::uint8_t* dst = out.Row(DestRow(i));
      for (int x = 0; x < pixels; ++x) {
        if ((mask[row_offset + x / 8] >> (7 - x % 8)) & 1) std::memset(dst + 3 * x, 0xFF, 3);
      }
    }
  }

  // RLE8 and RLE4: runs, literal runs, line ends, deltas and the end mark. Pixels
  // that no command reaches keep the white the bitmap starts with; nothing outside
  // the bitmap is ever written.
  void DecodeRle(Bitmap& out) const {
    const std::uint8_t* p = dib_ + bits_start_;
    const std::uint8_t* const end = dib_ + size_;
    const bool four = h_.compression == kBiRle4;
    std::int64_t x = 0, row = 0;
    auto put = [&](unsigned index) {
      if (x < width_ && row < height_)
        std::memcpy(out.Row(DestRow(row)) + 3 * x, &palette_[index * 3], 3);
      ++x;
    };
    while (end - p >= 2 && row < height_) {
      const unsigned count = p[0], value = p[1];
      p += 2;
      if (count > 0) {
        if (x >= width_) continue;  // a run wholly past the right edge
        for (unsigned i = 0; i < count && x < width_; ++i)
          put(four ? ((i % 2 == 0) ? value >> 4 : value & 0x0F) : value);
        continue;
      }
      if (value == 0) {  // end of line
        x = 0;
        ++row;
        RowDone(row);
      } else if (value == 1) {  // end of bitmap
        return;
      } else if (value == 2) {  // delta: move right and up
        if (end - p < 2) return;
        x += p[0];
        row += p[1];
        p += 2;
        RowDone(std::min<std::int64_t>(row, height_));
      } else {  // literal run of `value` pixels, padded to a 16-bit boundary
        const std::size_t bytes = four ? (value + 1) / 2 : value;
        const std::size_t padded = (bytes + 1) & ~std::size_t{1};
        const std::size_t have = std::min<std::size_t>(bytes, end - p);
        for (unsigned i = 0; i < value && x < width_; ++i) {
          const std::size_t byte = four ? i / 2 : i;
          if (byte >= have) break;
          put(four ? ((i % 2 == 0) ? p[byte] >> 4 : p[byte] & 0x0F) : p[byte]);
        }
        if (static_cast<std::size_t>(end - p) < padded) return;
        p += padded;
      }
    }
  }

  const std::uint8_t* dib_;
  std::size_t size_;
  DibDecodeOptions options_;
  Header h_;
  bool top_down_ = false;
  int width_ = 0;
  int height_ = 0;
  std::uint64_t bits_start_ = 0;
  std::uint64_t src_stride_ = 0;
  Palette palette_{};
  Channel red_, green_, blue_, alpha_;
  bool plain32_ = false;
};

}  // namespace

void DecodeDib(const std::uint8_t* dib, std::size_t size, Bitmap& out,
               const DibDecodeOptions& options) {
  if (dib == nullptr) throw ImageError("the bitmap header is incomplete");
  DibDecoder(dib, size, options).Decode(out);
}

std::vector<std::uint8_t> Dib24Header(const Bitmap& image) {
  std::vector<std::uint8_t> header(kInfoHeaderSize, 0);
  const std::uint64_t bytes = Dib24PixelBytes(image);
  WriteU32(header.data(), kInfoHeaderSize);
  WriteU32(header.data() + 4, static_cast<std::uint32_t>(image.Width()));
  WriteU32(header.data() + 8, static_cast<std::uint32_t>(image.Height()));
  WriteU16(header.data() + 12, 1);
  WriteU16(header.data() + 14, 24);
  WriteU32(header.data() + 16, kBiRgb);
  // The image size may be left 0 for uncompressed bitmaps; it must be when it does
  // not fit the field.
  WriteU32(header.data() + 20, bytes <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(bytes) : 0);
  WriteU32(header.data() + 24, 3780);  // 96 dots per inch
  WriteU32(header.data() + 28, 3780);
  return header;
}

std::uint64_t Dib24PixelBytes(const Bitmap& image) {
  return static_cast<std::uint64_t>(Bitmap::StrideFor(image.Width())) *
         static_cast<std::uint64_t>(image.Height());
}

void WriteDib24Pixels(const Bitmap& image, std::FILE* file) {
  if (image.Empty()) return;
  const std::size_t pixel_bytes = static_cast<std::size_t>(image.Width()) * 3;
  const std::size_t padding = static_cast<std::size_t>(image.Stride()) - pixel_bytes;
  // The bitmap's own padding bytes may be uninitialised: write zeros instead.
  static constexpr std::uint8_t kZeros[4] = {0, 0, 0, 0};
  for (int y = image.Height() - 1; y >= 0; --y) {
    errno = 0;
    if (std::fwrite(image.Row(y), 1, pixel_bytes, file) != pixel_bytes ||
        (padding != 0 && std::fwrite(kZeros, 1, padding, file) != padding))
      throw std::system_error(errno != 0 ? errno : EIO, std::generic_category(),
                              "cannot write the bitmap");
  }
}

}  // namespace zelk
