#include "core/text/colour_ranges.h"

#include <array>
#include <cstdlib>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/text/field_scanner.h"
#include "platform/bitmap.h"

namespace zelk {

namespace {

std::int32_t ReadBound(const std::string& field) {
  const long value = std::strtol(field.c_str(), nullptr, 0);
  if (value > std::numeric_limits<std::int32_t>::max())
    return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min())
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

// One channel's range narrowed to the byte values it can match; empty when none.
struct ByteRange {
  std::uint8_t lo = 1;
  std::uint8_t hi = 0;
};

ByteRange NarrowToBytes(std::int32_t lo, std::int32_t hi) {
  if (lo > hi || hi < 0 || lo > 255) return ByteRange{};
  return ByteRange{static_cast<std::uint8_t>(lo < 0 ? 0 : lo),
                   static_cast<std::uint8_t>(hi > 255 ? 255 : hi)};
}

// 16 pixels are 48 bytes, so the channel pattern B, G, R repeats exactly three times
// per block and fixed 48-entry tables give each byte its channel's bounds and value.
constexpr std::size_t kBlock = 48;

struct BlockTables {
  alignas(16) std::array<std::uint8_t, kBlock> lo;
  alignas(16) std::array<std::uint8_t, kBlock> hi;
  alignas(16) std::array<std::uint8_t, kBlock> value;
};

// count <= kBlock bytes, starting on a pixel boundary.
void ReplaceBytes(std::uint8_t* p, std::size_t count, const BlockTables& t) {
  for (std::size_t j = 0; j < count; ++j) {
    const std::uint8_t v = p[j];
    if (v >= t.lo[j] && v <= t.hi[j]) p[j] = t.value[j];
  }
}

#if defined(__SSE2__)
// Three 16-byte vectors per block: v is inside when max(v, lo) == v == min(v, hi);
// an empty range (lo 1, hi 0) can never pass both.
void ReplaceBlocks(std::uint8_t* p, std::size_t blocks, const BlockTables& t) {
  __m128i lo[3], hi[3], value[3];
  for (int k = 0; k < 3; ++k) {
    lo[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(t.lo.data() + 16 * k));
    hi[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(t.hi.data() + 16 * k));
    value[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(t.value.data() + 16 * k));
  }
  for (std::size_t b = 0; b < blocks; ++b, p += kBlock) {
    for (int k = 0; k < 3; ++k) {
      __m128i* at = reinterpret_cast<__m128i*>(p + 16 * k);
      const __m128i v = _mm_loadu_si128(at);
      const __m128i inside = _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(v, lo[k]), v),
                                           _mm_cmpeq_epi8(_mm_min_epu8(v, hi[k]), v));
      _mm_storeu_si128(at,
                       _mm_or_si128(_mm_and_si128(inside, value[k]), _mm_andnot_si128(inside, v)));
    }
  }
}
#else
void ReplaceBlocks(std::uint8_t* p, std::size_t blocks, const BlockTables& t) {
  for (std::size_t b = 0; b < blocks; ++b, p += kBlock) ReplaceBytes(p, kBlock, t);
}
#endif

}  // namespace

ColourRanges ParseColourRanges(const std::string& text) {
  const std::string delimiters = "(:)";
  ColourRanges ranges;
  NthDelimitedField(text, delimiters, 1);  // the channel letter, not used
  ranges.Rlo = ReadBound(NthDelimitedField(text, delimiters, 2));
  ranges.Rhi = ReadBound(NthDelimitedField(text, delimiters, 3));
  ranges.Glo = ReadBound(NthDelimitedField(text, delimiters, 5));
  ranges.Ghi = ReadBound(NthDelimitedField(text, delimiters, 6));
  ranges.Blo = ReadBound(NthDelimitedField(text, delimiters, 8));
  ranges.Bhi = ReadBound(NthDelimitedField(text, delimiters, 9));
  return ranges;
}

void ReplaceColourRanges(Bitmap& image, const ColourRanges& ranges, std::uint32_t rgb) {
  const std::array<ByteRange, 3> channel = {NarrowToBytes(ranges.Blo, ranges.Bhi),
                                            NarrowToBytes(ranges.Glo, ranges.Ghi),
                                            NarrowToBytes(ranges.Rlo, ranges.Rhi)};
  const std::array<std::uint8_t, 3> value = {static_cast<std::uint8_t>(rgb & 0xFF),
                                             static_cast<std::uint8_t>((rgb >> 8) & 0xFF),
                                             static_cast<std::uint8_t>((rgb >> 16) & 0xFF)};
  if (channel[0].lo > channel[0].hi && channel[1].lo > channel[1].hi &&
      channel[2].lo > channel[2].hi)
    return;  // nothing can match

  BlockTables tables;
  for (std::size_t j = 0; j < kBlock; ++j) {
    tables.lo[j] = channel[j % 3].lo;
    tables.hi[j] = channel[j % 3].hi;
    tables.value[j] = value[j % 3];
  }

  const std::size_t row_bytes = static_cast<std::size_t>(image.Width()) * 3;
  for (int y = 0; y < image.Height(); ++y) {
    std::uint8_t* p = image.Row(y);
    const std::size_t blocks = row_bytes / kBlock;
    ReplaceBlocks(p, blocks, tables);
    ReplaceBytes(p + blocks * kBlock, row_bytes - blocks * kBlock, tables);
  }
}

}  // namespace zelk
