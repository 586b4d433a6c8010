#include "core/colour/colour_hex.h"

#include <cstdio>

namespace zelk {

std::string ColourRefHexText(std::uint32_t colour_ref) {
  char text[16];
  std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(colour_ref));
  return text;
}

std::string ColourRefHexToHtml(std::string hex) {
  if (hex.size() > 6) hex.resize(6);
  if (hex.size() < 6) hex.insert(0, 6 - hex.size(), '0');
  return hex.substr(4, 2) + hex.substr(2, 2) + hex.substr(0, 2);
}

}  // namespace zelk
