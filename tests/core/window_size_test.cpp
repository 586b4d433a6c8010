#include "core/window_size.h"

#include <gtest/gtest.h>

namespace zelk {
namespace {

TEST(WindowSizeTest, FollowsTheScreenWithinItsLimits) {
  const WindowSize built_in{630, 449};
  auto size = [&](int w, int h) {
    const WindowSize s = InitialWindowSize(w, h, built_in);
    return std::make_pair(s.width, s.height);
  };
  EXPECT_EQ(size(1920, 1080), std::make_pair(768, 576));
  EXPECT_EQ(size(1024, 768), std::make_pair(768, 576));
  EXPECT_EQ(size(800, 600), std::make_pair(640, 480));
  EXPECT_EQ(size(900, 700), std::make_pair(675, 525));
  // Screens of 640 x 480 or less keep the built-in size, each side on its own.
  EXPECT_EQ(size(640, 480), std::make_pair(630, 449));
  EXPECT_EQ(size(1280, 480), std::make_pair(768, 449));
}

}  // namespace
}  // namespace zelk
