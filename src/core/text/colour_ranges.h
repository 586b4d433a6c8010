#pragma once
// Colour range replacement: the range text "R(lo:hi) G(lo:hi) B(lo:hi)" and the pass
// that sets every channel value inside its range to the replacement colour's value.

#include <cstdint>
#include <string>

namespace zelk {

class Bitmap;

// The text offered the first time: the channel values F0 to FF (near white).
inline constexpr const char* kDefaultColourRangeText = "R(0xf0:0xff) G(0xf0:0xff) B(0xf0:0xff)";

// Inclusive bounds per channel; a bound may lie outside 0..255, and lo > hi matches
// nothing.
struct ColourRanges {
  std::int32_t Rlo = 0, Rhi = 0, Glo = 0, Ghi = 0, Blo = 0, Bhi = 0;
  bool operator==(const ColourRanges&) const = default;
};

// Reads the six bounds from text split at "(", ":" and ")": red from fields 2 and 3,
// green from 5 and 6, blue from 8 and 9 (the channel letters are not examined). Each
// bound is a C integer literal with automatic base (0x hex, leading 0 octal, sign
// allowed), read up to the first character that does not fit, clamped to the 32-bit
// range; a piece with no digits, or one missing because the text ends early, is 0.
// Never rejects a text. Uses NthDelimitedField, so it ends any scan in progress.
ColourRanges ParseColourRanges(const std::string& text);

// One pass over image in place: each pixel's blue, green and red value is replaced
// by that channel of rgb (0x00RRGGBB) when it lies in the channel's range, each
// channel on its own.
void ReplaceColourRanges(Bitmap& image, const ColourRanges& ranges, std::uint32_t rgb);

}  // namespace zelk
