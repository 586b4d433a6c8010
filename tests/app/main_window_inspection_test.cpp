// The readout against the colour drawn under the pointer, and exact inspection: wheel
// steps about the pointer, whole k x k blocks, 1:1 at the pointer, the pan that follows
// the pointer and the grid. The whole file also runs at a scale factor of 2
// (QT_SCALE_FACTOR=2), where view positions are device pixels.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QWheelEvent>
#include <array>
#include <cmath>
#include <cstdio>

#include "app/inspector_panel.h"
#include "codecs/image_loader.h"
#include "core/inspect/region_stats.h"
#include "main_window_fixture.h"

namespace zelk {
namespace {

// Each pixel's colour encodes its own coordinates.
std::uint32_t Coordinates(int x, int y) {
  return (static_cast<std::uint32_t>(x) << 12) | static_cast<std::uint32_t>(y);
}

class InspectionTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    MakeWindow(640, 400);
    OpenThroughDialog({WriteImage("xy.png", 300, 170, Coordinates)});
  }

  ImageView* View() { return window_->controls().view; }
  // The logical position of device pixel (x, y), so events land on that pixel.
  QPointF Logical(int x, int y) {
    const qreal ratio = View()->devicePixelRatioF();
    return QPointF((x + 0.5) / ratio, (y + 0.5) / ratio);
  }
  void Move(int x, int y, Qt::MouseButtons buttons = Qt::NoButton) {
    QMouseEvent event(QEvent::MouseMove, Logical(x, y), View()->mapToGlobal(Logical(x, y)),
                      Qt::NoButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(View(), &event);
  }
  void Press(int x, int y, Qt::MouseButton button) {
    QMouseEvent event(QEvent::MouseButtonPress, Logical(x, y), View()->mapToGlobal(Logical(x, y)),
                      button, button, Qt::NoModifier);
    QCoreApplication::sendEvent(View(), &event);
  }
  void DragDevice(int x0, int y0, int x1, int y1) {
    Press(x0, y0, Qt::LeftButton);
    Move(x1, y1, Qt::LeftButton);
    QMouseEvent release(QEvent::MouseButtonRelease, Logical(x1, y1),
                        View()->mapToGlobal(Logical(x1, y1)), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(View(), &release);
  }
  void Wheel(int x, int y, int notches) {
    QWheelEvent event(Logical(x, y), View()->mapToGlobal(Logical(x, y)), QPoint(),
                      QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    QCoreApplication::sendEvent(View(), &event);
  }
  // The image pixel the readout names at device pixel (x, y).
  std::pair<int, int> ReadoutAt(int x, int y) {
    Move(x, y);
    int rx = -1, ry = -1;
    std::sscanf(StatusText().c_str(), "HTML Colour at [X: %d Y: %d]", &rx, &ry);
    return {rx, ry};
  }
  // The image pixel whose colour is drawn at device pixel (x, y).
  std::pair<int, int> DrawnAt(int x, int y) {
    const std::uint32_t c = View()->Picture().PixelRgb(x, y);
    return {static_cast<int>(c >> 12), static_cast<int>(c & 0xFFF)};
  }
  // Every drawn pixel checked against the readout, on a lattice of step pixels.
  void ExpectReadoutMatchesDrawing(int step) {
    const ViewImage& picture = View()->Picture();
    for (int y = 0; y < picture.Height(); y += step)
      for (int x = 0; x < picture.Width(); x += step) {
        if (picture.PixelRgb(x, y) == 0xFFFFFFu) continue;  // beyond the image
        ASSERT_EQ(ReadoutAt(x, y), DrawnAt(x, y)) << "at " << x << "," << y;
      }
  }
};

TEST_F(InspectionTest, TheReadoutNamesThePixelDrawnUnderThePointer) {
  window_->AttachPointerReadout();
  ExpectReadoutMatchesDrawing(5);
  // Zoomed into boxes of several shapes, the aspect rule on and off.
  for (const bool aspect : {true, false}) {
    if (window_->controls().enforce_aspect_box->isChecked() != aspect)
      window_->controls().enforce_aspect_box->click();
    for (const auto& [x0, y0, x1, y1] : {std::array{13, 7, 61, 50}, std::array{200, 90, 221, 97}}) {
      Drag(View(), x0, y0, x1, y1);
      window_->ToggleZoom();
      ASSERT_TRUE(window_->zoomed());
      ExpectReadoutMatchesDrawing(7);
      window_->ToggleZoom();
    }
  }
}

TEST_F(InspectionTest, WheelStepsKeepThePointedPixelInWholeBlocks) {
  window_->AttachPointerReadout();
  const int x = 211, y = 97;
  const auto pointed = DrawnAt(x, y);
  int previous = 0;
  for (int step = 0; step < 4; ++step) {
    Wheel(x, y, +1);
    ASSERT_TRUE(window_->zoomed());
    EXPECT_EQ(DrawnAt(x, y), pointed) << "step " << step;
    // Every block is k x k: the caption's magnification, a whole number above the last.
    const std::string caption = Caption();
    const int mag = std::stoi(caption.substr(caption.rfind("Mag X ") + 6));
    EXPECT_GT(mag, previous);
    previous = mag;
    const ViewImage& picture = View()->Picture();
    for (int yy = 0; yy + 1 < picture.Height(); ++yy)
      for (int xx = 0; xx + 1 < picture.Width(); ++xx) {
        const auto here = DrawnAt(xx, yy);
        const auto right = DrawnAt(xx + 1, yy);
        if (here != right) {
          ASSERT_EQ((right.first - here.first), 1) << xx;
        }
      }
    // Block edges fall every mag device pixels.
    int first_edge = -1, edges = 0;
    for (int xx = 1; xx < picture.Width(); ++xx)
      if (DrawnAt(xx, 0) != DrawnAt(xx - 1, 0)) {
        if (first_edge >= 0) {
          EXPECT_EQ((xx - first_edge) % mag, 0) << xx;
        }
        if (first_edge < 0) first_edge = xx;
        ++edges;
      }
    EXPECT_GT(edges, 0);
  }
  // Down again to the fitted view.
  for (int step = 0; step < 10 && window_->zoomed(); ++step) Wheel(x, y, -1);
  EXPECT_FALSE(window_->zoomed());
}

TEST_F(InspectionTest, AfterAWheelStepTheBoxReadoutsNameThePixelsShown) {
  // Fitted below 1:1, a box in fitted-view pixels cannot hold every image column; the
  // status line and the SVG path must still name exactly the part the view shows.
  OpenThroughDialog({WriteImage("wide.png", 1000, 600, Coordinates)});
  window_->AttachPointerReadout();
  ASSERT_LT(window_->view_scale(), 1.0);
  for (const auto& [x, y] : {std::pair{211, 97}, std::pair{333, 251}, std::pair{150, 300}}) {
    Wheel(x, y, +1);
    ASSERT_TRUE(window_->zoomed());
    const ViewImage& picture = View()->Picture();
    const auto first = DrawnAt(0, 0);
    const auto last = DrawnAt(picture.Width() - 1, picture.Height() - 1);
    const std::string l = std::to_string(first.first), t = std::to_string(first.second),
                      r = std::to_string(last.first + 1), b = std::to_string(last.second + 1);
    window_->CopyZoomBoxAsSvgPath();
    EXPECT_EQ(desktop_.clipboard_text, "M" + l + "," + t + " H" + r + " V" + b + " H" + l + " Z");
    Move(x, y);
    EXPECT_NE(StatusText().find("(L:" + l + " T: " + t + " R: " + r + " B: " + b + ")"),
              std::string::npos)
        << StatusText();
    Wheel(x, y, -1);
    ASSERT_FALSE(window_->zoomed());
  }
}

TEST_F(InspectionTest, OneToOneAtThePointerAndAPanThatFollowsIt) {
  window_->AttachPointerReadout();
  Move(400, 150);
  const auto pointed = DrawnAt(400, 150);
  window_->ShowActualPixelsAtPointer();
  EXPECT_TRUE(Caption().ends_with("Mag X 1")) << Caption();
  // One device pixel per image pixel: neighbours differ by one column.
  EXPECT_EQ(DrawnAt(401, 150).first, DrawnAt(400, 150).first + 1);
  EXPECT_EQ(std::abs(DrawnAt(400, 150).first - pointed.first), 0);

  // Zoomed in by the wheel, a middle-button drag moves the picture by exactly the
  // pointer's travel in device pixels.
  Wheel(300, 200, +3);
  const auto before = DrawnAt(300, 200);
  Press(300, 200, Qt::MiddleButton);
  Move(317, 209, Qt::MiddleButton);
  EXPECT_EQ(DrawnAt(317, 209), before);
  Move(318, 213, Qt::MiddleButton);
  EXPECT_EQ(DrawnAt(318, 213), before);
}

TEST_F(InspectionTest, TheGridNeverReachesWhatIsSavedOrCopied) {
  for (int step = 0; step < 6; ++step) Wheel(100, 100, +1);
  const ViewImage plain = View()->Picture();
  window_->ToggleGrid();
  const ViewImage gridded = View()->Picture();
  long grid_pixels = 0;
  for (int y = 0; y < plain.Height(); ++y)
    for (int x = 0; x < plain.Width(); ++x)
      grid_pixels += plain.PixelRgb(x, y) != gridded.PixelRgb(x, y);
  EXPECT_GT(grid_pixels, 0);

  EXPECT_TRUE(window_->SaveVisibleView());
  Bitmap saved;
  LoadImageFile((dir_ / "xy_ZelkZoomed.bmp").string(), saved);
  for (int y = 0; y < plain.Height(); ++y)
    for (int x = 0; x < plain.Width(); ++x)
      ASSERT_EQ(saved.PixelRgb(x, y), plain.PixelRgb(x, y)) << x << "," << y;
  window_->CopyImageToClipboard();
  ASSERT_TRUE(desktop_.clipboard_image.has_value());
  EXPECT_EQ(desktop_.clipboard_image->Width(), 300);
}

TEST_F(InspectionTest, OpeningAndClosingTheInspectorRefitsThePicture) {
  const double full_scale = window_->view_scale();
  window_->ToggleInspector();
  EXPECT_EQ(View()->Picture().Width(), View()->DeviceWidth());
  EXPECT_LT(window_->view_scale(), full_scale);  // the narrower view shows it all
  ExpectReadoutMatchesDrawing(7);
  window_->ToggleInspector();
  EXPECT_EQ(View()->Picture().Width(), View()->DeviceWidth());
  EXPECT_DOUBLE_EQ(window_->view_scale(), full_scale);
}

TEST_F(InspectionTest, TheInspectorNamesThePixelAsTheStatusLineDoes) {
  window_->ToggleInspector();
  Move(60, 40);
  const std::string status = StatusText();
  ASSERT_EQ(status.rfind("HTML Colour at [X: ", 0), 0u) << status;
  const QString named = QString::fromStdString(status.substr(status.find('#')));
  const QString panel = window_->controls().inspector->findChildren<QLabel*>().front()->text();
  EXPECT_TRUE(panel.contains(QStringLiteral("\n") + named + QStringLiteral("\n")))
      << panel.toStdString();
  EXPECT_EQ(panel.count(named.left(7)), 1) << panel.toStdString();  // the hex digits once
}

TEST_F(InspectionTest, TheInspectorCountsTheBoxOffTheGuiThread) {
  // A box of image pixels (10, 20)-(110, 80) at the fitted scale; the count must match
  // one made here directly.
  window_->controls().enforce_aspect_box->click();
  window_->ToggleInspector();  // the panel takes room from the view: drag after it shows
  ResizeView(640, 480);
  const double s = window_->view_scale();
  // Edges in the middle of image pixels, so no rounding moves them to a neighbour.
  const auto at = [s](double pixel) { return static_cast<int>((pixel + 0.5) * s); };
  DragDevice(at(10), at(20), at(110), at(80));
  QElapsedTimer waited;
  waited.start();
  while (!window_->inspector_stats() && waited.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  ASSERT_TRUE(window_->inspector_stats());
  const RegionStats& stats = *window_->inspector_stats();
  EXPECT_EQ(stats.width, 100);
  EXPECT_EQ(stats.height, 60);
  EXPECT_EQ(stats.distinct, 6000u);  // every pixel's colour is its own
  EXPECT_EQ(stats.red.min, static_cast<int>((Coordinates(10, 20) >> 16) & 0xFF));
  double green_sum = 0;
  for (int y = 20; y < 80; ++y)
    for (int x = 10; x < 110; ++x) green_sum += (Coordinates(x, y) >> 8) & 0xFF;
  EXPECT_NEAR(stats.green.mean, green_sum / 6000, 1e-9);
  ASSERT_EQ(stats.most_frequent.size(), 5u);
  EXPECT_EQ(stats.most_frequent[0].count, 1u);
}

}  // namespace
}  // namespace zelk

namespace zelk {
namespace {

TEST_F(InspectionTest, ComparingTheReadoutNamesBothPixelsDrawnUnderThePointer) {
  // B: the same coordinates, its blue channel one more (as 0x...RRGGBB: +1 in blue
  // makes a different y in the low bits, so A and B are told apart by the drawing).
  std::filesystem::create_directories(dir_ / "b");
  const std::string b =
      WriteImage("b/xy.png", 300, 170, [](int x, int y) { return Coordinates(x, y) ^ 0x800000u; });
  window_->CompareWith(b);
  QElapsedTimer waited;
  waited.start();
  while ((window_->comparison().b().Loading() || !window_->comparison().diff()) &&
         waited.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  window_->AttachPointerReadout();
  // Flip shows B first; zoomed in whole steps, then fitted: at every sampled device
  // pixel the readout names the pixel drawn there, with both colours.
  for (const int notches : {0, 3}) {
    if (notches > 0) Wheel(100, 60, notches);
    const ViewImage& picture = View()->Picture();
    for (int y = 1; y < picture.Height(); y += 11)
      for (int x = 3; x < picture.Width(); x += 13) {
        const std::uint32_t drawn = picture.PixelRgb(x, y);
        if (drawn == 0xFFFFFFu) continue;
        Move(x, y);
        const std::uint32_t a = drawn ^ 0x800000u;  // what A has where B is drawn
        char expected[64];
        std::snprintf(expected, sizeof expected, "[X: %d Y: %d] A #%06X B #%06X",
                      static_cast<int>(a >> 12), static_cast<int>(a & 0xFFF), a, drawn);
        ASSERT_EQ(StatusText().rfind(expected, 0), 0u)
            << "at " << x << "," << y << ": " << StatusText();
      }
  }
}

}  // namespace
}  // namespace zelk
