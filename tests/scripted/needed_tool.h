#pragma once
// Tests that run another program (Xvfb, xdotool, ImageMagick, wmf2gd, poppler) skip
// when it is missing - unless ZELK_TOOLS_REQUIRED is set, as the test command sets it
// after installing them, so that a missing tool fails the run instead of hiding tests.

#include <gtest/gtest.h>

#include <cstdlib>

#define ZELK_SKIP_WITHOUT_TOOL(reason)                   \
  do {                                                   \
    if (std::getenv("ZELK_TOOLS_REQUIRED") != nullptr) { \
      FAIL() << (reason);                                \
    } else {                                             \
      GTEST_SKIP() << (reason);                          \
    }                                                    \
  } while (false)
