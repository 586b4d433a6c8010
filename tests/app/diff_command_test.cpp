// `zelkzoomer --diff`: exit statuses, the line it prints, the difference picture and
// the reasons it gives on trouble.

#include "app/diff_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "../support/temp_folder.h"
#include "codecs/image_loader.h"
#include "codecs/image_writer.h"
#include "core/compare/compare_render.h"
#include "platform/bitmap.h"

namespace zelk {
namespace {

struct DiffRun {
  int status;
  std::string out, err;
};

DiffRun Diff(const std::vector<std::string>& arguments) {
  std::ostringstream out, err;
  const int status = RunDiffCommand(arguments, out, err);
  return {status, out.str(), err.str()};
}

Bitmap Gradient(int w, int h) {
  Bitmap b;
  b.Reset(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.SetPixelRgb(x, y, static_cast<std::uint32_t>((x * 5) << 16 | (y * 7) << 8 | (x + y)));
  return b;
}

class DiffCommandTest : public ::testing::Test {
 protected:
  std::string Save(const std::string& name, const Bitmap& image) {
    const std::string path = folder_.File(name);
    SaveImageFile(path, image);
    return path;
  }
  test::TempFolder folder_;
};

TEST_F(DiffCommandTest, EqualImagesExitZeroWithTheLine) {
  const std::string a = Save("a.png", Gradient(40, 30));
  const std::string b = Save("b.bmp", Gradient(40, 30));  // same pixels, another format
  const DiffRun run = Diff({a, b});
  EXPECT_EQ(run.status, kDiffEqual);
  EXPECT_EQ(run.out, "differing=0 size=40x30 box=none largest=0,0,0\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(DiffCommandTest, DifferingImagesExitOneAndWriteTheDifferencePicture) {
  const Bitmap original = Gradient(40, 30);
  Bitmap changed = Gradient(40, 30);
  changed.SetPixelRgb(5, 6, original.PixelRgb(5, 6) + 0x030000);  // red 25 up by 3
  changed.SetPixelRgb(30, 20, original.PixelRgb(30, 20) - 0x000001);
  const std::string a = Save("a.png", original), b = Save("b.png", changed);
  const std::string picture_path = folder_.File("diff.png");

  const DiffRun run = Diff({a, b, picture_path});
  EXPECT_EQ(run.status, kDiffDiffers) << run.err;
  EXPECT_EQ(run.out, "differing=2 size=40x30 box=5,6,31,21 largest=3,0,1\n");

  Bitmap picture;
  LoadImageFile(picture_path, picture);
  ASSERT_EQ(picture.Width(), 40);
  ASSERT_EQ(picture.Height(), 30);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool differs = (x == 5 && y == 6) || (x == 30 && y == 20);
      ASSERT_EQ(picture.PixelRgb(x, y),
                differs ? kDifferenceColour : DimmedGrey(original.PixelRgb(x, y)))
          << x << "," << y;
    }

  // Tolerance: 1 leaves only the difference of 3; 3 none, in either spelling.
  EXPECT_EQ(Diff({"--tolerance", "1", a, b}).out,
            "differing=1 size=40x30 box=5,6,6,7 largest=3,0,1\n");
  EXPECT_EQ(Diff({a, b, "--tolerance=3"}).status, kDiffEqual);
}

TEST_F(DiffCommandTest, DifferentSizesDifferWhereOnlyOneHasPixels) {
  const std::string a = Save("a.png", Gradient(40, 30));
  const std::string b = Save("b.png", Gradient(30, 35));
  const std::string picture_path = folder_.File("diff.bmp");
  const DiffRun run = Diff({a, b, picture_path});
  EXPECT_EQ(run.status, kDiffDiffers);
  EXPECT_EQ(run.out, "differing=" + std::to_string(10 * 30 + 30 * 5) +
                         " size=40x35 box=0,0,40,35 largest=0,0,0\n");
  Bitmap picture;
  LoadImageFile(picture_path, picture);
  EXPECT_EQ(picture.PixelRgb(35, 10), kDifferenceColour);  // only A
  EXPECT_EQ(picture.PixelRgb(10, 32), kDifferenceColour);  // only B
  EXPECT_EQ(picture.PixelRgb(35, 32), 0xFFFFFFu);          // neither
}

TEST_F(DiffCommandTest, TroubleExitsTwoWithAReasonAndNoLine) {
  const std::string a = Save("a.png", Gradient(40, 30));
  const std::string damaged = folder_.File("damaged.png");
  test::PutFile(damaged, test::FileBytes(a).substr(0, 60));
  const std::string text = folder_.File("notes.txt");
  test::PutFile(text, "hello");

  struct Case {
    std::vector<std::string> arguments;
    std::string reason;  // a part of the reason
  };
  const std::vector<Case> cases = {
      {{a, folder_.File("missing.png")}, "missing.png: cannot open the file"},
      {{damaged, a}, "damaged.png: "},
      {{a, text}, "notes.txt: files of type .TXT cannot be opened"},
      {{a}, "two images"},
      {{a, a, a, a}, "two images"},
      {{a, a, "--tolerance", "256"}, "from 0 to 255"},
      {{a, a, "--tolerance=-1"}, "from 0 to 255"},
      {{a, a, "--tolerance"}, "needs a number"},
      {{a, a, "--fast"}, "unknown option --fast"},
      {{a, a, folder_.File("no/such/folder/diff.png")}, "cannot write"},
  };
  for (const Case& c : cases) {
    const DiffRun run = Diff(c.arguments);
    EXPECT_EQ(run.status, kDiffTrouble) << c.reason;
    EXPECT_EQ(run.out, "") << c.reason;
    EXPECT_EQ(run.err.rfind("zelkzoomer: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;  // one line
  }
  // "--" lets a file whose name starts with "-" through.
  Save("-a.png", Gradient(40, 30));
  const std::filesystem::path was = std::filesystem::current_path();
  std::filesystem::current_path(folder_.Path());
  EXPECT_EQ(Diff({"--", "-a.png", a}).status, kDiffEqual);
  std::filesystem::current_path(was);
}

}  // namespace
}  // namespace zelk
