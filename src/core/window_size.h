#pragma once
// The main window's opening size, taken from the screen: three quarters of the
// screen up to a 1024 x 768 screen, never below 640 x 480; on a screen no bigger
// than that the window keeps its built-in size.

namespace zelk {

struct WindowSize {
  int width;
  int height;
};

WindowSize InitialWindowSize(int screen_width, int screen_height, WindowSize built_in);

}  // namespace zelk
