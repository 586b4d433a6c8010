#include "core/window_size.h"

#include <algorithm>

namespace zelk {

WindowSize InitialWindowSize(int screen_width, int screen_height, WindowSize built_in) {
  WindowSize size = built_in;
  if (screen_height > 480) size.height = std::max(480, (3 * std::min(screen_height, 768)) / 4);
  if (screen_width > 640) size.width = std::max(640, (3 * std::min(screen_width, 1024)) / 4);
  return size;
}

}  // namespace zelk
