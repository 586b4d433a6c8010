#include "core/view/svg_path.h"

namespace zelk {

std::string ZoomBoxSvgPath(const ZoomBox& box, double scale) {
  if (box.Empty()) return {};
  return ZoomBoxSvgPath(SourceRect(box, scale));
}

std::string ZoomBoxSvgPath(const PixelRect& r) {
  const std::string l = std::to_string(r.Left);
  return "M" + l + "," + std::to_string(r.Top) + " H" + std::to_string(r.Right) + " V" +
         std::to_string(r.Bottom) + " H" + l + " Z";
}

}  // namespace zelk
