// The answers the program gives on its command line without opening a window.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../support/temp_folder.h"
#include "child_process.h"
#include "codecs/image_writer.h"
#include "platform/bitmap.h"

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

TEST(CommandLine, DiffAnswersWithoutADisplayLikeCmp) {
  const Environment no_display{
      {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", "xcb"}};
  test::TempFolder folder;
  Bitmap image;
  image.Reset(20, 10);
  SaveImageFile(folder.File("a.png"), image);
  SaveImageFile(folder.File("same.png"), image);
  image.SetPixelRgb(3, 4, 0xFFFF00);
  SaveImageFile(folder.File("b.png"), image);

  const RunResult same = RunCommand(
      {ZELK_VIEWER_PROGRAM, "--diff", folder.File("a.png"), folder.File("same.png")}, no_display);
  EXPECT_EQ(same.status, 0);
  EXPECT_EQ(same.output, "differing=0 size=20x10 box=none largest=0,0,0\n");

  const RunResult differs =
      RunCommand({ZELK_VIEWER_PROGRAM, "--diff", folder.File("a.png"), folder.File("b.png"),
                  folder.File("out.png"), "--tolerance", "254"},
                 no_display);
  EXPECT_EQ(differs.status, 1);
  EXPECT_EQ(differs.output, "differing=1 size=20x10 box=3,4,4,5 largest=0,0,255\n");
  EXPECT_TRUE(std::filesystem::is_regular_file(folder.File("out.png")));

  const RunResult missing = RunCommand(
      {ZELK_VIEWER_PROGRAM, "--diff", folder.File("a.png"), folder.File("none.png")}, no_display);
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.output, "");

  // Only as the first argument: elsewhere it is a file name like any other, and the
  // window would open (here: fail for want of a display, without printing a line).
  const RunResult later = RunCommand(
      {ZELK_VIEWER_PROGRAM, folder.File("a.png"), "--diff", folder.File("same.png")}, no_display);
  EXPECT_NE(later.output.rfind("differing=", 0), 0u);
}

}  // namespace
}  // namespace zelk::e2e
