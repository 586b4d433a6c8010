// The range text read into bounds, and the replacement pass over a small bitmap,
// against plain per-byte versions of both.
//
// Input: the range text, then (after the last NUL byte, when there is one) pixel
// bytes that make the bitmap and the replacement colour.

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/text/colour_ranges.h"
#include "fuzz_support.h"
#include "platform/bitmap.h"

namespace {

using zelk::fuzz::Require;

// The text split at "(", ":" and ")", every piece kept (empty ones too).
std::vector<std::string> Pieces(const std::string& text) {
  std::vector<std::string> pieces(1);
  for (char c : text) {
    if (c == '(' || c == ':' || c == ')')
      pieces.emplace_back();
    else
      pieces.back().push_back(c);
  }
  return pieces;
}

std::int32_t Bound(const std::vector<std::string>& pieces, std::size_t field) {
  if (field > pieces.size()) return 0;
  const long v = std::strtol(pieces[field - 1].c_str(), nullptr, 0);
  return static_cast<std::int32_t>(v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : v);
}

bool Inside(int v, std::int32_t lo, std::int32_t hi) {
  return v >= lo && v <= hi;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelk::fuzz::QuietDesktop desktop;
  const std::string all(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = all.rfind('\0');
  const std::string text = nul == std::string::npos ? all : all.substr(0, nul);
  const std::string pixels = nul == std::string::npos ? std::string() : all.substr(nul + 1);

  const zelk::ColourRanges r = zelk::ParseColourRanges(text);
  const auto p = Pieces(text);
  const zelk::ColourRanges expected{Bound(p, 2), Bound(p, 3), Bound(p, 5),
                                    Bound(p, 6), Bound(p, 8), Bound(p, 9)};
  Require(r == expected, "bounds differ from the fields of the text");
  Require(desktop.MessagesShown() == 0, "reading a range text showed a message");

  // Widths around the 16-pixel blocks of the fast path, up to three rows.
  if (pixels.size() < 4) return 0;
  const auto byte = [&](std::size_t i) {
    return static_cast<std::uint8_t>(pixels[i % pixels.size()]);
  };
  const int width = 1 + byte(0) % 40;
  const int height = 1 + byte(1) % 3;
  const std::uint32_t rgb = static_cast<std::uint32_t>(byte(2)) << 16 | byte(3) << 8 | byte(4);
  zelk::Bitmap image;
  image.Reset(width, height);
  std::size_t k = 5;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width * 3; ++x) image.Row(y)[x] = byte(k++);
  zelk::Bitmap before = image.Clone();
  zelk::ReplaceColourRanges(image, r, rgb);
  const std::int32_t lo[3] = {r.Blo, r.Glo, r.Rlo};
  const std::int32_t hi[3] = {r.Bhi, r.Ghi, r.Rhi};
  const std::uint8_t value[3] = {static_cast<std::uint8_t>(rgb),
                                 static_cast<std::uint8_t>(rgb >> 8),
                                 static_cast<std::uint8_t>(rgb >> 16)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width * 3; ++x) {
      const int c = x % 3;
      const std::uint8_t old = before.Row(y)[x];
      const std::uint8_t want = Inside(old, lo[c], hi[c]) ? value[c] : old;
      Require(image.Row(y)[x] == want, "a channel was replaced wrongly");
    }
    // The row padding is not the pass's to touch.
    for (std::ptrdiff_t x = width * 3; x < image.Stride(); ++x)
      Require(image.Row(y)[x] == before.Row(y)[x], "the pass wrote into the row padding");
  }
  return 0;
}
