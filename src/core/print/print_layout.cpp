#include "core/print/print_layout.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace zelk {

namespace {
const char kMagMarker[] = "  Mag X ";
}  // namespace

std::string PrintTitleFromCaption(const std::string& caption) {
  const std::size_t marker = caption.find(kMagMarker);
  if (marker == std::string::npos) return {};
  // The marker holds blanks, so the first blank lies at or before it.
  const std::size_t start = caption.find(' ') + 1;
  if (start > marker) return {};
  return caption.substr(start, marker - start);
}

bool PrintsLandscape(int image_width, int image_height) {
  return image_width > image_height;
}

double PrintScale(int page_width, int page_height, int image_width, int image_height) {
  const double sx = static_cast<double>(page_width) / image_width;
  double s = static_cast<double>(page_height - kPrintTitleBand) / image_height;
  if (s > sx) s = sx;
  return s;
}

PrintRect PrintPictureRect(int page_width, int page_height, int image_width, int image_height) {
  if (image_width <= 0 || image_height <= 0) throw std::runtime_error("there is no image to print");
  if (page_width <= 0 || page_height <= kPrintTitleBand)
    throw std::runtime_error("the page is too small: it has no room below the title band");
  const double s = PrintScale(page_width, page_height, image_width, image_height);
  // Truncation toward zero, as everywhere in the view and print geometry.
  const int width = std::max(1, static_cast<int>(std::trunc(s * image_width - 1.0)));
  const int height = std::max(1, static_cast<int>(std::trunc(s * image_height - 1.0)));
  return PrintRect{0, kPrintTitleBand, width, kPrintTitleBand + height};
}

}  // namespace zelk
