#pragma once
// Hex texts of colours: the platform's colour value (0x00BBGGRR, red in the low byte)
// written in hex, and its reordering into HTML order (red first).

#include <cstdint>
#include <string>

namespace zelk {

// The colour value in upper-case hex, at least six digits (zero-padded), so
// 0x0080FF gives 0080FF and the invalid value 0xFFFFFFFF gives FFFFFFFF.
std::string ColourRefHexText(std::uint32_t colour_ref);

// BBGGRR to RRGGBB: a longer text keeps its first six characters, a shorter one is
// padded on the left with "0" to six; then the pairs are reversed (0080FF gives FF8000).
std::string ColourRefHexToHtml(std::string hex);

// The colour value of a 0x00RRGGBB pixel (what the screen or the view picture gives).
inline std::uint32_t ColourRefOfRgb(std::uint32_t rgb) {
  return ((rgb & 0xFFu) << 16) | (rgb & 0xFF00u) | ((rgb >> 16) & 0xFFu);
}

}  // namespace zelk
