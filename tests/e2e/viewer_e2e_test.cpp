// The viewer in a real X server, driven like a user drives it, checked by what the
// user sees: the caption, the pixels of the window, the clipboard and the files written.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "../codecs/metafile_costly_files.h"
#include "codecs/image_loader.h"
#include "codecs/image_writer.h"
#include "expected_view.h"
#include "needed_tool.h"
#include "x_server_test.h"
#include "x_session.h"

namespace zelk::e2e {
namespace {

namespace fs = std::filesystem;

// A 1280 x 1024 screen opens a 768 x 576 window: the image area is 768 x 516.
constexpr int kViewWidth = 768;
constexpr int kViewHeight = 516;
constexpr int kPanelHeight = 41;

// Panel controls, by the centre of each.
constexpr int kZoomX = 79 + 32, kButtonY = 7 + 11;
constexpr int kNextX = 179 + 15;
constexpr int kPrintX = 212 + 22;
constexpr int kActualSizeX = 262 + 8, kCheckBoxY = 10 + 8;
// "&Convert" keeps 56 pixels to the panel's right edge and is 65 wide.
int ConvertX(int window_width) {
  return window_width - 56 - 32;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}
bool StartsWith(const std::string& text, const std::string& head) {
  return text.compare(0, head.size(), head) == 0;
}

// "position/count path  size bytes  W w  H h  Mag X m", sizes in any grouping.
auto CaptionIs(const std::string& position, const std::string& path, const std::string& tail) {
  return [=](const std::string& caption) {
    return StartsWith(caption, position + " " + path + "  ") && EndsWith(caption, tail);
  };
}

class ViewerTest : public XServerTest {
 protected:
  void SetUp() override {
    XServerTest::SetUp();
    if (!Ready()) return;
    images_ = root_ + "/images";
    fs::create_directories(images_);
  }

  void TearDown() override {
    if (viewer_) {
      // Every run ends with Quit, so a crash or a sanitizer report anywhere fails it.
      EXPECT_EQ(viewer_->Quit(), 0) << viewer_->ErrorOutput();
      if (HasFailure())
        std::fprintf(stderr, "viewer output:\n%s\n", viewer_->ErrorOutput().c_str());
      viewer_.reset();
    }
    XServerTest::TearDown();
  }

  std::string Write(const std::string& name, const Bitmap& image) {
    const std::string path = images_ + "/" + name;
    SaveImageFile(path, image);
    return path;
  }

  void Start(const std::vector<std::string>& args, const Environment& extra_env = {}) {
    viewer_ = std::make_unique<Viewer>(*server_, ZELK_VIEWER_PROGRAM, args, root_, root_ + "/home",
                                       extra_env);
  }

  // Polls the image area until it shows expected; fails with the last difference.
  void ExpectViewAt(int line, const Bitmap& expected, const PixelRect* ignore_box = nullptr,
                    int slack = 0) {
    std::string difference;
    WaitUntil(
        [&] {
          difference =
              Difference(Viewer::ViewPart(viewer_->Capture()), expected, ignore_box, slack);
          return difference.empty();
        },
        std::chrono::seconds(10));
    EXPECT_EQ(difference, "") << "view checked at line " << line;
  }

  void ExpectCaption(const std::function<bool(const std::string&)>& check) {
    std::string caption;
    EXPECT_TRUE(viewer_->WaitForCaption(check, &caption)) << "caption: " << caption;
  }

  // Drags a box over the fitted view and zooms into it. Mouse moves are ignored for
  // 750 ms after a load, so until the box takes the pointer Zoom In falls back to its
  // default box; then zoom out and drag again.
  void DragBoxAndZoom(int x0, int y0, int x1, int y1, const std::string& zoomed_tail) {
    std::string caption;
    for (int attempt = 0; attempt < 20; ++attempt) {
      viewer_->Drag(x0, y0 + kPanelHeight, x1, y1 + kPanelHeight);
      viewer_->Click(kZoomX, kButtonY);
      ASSERT_TRUE(viewer_->WaitForCaption(
          [](const std::string& c) { return c.find("Mag X") != std::string::npos; }, &caption));
      WaitUntil(
          [&] {
            caption = viewer_->Caption();
            return EndsWith(caption, zoomed_tail);
          },
          std::chrono::milliseconds(500));
      if (EndsWith(caption, zoomed_tail)) return;
      viewer_->Key("Escape");
    }
    FAIL() << "never zoomed into the dragged box; caption: " << caption;
  }

  PixelRect ClipboardZoomBox() {
    viewer_->Click(kZoomX, kButtonY, 3);
    std::string text;
    PixelRect box{0, 0, 0, 0};
    // "M<l>,<t> H<r> V<b> H<l> Z", nothing more: rebuilt from the numbers and compared.
    const bool ok = WaitUntil([&] {
      text = viewer_->ClipboardText();
      if (std::sscanf(text.c_str(), "M%d,%d H%d V%d", &box.left, &box.top, &box.right,
                      &box.bottom) != 4)
        return false;
      char expected[100];
      std::snprintf(expected, sizeof expected, "M%d,%d H%d V%d H%d Z", box.left, box.top, box.right,
                    box.bottom, box.left);
      return text == expected;
    });
    if (!ok) ADD_FAILURE() << "clipboard: " << text;
    return box;
  }

  std::string images_;
  std::unique_ptr<Viewer> viewer_;
};

#define EXPECT_VIEW(...) ExpectViewAt(__LINE__, __VA_ARGS__)

TEST_F(ViewerTest, StartsOnTheNamedFileAndStepsThroughItsFolder) {
  const Bitmap a = PatternImage(64, 40, 1), b = PatternImage(48, 30, 2),
               c = PatternImage(40, 64, 3);
  Write("a.png", a);
  const std::string b_path = Write("b.bmp", b);
  Write("c.png", c);
  std::ofstream(images_ + "/notes.txt") << "not an image";
  Start({b_path});

  // 48 x 30 fits at 16 view pixels per image pixel.
  ExpectCaption(CaptionIs("2/3", b_path, " bytes  W 48  H 30  Mag X 16"));
  EXPECT_VIEW(ExpectedFittedView(b, kViewWidth, kViewHeight));

  viewer_->Key("Right");
  ExpectCaption(CaptionIs("3/3", images_ + "/c.png", "  W 40  H 64  Mag X 8.06"));
  EXPECT_VIEW(ExpectedFittedView(c, kViewWidth, kViewHeight));

  // Next on the last entry stays; previous twice reaches the first.
  viewer_->Key("Right");
  viewer_->Key("Left");
  viewer_->Key("Prior");
  ExpectCaption(CaptionIs("1/3", images_ + "/a.png", "  W 64  H 40  Mag X 12"));
  EXPECT_VIEW(ExpectedFittedView(a, kViewWidth, kViewHeight));

  viewer_->Click(kNextX, kButtonY);
  ExpectCaption(CaptionIs("2/3", b_path, "  Mag X 16"));
}

TEST_F(ViewerTest, StartsOnAFolderWithItsFirstImageInNameOrder) {
  const Bitmap a = PatternImage(64, 40, 4);
  Write("B.bmp", PatternImage(10, 10, 5));
  Write("a.png", a);
  Start({images_});
  ExpectCaption(CaptionIs("1/2", images_ + "/a.png", "  W 64  H 40  Mag X 12"));
  EXPECT_VIEW(ExpectedFittedView(a, kViewWidth, kViewHeight));
  EXPECT_TRUE(viewer_->HasWindowIcon(64)) << "the window has no icon of its own";
}

TEST_F(ViewerTest, FilesDraggedFromAnotherProgramOpenAsASelection) {
  const Bitmap a = PatternImage(64, 40, 7);
  const std::string a_path = Write("a.png", a);
  const std::string b_path = Write("b.bmp", PatternImage(48, 30, 8));
  const std::string x_path = Write("x.png", PatternImage(10, 10, 9));
  Start({x_path});
  ExpectCaption(CaptionIs("3/3", x_path, "  W 10  H 10  Mag X 51.6"));

  // Dropped in the order b, a: they become the list, in name order, and a is shown.
  EXPECT_EQ(viewer_->DropFiles(ZELK_DRAG_SOURCE_PROGRAM, {b_path, a_path}, 300, 200), "copy");
  ExpectCaption(CaptionIs("1/2", a_path, "  W 64  H 40  Mag X 12"));
  EXPECT_VIEW(ExpectedFittedView(a, kViewWidth, kViewHeight));
  viewer_->Key("Right");
  ExpectCaption(CaptionIs("2/2", b_path, "  Mag X 16"));
}

TEST_F(ViewerTest, ZoomsIntoADraggedBoxPansResizesAndZoomsOut) {
  const Bitmap a = PatternImage(64, 40, 6);
  const std::string path = Write("a.png", a);
  Start({path});
  ExpectCaption(CaptionIs("1/1", path, "  Mag X 12"));

  // At 12 view pixels per image pixel, a drag from (120, 60) to (360, 100) with the
  // window's aspect enforced gives the box (120, 60, 360, 221): image pixels 10..30
  // across and 5..18 down, 768 / 20 = 38.4 view pixels per image pixel, both ways.
  DragBoxAndZoom(120, 60, 360, 100, "  W 64  H 40  Mag X 38.4");
  EXPECT_VIEW(ExpectedZoomedView(a, {10, 5, 30, 18}, kViewWidth, kViewHeight, true));
  const PixelRect box = ClipboardZoomBox();
  EXPECT_EQ(viewer_->ClipboardText(), "M10,5 H30 V18 H10 Z");

  // Dragging 24 view pixels to the left moves the box two image pixels to the right.
  viewer_->Drag(400, 250 + kPanelHeight, 376, 250 + kPanelHeight);
  EXPECT_VIEW(ExpectedZoomedView(a, {12, 5, 32, 18}, kViewWidth, kViewHeight, true));
  EXPECT_EQ(viewer_->ClipboardText(), "M10,5 H30 V18 H10 Z");  // untouched until asked
  const PixelRect panned = ClipboardZoomBox();
  EXPECT_EQ(panned.left, box.left + 2);
  EXPECT_EQ(panned.right, box.right + 2);
  EXPECT_EQ(panned.top, box.top);

  // A smaller window stays zoomed on (nearly) the same image pixels, still as whole
  // pixels over the whole image area.
  viewer_->Resize(600, 450);
  ExpectCaption([](const std::string& c) {
    return c.find("  W 64  H 40  Mag X ") != std::string::npos && !EndsWith(c, "Mag X 38.4");
  });
  const PixelRect resized = ClipboardZoomBox();
  EXPECT_NEAR(resized.left, panned.left, 1);
  EXPECT_NEAR(resized.right, panned.right, 1);
  EXPECT_NEAR(resized.top, panned.top, 1);
  EXPECT_NEAR(resized.bottom, panned.bottom, 1);
  // The box no longer spans a whole number of image pixels: every view pixel is still a
  // copy of one image pixel of the box, and the top-left one is the box's first.
  const Bitmap shown = Viewer::ViewPart(viewer_->Capture());
  ASSERT_EQ(shown.Width(), 600);
  long blended = 0;
  for (int y = 0; y < shown.Height(); ++y)
    for (int x = 0; x < shown.Width(); ++x) {
      bool copied = false;
      for (int sy = resized.top; sy < resized.bottom && !copied; ++sy)
        for (int sx = resized.left; sx < resized.right && !copied; ++sx)
          copied = shown.PixelRgb(x, y) == a.PixelRgb(sx, sy);
      blended += copied ? 0 : 1;
    }
  EXPECT_EQ(blended, 0);
  EXPECT_EQ(shown.PixelRgb(0, 0), a.PixelRgb(resized.left, resized.top));

  // Escape shows the fitted view again (600 / 64 view pixels per image pixel), with the
  // box outlined where it was.
  viewer_->Key("Escape");
  ExpectCaption(CaptionIs("1/1", path, "  Mag X 9.38"));
  // The outline lies somewhere within the image pixels the box edges fall in.
  const double scale = 600.0 / 64;
  auto middle = [&](int edge) { return static_cast<int>((edge + 0.5) * scale); };
  const PixelRect outline{middle(resized.left), middle(resized.top), middle(resized.right),
                          middle(resized.bottom)};
  const Bitmap fitted = ExpectedFittedView(a, 600, 390);
  EXPECT_VIEW(fitted, &outline, static_cast<int>(scale / 2) + 2);
  EXPECT_NE(Difference(Viewer::ViewPart(viewer_->Capture()), fitted), "") << "no box outline";
}

TEST_F(ViewerTest, ActualSizeShowsOneImagePixelPerScreenPixel) {
  const Bitmap a = PatternImage(64, 40, 8), big = PatternImage(1000, 700, 9);
  const std::string path = Write("a.png", a);
  Write("big.png", big);
  Start({path});
  ExpectCaption(CaptionIs("1/2", path, "  Mag X 12"));

  viewer_->Click(kActualSizeX, kCheckBoxY);
  ExpectCaption(CaptionIs("1/2", path, "  W 64  H 40  Mag X 1"));
  EXPECT_VIEW(ExpectedActualSizeView(a, kViewWidth, kViewHeight));

  // An image larger than the view opens zoomed on its top-left, view-sized part: the
  // default box (0, 0, 767, 515) copied over 768 x 516.
  viewer_->Key("Next");
  ExpectCaption(CaptionIs("2/2", images_ + "/big.png", "  W 1,000  H 700  Mag X 1"));
  EXPECT_VIEW(ExpectedZoomedView(big, {0, 0, 767, 515}, kViewWidth, kViewHeight));
  EXPECT_EQ(ClipboardZoomBox().right, 767);
}

// The colours of a zoomed view, as image pixels: the one drawn at (x, y) of the view.
std::pair<int, int> PatternPixelAt(const Bitmap& image, const Bitmap& view, int x, int y) {
  for (int sy = 0; sy < image.Height(); ++sy)
    for (int sx = 0; sx < image.Width(); ++sx)
      if (image.PixelRgb(sx, sy) == view.PixelRgb(x, y)) return {sx, sy};
  return {-1, -1};
}

TEST_F(ViewerTest, InspectsWithTheWheelKeysAndGrid) {
  const Bitmap a = PatternImage(64, 40, 12);
  const std::string path = Write("a.png", a);
  Start({path});
  ExpectCaption(CaptionIs("1/1", path, "  Mag X 12"));

  // One wheel notch up over view pixel (200, 150): 16 screen pixels per image pixel,
  // the pointed pixel still under the pointer, every block 16 x 16.
  const auto pointed = PatternPixelAt(a, Viewer::ViewPart(viewer_->Capture()), 200, 150);
  ASSERT_EQ(pointed, std::make_pair(16, 12));
  viewer_->Click(200, 150 + kPanelHeight, 4);
  ExpectCaption(CaptionIs("1/1", path, "  Mag X 16"));
  Bitmap view = Viewer::ViewPart(viewer_->Capture());
  EXPECT_EQ(PatternPixelAt(a, view, 200, 150), pointed);
  // Along a row the colour changes only every 16 screen pixels.
  for (int y = 0; y < view.Height(); y += 37) {
    int first = -1;
    for (int x = 1; x < view.Width(); ++x) {
      if (view.PixelRgb(x, y) == view.PixelRgb(x - 1, y)) continue;
      if (first < 0) {
        first = x;
      } else {
        ASSERT_EQ((x - first) % 16, 0) << x << "," << y;
      }
    }
  }

  // At sample points the colour the readout names (Ctrl+Shift+C copies it) is the one
  // drawn on the screen there.
  for (const auto& [x, y] :
       {std::pair{40, 60}, std::pair{200, 150}, std::pair{417, 333}, std::pair{767, 470}}) {
    viewer_->MoveTo(x + 1, y + kPanelHeight);
    viewer_->MoveTo(x, y + kPanelHeight);
    viewer_->Key("ctrl+shift+c");
    char drawn[8];
    std::snprintf(drawn, sizeof drawn, "#%06X", view.PixelRgb(x, y));
    std::string named;
    WaitUntil(
        [&] {
          named = viewer_->ClipboardText();
          return named == drawn;
        },
        std::chrono::seconds(5));
    EXPECT_EQ(named, drawn) << "at " << x << "," << y;
  }

  // A middle-button drag pans with the picture under the pointer: what was at a view
  // pixel is now as far away as the pointer went.
  // Moves over the view (and so every drag) are taken from 750 ms after a load on.
  constexpr int kDx = -48, kDy = -32;
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  viewer_->Drag(400, 300 + kPanelHeight, 400 + kDx, 300 + kPanelHeight + kDy, 2);
  Bitmap panned;
  WaitUntil(
      [&] {
        panned = Viewer::ViewPart(viewer_->Capture());
        return PatternPixelAt(a, panned, 200 + kDx, 150 + kDy) == pointed;
      },
      std::chrono::seconds(5));
  for (const auto& [x, y] : {std::pair{100, 80}, std::pair{200, 150}, std::pair{500, 400}})
    EXPECT_EQ(PatternPixelAt(a, panned, x + kDx, y + kDy), PatternPixelAt(a, view, x, y))
        << "at " << x << "," << y;

  // + steps on to 24.
  viewer_->Key("plus");
  ExpectCaption(CaptionIs("1/1", path, "  Mag X 24"));

  // G draws a grid: pixels that are no colour of the image appear between blocks.
  viewer_->Key("g");
  long grid_pixels = 0;
  WaitUntil(
      [&] {
        view = Viewer::ViewPart(viewer_->Capture());
        grid_pixels = 0;
        for (int x = 0; x < view.Width(); ++x)
          grid_pixels += PatternPixelAt(a, view, x, 100).first < 0 ? 1 : 0;
        return grid_pixels > 0;
      },
      std::chrono::seconds(5));
  EXPECT_GT(grid_pixels, 0);

  // 0 fits the image again.
  viewer_->Key("0");
  ExpectCaption(CaptionIs("1/1", path, "  Mag X 12"));
}

TEST_F(ViewerTest, AtScaleFactorTwoTheReadoutNamesTheDevicePixelUnderThePointer) {
  const Bitmap a = PatternImage(400, 300, 7);
  const std::string path = Write("a.png", a);
  Start({path}, {{"QT_SCALE_FACTOR", "2"}});
  ExpectCaption([](const std::string& c) { return c.find("Mag X") != std::string::npos; });
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  // Fitted, then one device pixel per image pixel about the pointer: at odd and even
  // device positions alike, the colour named (Ctrl+Shift+C) is the one on the screen.
  for (const bool one_to_one : {false, true}) {
    if (one_to_one) {
      viewer_->MoveTo(301, 251);
      viewer_->Key("1");
      ExpectCaption([](const std::string& c) { return c.find("Mag X 1") != std::string::npos; });
    }
    const Bitmap screen = viewer_->Capture();
    int wrong = 0;
    std::string first_wrong;
    for (int i = 0; i < 16; ++i) {
      const int x = 200 + i * 13 + (i % 2), y = 200 + i * 7 + (i / 2 % 2);
      viewer_->MoveTo(x + 1, y);
      viewer_->MoveTo(x, y);
      viewer_->Key("ctrl+shift+c");
      char drawn[8];
      std::snprintf(drawn, sizeof drawn, "#%06X", screen.PixelRgb(x, y));
      std::string named;
      WaitUntil(
          [&] {
            named = viewer_->ClipboardText();
            return named == drawn;
          },
          std::chrono::seconds(3));
      if (named != drawn && wrong++ == 0)
        first_wrong = "at " + std::to_string(x) + "," + std::to_string(y) + ": " + named +
                      " named, " + drawn + " drawn";
    }
    EXPECT_EQ(wrong, 0) << (one_to_one ? "after 1: " : "fitted: ") << first_wrong;
  }
  viewer_->Key("alt+q");  // the Quit button is not where TearDown clicks at this scale
}

TEST_F(ViewerTest, ComparesFromTheCommandLineFlippingAndSplittingOnTheScreen) {
  const Bitmap a = PatternImage(64, 40, 3), b = PatternImage(64, 40, 5);
  const std::string a_path = Write("a.png", a);
  fs::create_directories(images_ + "/new");
  const std::string b_path = images_ + "/new/b.png";
  SaveImageFile(b_path, b);
  Start({"--compare", a_path, b_path});
  ExpectCaption([&](const std::string& c) {
    return StartsWith(c, "A " + a_path + "  W 64  H 40   B 1/1 " + b_path + "  W 64  H 40");
  });
  // B first, in A's place; F flips to A.
  EXPECT_VIEW(ExpectedFittedView(b, kViewWidth, kViewHeight));
  viewer_->Key("f");
  EXPECT_VIEW(ExpectedFittedView(a, kViewWidth, kViewHeight));
  // S: A left of the divider in the middle, B right of it, at the same places.
  viewer_->Key("s");
  const Bitmap fitted_a = ExpectedFittedView(a, kViewWidth, kViewHeight);
  const Bitmap fitted_b = ExpectedFittedView(b, kViewWidth, kViewHeight);
  const int divider = kViewWidth / 2;
  std::string wrong;
  WaitUntil([&] {
    const Bitmap view = Viewer::ViewPart(viewer_->Capture());
    wrong.clear();
    for (int y = 5; y < kViewHeight - 20; y += 31)
      for (int x = 3; x < kViewWidth; x += 17) {
        if (x == divider) continue;
        const std::uint32_t expected = (x < divider ? fitted_a : fitted_b).PixelRgb(x, y);
        if (view.PixelRgb(x, y) != expected && wrong.empty())
          wrong = "at " + std::to_string(x) + "," + std::to_string(y);
      }
    return wrong.empty();
  });
  EXPECT_EQ(wrong, "");
  viewer_->Key("b");  // leaves: A alone, its own caption
  ExpectCaption(CaptionIs("1/1", a_path, "  Mag X 12"));
}

TEST_F(ViewerTest, QuitDuringASlowMetafileEndsTheProcessAtOnce) {
  // About two seconds of drawing, within its budget: Quit while it plays.
  const test::Bytes slow = test::SlowButFairDrawing();
  const std::string path = images_ + "/slow.emf";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(slow.data(), 1, slow.size(), file);
  std::fclose(file);
  Start({path});
  ASSERT_TRUE(WaitUntil([&] { return !viewer_->Window().empty(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto quit_at = std::chrono::steady_clock::now();
  viewer_->Key("alt+q");
  const int status = viewer_->Quit();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - quit_at).count();
  EXPECT_EQ(status, 0) << viewer_->ErrorOutput();
  // A hang catch: the process is measured to be gone in well under a second.
  EXPECT_LT(seconds, 5.0);
  std::printf("Quit during playback: the process ended %.0f ms after the key\n", seconds * 1000);
  viewer_.reset();
}

TEST_F(ViewerTest, UnderAWindowManagerTheClientAreaHasTheOpeningSize) {
  if (RunCommand({"openbox", "--version"}, {}, std::chrono::seconds(5)).status != 0)
    ZELK_SKIP_WITHOUT_TOOL("openbox not installed");
  // A 1920 x 1080 screen opens the window with a client area of 768 x 576, the window
  // manager's frame around it.
  server_ = std::make_unique<XServer>(root_ + "/xvfb-wide.log", "1920x1080x24");
  ChildProcess::Options options;
  options.extra_env = server_->Env();
  options.stderr_file = root_ + "/openbox.log";
  ChildProcess window_manager({"openbox", "--sm-disable"}, options);
  ASSERT_TRUE(WaitUntil([&] {
    return RunCommand({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, server_->Env(),
                      std::chrono::seconds(5))
               .output.find("window id") != std::string::npos;
  }));
  const std::string path = Write("a.png", PatternImage(64, 40, 13));
  Start({path});
  ExpectCaption([&](const std::string& c) { return c.find(path) != std::string::npos; });
  std::string size;
  WaitUntil([&] { return (size = viewer_->ClientSize()) == "768x576"; }, std::chrono::seconds(5));
  EXPECT_EQ(size, "768x576");
  EXPECT_EQ(viewer_->Quit(), 0);
  viewer_.reset();
}

TEST_F(ViewerTest, CopiesAndPastesImagesThroughTheClipboard) {
  const Bitmap a = PatternImage(64, 40, 10);
  const std::string path = Write("a.png", a);
  Write("d.png", PatternImage(8, 8, 11));
  Start({path});
  ExpectCaption(CaptionIs("1/2", path, "  Mag X 12"));

  // Right-click on Print: another program reads the full image from the clipboard.
  viewer_->Click(kPrintX, kButtonY, 3);
  Bitmap copied;
  ASSERT_TRUE(WaitUntil([&] { return viewer_->ClipboardImage(root_ + "/copied.png"); }));
  LoadImageFile(root_ + "/copied.png", copied);
  EXPECT_EQ(Difference(copied, a), "");

  // Right-click on Actual Size: an image another program offers becomes a new entry
  // cb_<nine letters>.bmp in the current folder (the image's folder), fitted.
  const Bitmap offered = PatternImage(30, 20, 12);
  SaveImageFile(root_ + "/offered.png", offered);
  const auto xclip = viewer_->OfferClipboardImage(root_ + "/offered.png");
  viewer_->Click(kActualSizeX, kCheckBoxY, 3);
  std::string caption;
  EXPECT_TRUE(viewer_->WaitForCaption(
      [&](const std::string& c) {
        // "<2 or 3>/3 <folder>/cb_<nine letters a-z>.bmp  0 bytes  W 30  H 20  Mag X 25.6"
        const std::string head = "/3 " + images_ + "/cb_";
        const std::string tail = ".bmp  0 bytes  W 30  H 20  Mag X 25.6";
        if (c.size() != 1 + head.size() + 9 + tail.size()) return false;
        if ((c[0] != '2' && c[0] != '3') || c.compare(1, head.size(), head) != 0) return false;
        const std::string letters = c.substr(1 + head.size(), 9);
        return letters.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos &&
               EndsWith(c, tail);
      },
      &caption))
      << caption;
  EXPECT_VIEW(ExpectedFittedView(offered, kViewWidth, kViewHeight));
}

TEST_F(ViewerTest, ConvertsAndSavesTheVisibleView) {
  const Bitmap a = PatternImage(64, 40, 13);
  const std::string path = Write("a.png", a);
  Start({path});
  ExpectCaption(CaptionIs("1/1", path, "  Mag X 12"));
  const int convert_x = ConvertX(kViewWidth);

  // The save dialog: type a whole path over the offered name and press Enter.
  viewer_->Click(convert_x, kButtonY);
  ASSERT_TRUE(viewer_->WaitForOtherWindows(1));
  const std::string target = images_ + "/converted.bmp";
  viewer_->Key("ctrl+a");
  viewer_->Type(target);
  viewer_->Key("Return");
  ExpectCaption(CaptionIs("2/2", target, "  W 64  H 40  Mag X 12"));
  ASSERT_TRUE(viewer_->WaitForOtherWindows(0));
  Bitmap written;
  LoadImageFile(target, written);
  EXPECT_EQ(Difference(written, a), "");

  // Right-click: the image area as shown, beside the current entry, then a message.
  viewer_->Click(convert_x, kButtonY, 3);
  ASSERT_TRUE(viewer_->WaitForOtherWindows(1));
  const std::string saved = images_ + "/converted_ZelkZoomed.bmp";
  EXPECT_TRUE(fs::exists(saved));
  viewer_->Key("Return");
  EXPECT_TRUE(viewer_->WaitForOtherWindows(0)) << "the message stayed after Enter";
  Bitmap visible;
  LoadImageFile(saved, visible);
  EXPECT_EQ(Difference(visible, ExpectedFittedView(a, kViewWidth, kViewHeight)), "");
}

TEST_F(ViewerTest, ReportsADamagedFileAndStepsBackToTheImageBeforeIt) {
  const Bitmap a = PatternImage(64, 40, 14);
  const std::string path = Write("a.png", a);
  std::ofstream(images_ + "/b.png", std::ios::binary) << "\x89PNG\r\n\x1a\n this is no picture";
  Start({path});
  ExpectCaption(CaptionIs("1/2", path, "  Mag X 12"));

  viewer_->Key("Right");
  ASSERT_TRUE(viewer_->WaitForOtherWindows(1)) << "no error message";
  viewer_->Key("Return");
  EXPECT_TRUE(viewer_->WaitForOtherWindows(0)) << "the message stayed after Enter";
  ExpectCaption(CaptionIs("1/1", path, "  W 64  H 40  Mag X 12"));
  EXPECT_VIEW(ExpectedFittedView(a, kViewWidth, kViewHeight));
}

}  // namespace
}  // namespace zelk::e2e
