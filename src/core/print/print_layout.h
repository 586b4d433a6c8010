#pragma once
// Where the printed page puts things: the title taken from the window caption, the
// page orientation that suits the image, and the rectangle the picture fills below
// the title band. Page sizes are in printer device pixels.

#include <string>

namespace zelk {

// The band at the top of the printable area kept for the title; 100 device pixels
// whatever the printer's resolution.
inline constexpr int kPrintTitleBand = 100;

// The caption part that describes the image: after the first blank (which drops the
// "3/12" position counter) and before the first "  Mag X " (which drops the
// magnification). Empty when the caption has no such marker.
std::string PrintTitleFromCaption(const std::string& caption);

// Wider than high prints landscape; square and tall images print portrait.
bool PrintsLandscape(int image_width, int image_height);

// min(page_width / image_width, (page_height - band) / image_height): the largest
// scale at which the whole image fits beside and below the title band.
double PrintScale(int page_width, int page_height, int image_width, int image_height);

// Right and bottom exclusive.
struct PrintRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const noexcept { return right - left; }
  int Height() const noexcept { return bottom - top; }
  friend bool operator==(const PrintRect&, const PrintRect&) = default;
};

// The picture's rectangle: (0, band, trunc(s*w - 1), band + trunc(s*h - 1)). An image
// so thin that a side would vanish still gets one device pixel on that side, so a
// one-pixel-high strip never prints as a blank page.
// Throws std::runtime_error when the page has no room below the band, or when the
// image is empty.
PrintRect PrintPictureRect(int page_width, int page_height, int image_width, int image_height);

}  // namespace zelk
