#pragma once
// The table of named colours and the naming of a colour by it, for the readout of the
// colour under the pointer.

#include <span>
#include <string>
#include <string_view>

namespace zelk {

struct NamedColour {
  std::string_view Name;  // letters and digits, mixed case
  std::string_view Hex;   // six upper-case hex digits, red first
};

// The 277 rows, sorted by value. Ten values appear twice on adjacent rows (Navy and
// NavyBlue, Aqua and Cyan, ...); the lookup always finds the first of such a pair.
std::span<const NamedColour> NamedColourTable();

// html (six hex digits, red first, any letter case) followed by " [Name]" for a colour
// of the table (the first row with that value), " [~Name]" for the nearest row
// otherwise (city-block distance in RGB; ties go to the earlier row), or
// " [Unrecognised Colour]" for a text that is not exactly six hex digits (the readout
// always passes six, so other lengths are not guessed at).
std::string LookUpColourName(const std::string& html);

}  // namespace zelk
