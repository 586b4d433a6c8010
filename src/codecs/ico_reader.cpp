#include "codecs/ico_reader.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "codecs/dib.h"
#include "codecs/metafile_bytes.h"
#include "codecs/metafile_dib.h"
#include "codecs/png_codec.h"

namespace zelk {
namespace {

// No icon entry is larger than this on a side; a header claiming more is refused
// before anything is decoded (the directory's own byte sizes say at most 256).
constexpr std::int64_t kMaxIconSide = 4096;

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct Entry {
  ByteSpan data;
  std::int64_t width = 0, height = 0;
  int depth = 0;
  bool png = false;
  std::size_t index = 0;
};

std::uint32_t BigEndian32(ByteSpan s, std::size_t at) {
  return (std::uint32_t{s.U8(at)} << 24) | (std::uint32_t{s.U8(at + 1)} << 16) |
         (std::uint32_t{s.U8(at + 2)} << 8) | s.U8(at + 3);
}

// What the entry's own header says about it; the directory's bytes are only hints.
std::optional<Entry> Describe(ByteSpan data, std::size_t index) {
  Entry e;
  e.data = data;
  e.index = index;
  if (data.Has(0, 8) && std::equal(kPngSignature, kPngSignature + 8, data.Data())) {
    if (!data.Has(0, 26)) return std::nullopt;
    e.png = true;
    e.width = BigEndian32(data, 16);
    e.height = BigEndian32(data, 20);
    // PNG sides stop at 2^31 - 1; larger ones mark a damaged header, and would
    // overflow the area that ranks the entries.
    if (e.width > 0x7FFFFFFF || e.height > 0x7FFFFFFF) return std::nullopt;
    static constexpr int kChannels[] = {1, 0, 3, 1, 2, 0, 4};
    const int colour_type = data.U8(25);
    e.depth = data.U8(24) * (colour_type < 7 ? kChannels[colour_type] : 0);
  } else {
    if (!data.Has(0, 16)) return std::nullopt;
    const std::uint32_t header_size = data.U32(0);
    if (header_size == 12) {
      e.width = data.U16(4);
      e.height = data.U16(6) / 2;
      e.depth = data.U16(10);
    } else if (header_size >= 16 && data.Has(0, 16)) {
      e.width = data.S32(4);
      const std::int64_t h = data.S32(8);
      e.height = (h < 0 ? -h : h) / 2;
      e.depth = data.U16(14);
    } else {
      return std::nullopt;
    }
  }
  if (e.width <= 0 || e.height <= 0) return std::nullopt;
  return e;
}

void Decode(const Entry& e, Bitmap& out, DecodeControl* control) {
  if (e.width > kMaxIconSide || e.height > kMaxIconSide)
    throw ImageError("the icon's image claims " + std::to_string(e.width) + " x " +
                     std::to_string(e.height) + " pixels, more than an icon can hold");
  if (e.png) {
    RasterReadOptions options;
    options.control = control;
    options.max_width = options.max_height = kMaxIconSide;
    ReadPngBytes(e.data.Data(), e.data.Size(), out, options);
    return;
  }
  CheckDibData(e.data, 0, true);
  DibDecodeOptions options;
  options.icon_with_mask = true;
  options.control = control;
  DecodeDib(e.data.Data(), e.data.Size(), out, options);
}

}  // namespace

void ReadIco(const std::uint8_t* data, std::size_t size, Bitmap& out, DecodeControl* control) {
  const ByteSpan file(data, size);
  if (!file.Has(0, 6) || file.U16(0) != 0 || (file.U16(2) != 1 && file.U16(2) != 2))
    throw ImageError("the file is not an icon");
  const std::size_t count = file.U16(4);
  if (count == 0) throw ImageError("the icon holds no images");
  if (!file.Has(6, count * 16)) throw ImageError("the icon's directory is incomplete");

  std::vector<Entry> entries;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = 6 + 16 * i;
    const std::size_t bytes = file.U32(at + 8), offset = file.U32(at + 12);
    if (offset >= size || bytes == 0) continue;
    // An entry cut short by the end of the file keeps what is there.
    const auto entry = Describe(file.Sub(offset, std::min(bytes, size - offset)), i);
    if (entry) entries.push_back(*entry);
  }
  if (entries.empty()) throw ImageError("the icon holds no readable image");
  // The largest, then the deepest; among equals the first.
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    const std::int64_t area_a = a.width * a.height, area_b = b.width * b.height;
    if (area_a != area_b) return area_a > area_b;
    return a.depth > b.depth;
  });
  // A damaged entry gives way to the next best one; the first failure is reported.
  // Entries sharing their bytes with one already tried are skipped.
  std::optional<ImageError> first_error;
  std::vector<std::pair<const std::uint8_t*, std::size_t>> tried;
  for (const Entry& e : entries) {
    const std::pair<const std::uint8_t*, std::size_t> bytes(e.data.Data(), e.data.Size());
    if (std::find(tried.begin(), tried.end(), bytes) != tried.end()) continue;
    if (tried.size() == static_cast<std::size_t>(kMaxIconEntriesTried)) break;
    tried.push_back(bytes);
    try {
      Decode(e, out, control);
      return;
    } catch (const ImageError& error) {
      if (!first_error) first_error = error;
    }
  }
  throw *first_error;
}

}  // namespace zelk
