#include "codecs/metafile_writer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "codecs/wmf_player.h"

namespace zelk {
namespace {

constexpr std::uint32_t kSrcCopy = 0x00CC0020;
constexpr std::size_t kDibHeaderSize = 40;
// WMF coordinates are signed 16-bit.
constexpr std::int64_t kMaxWmfCoordinate = 32767;
// Source tiles of a scaled WMF are multiples of 96 pixels, so their edges fall on
// whole logical units at any units-per-inch.
constexpr std::int64_t kWmfTile = 96 * (kMaxWmfCoordinate / 96);

class Out {
 public:
  explicit Out(std::FILE* file) : file_(file) {}
  void U16(std::uint32_t v) {
    buffer_.push_back(static_cast<std::uint8_t>(v));
    buffer_.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  void Flush() {
    Write(buffer_.data(), buffer_.size());
    buffer_.clear();
  }
  void Write(const void* data, std::size_t size) {
    if (size == 0) return;
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size)
      throw std::system_error(errno != 0 ? errno : EIO, std::generic_category(),
                              "writing the metafile failed");
  }

 private:
  std::FILE* file_;
  std::vector<std::uint8_t> buffer_;
};

struct Tile {
  int x, y, w, h;
};

std::uint64_t TileStride(int w) {
  return (static_cast<std::uint64_t>(w) * 3 + 3) & ~std::uint64_t{3};
}
std::uint64_t TileBytes(const Tile& t) {
  return TileStride(t.w) * static_cast<std::uint64_t>(t.h);
}

// A 40-byte header of a 24-bit bottom-up DIB of the tile's size.
void DibHeader(Out& out, const Tile& t) {
  out.U32(kDibHeaderSize);
  out.U32(static_cast<std::uint32_t>(t.w));
  out.U32(static_cast<std::uint32_t>(t.h));
  out.U16(1);   // planes
  out.U16(24);  // bits per pixel
  out.U32(0);   // BI_RGB
  out.U32(static_cast<std::uint32_t>(std::min<std::uint64_t>(TileBytes(t), 0xFFFFFFFF)));
  out.U32(3780);  // 96 dots per inch in pixels per metre
  out.U32(3780);
  out.U32(0);
  out.U32(0);
}

// The tile's rows straight from the image, bottom row first; no copy of the image.
void DibPixels(Out& out, const Bitmap& image, const Tile& t) {
  const std::size_t row_bytes = static_cast<std::size_t>(t.w) * 3;
  const std::uint8_t padding[3] = {0, 0, 0};
  const std::size_t pad = static_cast<std::size_t>(TileStride(t.w)) - row_bytes;
  for (int y = t.y + t.h - 1; y >= t.y; --y) {
    out.Write(image.Row(y) + static_cast<std::ptrdiff_t>(t.x) * 3, row_bytes);
    out.Write(padding, pad);
  }
}

void RequireImage(const Bitmap& image) {
  if (image.Empty()) throw ImageError("there is no image to write");
}

// Logical units per inch for a WMF of this size: 96 (one unit per pixel) when the
// sides fit 16 bits, else the coarser unit whose rounded box comes closest to the
// image's size.
int WmfUnitsPerInch(int width, int height) {
  const std::int64_t side = std::max(width, height);
  if (side <= kMaxWmfCoordinate) return 96;
  const std::int64_t most = kMaxWmfCoordinate * 96 / side;
  if (most < 1)
    throw ImageError("the image is too large for a Windows metafile (at most " +
                     std::to_string(kMaxWmfCoordinate * 96) + " pixels on a side)");
  int best = static_cast<int>(most);
  double best_error = 1e300;
  for (std::int64_t inch = most; inch >= 1; --inch) {
    auto error = [&](int n) {
      const double units = std::round(static_cast<double>(n) * inch / 96);
      return std::abs(units * 96 / inch - n);
    };
    const double e = error(width) + error(height);
    if (e < best_error) best = static_cast<int>(inch), best_error = e;
    if (e == 0) break;
  }
  return best;
}

}  // namespace

void WriteWmf(const Bitmap& image, std::FILE* file) {
  RequireImage(image);
  const int width = image.Width(), height = image.Height();
  const int inch = WmfUnitsPerInch(width, height);
  auto units = [&](std::int64_t pixels, int whole) -> std::int64_t {
    if (pixels == whole) return std::llround(static_cast<double>(whole) * inch / 96);
    return pixels * inch / 96;  // tile edges: exact, as they are multiples of 96
  };
  const std::int64_t box_w = units(width, width), box_h = units(height, height);

  // One bitmap record per tile; a single tile unless a side needs more than 16 bits.
  std::vector<Tile> tiles;
  const int tile = inch == 96 ? std::max(width, height) : static_cast<int>(kWmfTile);
  for (int y = 0; y < height; y += tile)
    for (int x = 0; x < width; x += tile)
      tiles.push_back({x, y, std::min(tile, width - x), std::min(tile, height - y)});

  constexpr std::uint64_t kFixedWords = 3 + 2 + 9;  // STRETCHDIB without its DIB
  std::uint64_t total_words = 9 + 5 + 5 + 3, max_record = 5;
  for (const Tile& t : tiles) {
    const std::uint64_t words = kFixedWords + (kDibHeaderSize + TileBytes(t)) / 2;
    total_words += words;
    max_record = std::max(max_record, words);
  }
  if (total_words > 0xFFFFFFFF) throw ImageError("the image is too large for a Windows metafile");

  Out out(file);
  // Placeable header: the box in logical units and the units per inch.
  const std::uint16_t placeable[10] = {static_cast<std::uint16_t>(kPlaceableKey & 0xFFFF),
                                       static_cast<std::uint16_t>(kPlaceableKey >> 16),
                                       0,
                                       0,
                                       0,
                                       static_cast<std::uint16_t>(box_w),
                                       static_cast<std::uint16_t>(box_h),
                                       static_cast<std::uint16_t>(inch),
                                       0,
                                       0};
  std::uint16_t checksum = 0;
  for (std::uint16_t w : placeable) {
    out.U16(w);
    checksum ^= w;
  }
  out.U16(checksum);
  // Metafile header: in memory, 9 words, version 3.
  out.U16(1);
  out.U16(9);
  out.U16(0x0300);
  out.U32(static_cast<std::uint32_t>(total_words));
  out.U16(0);  // objects
  out.U32(static_cast<std::uint32_t>(max_record));
  out.U16(0);
  // SETWINDOWORG (0, 0) and SETWINDOWEXT to the box.
  out.U32(5), out.U16(0x020B), out.U16(0), out.U16(0);
  out.U32(5), out.U16(0x020C), out.U16(static_cast<std::uint32_t>(box_h)),
      out.U16(static_cast<std::uint32_t>(box_w));
  for (const Tile& t : tiles) {
    const std::int64_t x0 = units(t.x, width), y0 = units(t.y, height);
    const std::int64_t x1 = units(t.x + t.w, width), y1 = units(t.y + t.h, height);
    out.U32(static_cast<std::uint32_t>(kFixedWords + (kDibHeaderSize + TileBytes(t)) / 2));
    out.U16(0x0F43);  // META_STRETCHDIB
    out.U32(kSrcCopy);
    out.U16(0);  // DIB_RGB_COLORS
    out.U16(static_cast<std::uint32_t>(t.h));
    out.U16(static_cast<std::uint32_t>(t.w));
    out.U16(0);
    out.U16(0);
    out.U16(static_cast<std::uint32_t>(y1 - y0));
    out.U16(static_cast<std::uint32_t>(x1 - x0));
    out.U16(static_cast<std::uint32_t>(y0));
    out.U16(static_cast<std::uint32_t>(x0));
    DibHeader(out, t);
    out.Flush();
    DibPixels(out, image, t);
  }
  out.U32(3), out.U16(0);  // META_EOF
  out.Flush();
}

void WriteEmf(const Bitmap& image, std::FILE* file) {
  RequireImage(image);
  const int width = image.Width(), height = image.Height();
  const Tile whole{0, 0, width, height};
  constexpr std::uint64_t kHeaderSize = 108, kStretchSize = 80, kEofSize = 20;
  const std::uint64_t stretch = kStretchSize + kDibHeaderSize + TileBytes(whole);
  const std::uint64_t total = kHeaderSize + stretch + kEofSize;
  if (total > 0xFFFFFFFF)
    throw ImageError("the image is too large for an enhanced metafile (at most 4 GiB)");
  // The frame in 0.01 mm at 96 dots per inch, inclusive like the bounds.
  auto hmm = [](int pixels) {
    return static_cast<std::uint32_t>(std::llround(pixels * 2540.0 / 96) - 1);
  };

  Out out(file);
  out.U32(1);  // EMR_HEADER
  out.U32(static_cast<std::uint32_t>(kHeaderSize));
  out.U32(0), out.U32(0), out.U32(static_cast<std::uint32_t>(width - 1)),
      out.U32(static_cast<std::uint32_t>(height - 1));
  out.U32(0), out.U32(0), out.U32(hmm(width)), out.U32(hmm(height));
  out.U32(0x464D4520);  // " EMF"
  out.U32(0x10000);
  out.U32(static_cast<std::uint32_t>(total));
  out.U32(3);  // records
  out.U16(1);  // handles: the reserved one
  out.U16(0);
  out.U32(0), out.U32(0), out.U32(0);  // no description, no palette
  // A reference device of 96 dots per inch: 1920 x 1440 pixels on 508 x 381 mm.
  out.U32(1920), out.U32(1440);
  out.U32(508), out.U32(381);
  out.U32(0), out.U32(0), out.U32(0);  // no pixel format, no OpenGL
  out.U32(508000), out.U32(381000);

  out.U32(81);  // EMR_STRETCHDIBITS
  out.U32(static_cast<std::uint32_t>(stretch));
  out.U32(0), out.U32(0), out.U32(static_cast<std::uint32_t>(width - 1)),
      out.U32(static_cast<std::uint32_t>(height - 1));
  out.U32(0), out.U32(0);  // destination
  out.U32(0), out.U32(0), out.U32(static_cast<std::uint32_t>(width)),
      out.U32(static_cast<std::uint32_t>(height));  // source
  out.U32(static_cast<std::uint32_t>(kStretchSize));
  out.U32(static_cast<std::uint32_t>(kDibHeaderSize));
  out.U32(static_cast<std::uint32_t>(kStretchSize + kDibHeaderSize));
  out.U32(static_cast<std::uint32_t>(TileBytes(whole)));
  out.U32(0);  // DIB_RGB_COLORS
  out.U32(kSrcCopy);
  out.U32(static_cast<std::uint32_t>(width)), out.U32(static_cast<std::uint32_t>(height));
  DibHeader(out, whole);
  out.Flush();
  DibPixels(out, image, whole);

  out.U32(14), out.U32(static_cast<std::uint32_t>(kEofSize));  // EMR_EOF
  out.U32(0), out.U32(16), out.U32(static_cast<std::uint32_t>(kEofSize));
  out.Flush();
}

}  // namespace zelk
