// The answers the program gives on its command line without opening a window.

#include <gtest/gtest.h>

#include <string>

#include "child_process.h"

namespace zelk::e2e {
namespace {

TEST(CommandLine, HelpAndVersionAnswerWithoutADisplay) {
  // No display and a platform that needs one: opening a window would fail the run.
  const Environment no_display{
      {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", "xcb"}};

  const RunResult help = RunCommand({ZELK_VIEWER_PROGRAM, "--help"}, no_display);
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.output.rfind("Usage: zelkzoomer [FILE|FOLDER]\n", 0), 0u) << help.output;
  EXPECT_NE(help.output.find("--version"), std::string::npos);

  const RunResult version = RunCommand({ZELK_VIEWER_PROGRAM, "--version"}, no_display);
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output, std::string("zelkzoomer ") + ZELK_VERSION + "\n");

  // An option counts only as the first argument: later ones are not options but
  // arguments the viewer ignores, so the help is not printed.
  const RunResult late = RunCommand({ZELK_VIEWER_PROGRAM, "/no/such/file.png", "-h"}, no_display);
  EXPECT_EQ(late.output.find("Usage:"), std::string::npos) << late.output;
}

}  // namespace
}  // namespace zelk::e2e
