#include <QCoreApplication>
#include <QMouseEvent>

#include "core/view/blit.h"
#include "core/view/focus_rect.h"
#include "main_window_fixture.h"

namespace zelk {
namespace {

TEST_F(MainWindowTest, FitsTheImageIntoTheViewAnchoredTopLeft) {
  MakeWindow(768, 500);
  const std::string path = WriteImage("wide.bmp", 2000, 1000, [](int, int) { return 0x204080u; });
  OpenThroughDialog({path});
  EXPECT_DOUBLE_EQ(window_->view_scale(), 0.384);
  const ViewImage& view = window_->controls().view->Picture();
  EXPECT_EQ(view.PixelRgb(767, 383), 0x204080u);
  EXPECT_EQ(view.PixelRgb(0, 384), 0xFFFFFFu);
  // 2000 x 1000 x 3 bytes plus the 54-byte headers.
  EXPECT_EQ(Caption(), "1/1 " + path + "  6,000,054 bytes  W 2,000  H 1,000  Mag X 0.38");

  // Small images are enlarged to fit; at actual size they are shown 1:1.
  const std::string small = WriteImage("small.bmp", 100, 50, [](int, int) { return 0x102030u; });
  ResizeView(600, 400);
  OpenThroughDialog({small});
  EXPECT_DOUBLE_EQ(window_->view_scale(), 6.0);
  EXPECT_EQ(window_->controls().view->Picture().PixelRgb(599, 299), 0x102030u);
  EXPECT_EQ(window_->controls().view->Picture().PixelRgb(599, 300), 0xFFFFFFu);
  window_->controls().actual_size_box->click();
  EXPECT_DOUBLE_EQ(window_->view_scale(), 1.0);
  EXPECT_EQ(window_->controls().view->Picture().PixelRgb(99, 49), 0x102030u);
  EXPECT_EQ(window_->controls().view->Picture().PixelRgb(100, 49), 0xFFFFFFu);
  EXPECT_EQ(Caption().substr(Caption().size() - 7), "Mag X 1");
}

TEST_F(MainWindowTest, ActualSizeLoadOfALargeImageEndsZoomed) {
  MakeWindow(768, 500);
  window_->controls().actual_size_box->setChecked(true);
  const std::string path = WriteImage("big.png", 2000, 1000, Pattern);
  OpenThroughDialog({path});
  EXPECT_TRUE(window_->zoomed());
  EXPECT_EQ(window_->controls().zoom_button->text().toStdString(), "&Zoom Out");
  // The default box at scale 1 is the top-left part of the image, one pixel short of
  // the view's width, at the view's aspect ratio.
  EXPECT_EQ(window_->zoom_box(), (zelk::ZoomBox{0, 0, 767, 499}));
  EXPECT_EQ(window_->controls().view->Picture().PixelRgb(0, 0), Pattern(0, 0));
}

TEST_F(MainWindowTest, DragZoomPanAndZoomOutCopyWholePixels) {
  MakeWindow(640, 400);
  window_->controls().enforce_aspect_box->setChecked(false);
  const std::string path = WriteImage("grid.png", 64, 40, Pattern);
  OpenThroughDialog({path});
  ASSERT_DOUBLE_EQ(window_->view_scale(), 10.0);
  ImageView* view = window_->controls().view;

  Drag(view, 100, 100, 260, 200);
  EXPECT_EQ(window_->zoom_box(), (zelk::ZoomBox{100, 100, 260, 200}));
  window_->controls().zoom_button->click();
  ASSERT_TRUE(window_->zoomed());
  // Source (10, 10)-(26, 20) over 640 x 400: every source pixel is a 40 x 40 block.
  const ViewImage& picture = view->Picture();
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 640; ++x)
      ASSERT_EQ(picture.PixelRgb(x, y), Pattern(10 + x / 40, 10 + y / 40)) << x << "," << y;
  EXPECT_EQ(Caption().substr(Caption().size() - 8), "Mag X 40");

  // Dragging left by 80 view pixels moves the box right by 80 fitted pixels: 8 source
  // pixels.
  SendMouse(view, QEvent::MouseButtonPress, 320, 200, Qt::LeftButton, Qt::LeftButton);
  SendMouse(view, QEvent::MouseMove, 240, 200, Qt::NoButton, Qt::LeftButton);
  SendMouse(view, QEvent::MouseButtonRelease, 240, 200, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(window_->zoom_box(), (zelk::ZoomBox{180, 100, 340, 200}));
  EXPECT_EQ(picture.PixelRgb(0, 0), Pattern(18, 10));
  EXPECT_EQ(picture.PixelRgb(639, 399), Pattern(33, 19));

  // Zoom out: the fitted view with the outline of the panned box.
  window_->controls().zoom_button->click();
  EXPECT_FALSE(window_->zoomed());
  Bitmap source;
  source.Reset(64, 40);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 64; ++x) source.SetPixelRgb(x, y, Pattern(x, y));
  ViewImage expected;
  expected.Reset(640, 400);
  StretchToView(source, expected, 640, 400);
  DrawFocusRect(expected, {180, 100, 340, 200});
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 640; ++x)
      ASSERT_EQ(picture.PixelRgb(x, y), expected.PixelRgb(x, y)) << x << "," << y;
}

TEST_F(MainWindowTest, TheReadoutNamesTheColourUnderThePointerAndTheBox) {
  MakeWindow(640, 400);
  const std::string path =
      WriteImage("red.bmp", 2000, 40, [](int x, int) { return x < 1500 ? 0xFF0000u : 0xFF8000u; });
  OpenThroughDialog({path});
  ASSERT_DOUBLE_EQ(window_->view_scale(), 0.32);
  SendMouse(window_->controls().view, QEvent::MouseMove, 10, 5, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(StatusText(), "HTML Colour at [X: 31 Y: 15]=#FF0000 [Red]");
  SendMouse(window_->controls().view, QEvent::MouseMove, 600, 5, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(StatusText(), "HTML Colour at [X: 1,875 Y: 15]=#FF8000 [~ColorWheelOrange]");

  // While a load is in progress (and 750 ms after) the pointer shows nothing.
  desktop_.open_answers.push_back({path});
  window_->OpenFiles();
  WaitForLoad();
  SendMouse(window_->controls().view, QEvent::MouseMove, 10, 5, Qt::NoButton, Qt::NoButton);
  // The new image clears the old readout; until the delay ends nothing new shows.
  EXPECT_EQ(StatusText(), "");
  window_->AttachPointerReadout();

  Drag(window_->controls().view, 32, 0, 64, 10);
  SendMouse(window_->controls().view, QEvent::MouseMove, 10, 5, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(StatusText().substr(StatusText().find("   Zoom")),
            "   Zoom Box on Coords (L:100 T: 0 R: 200 B: 62)");
}

TEST_F(MainWindowTest, AResizeWhileZoomedStaysOnTheSameSourceRegion) {
  MakeWindow(640, 400);
  window_->controls().enforce_aspect_box->setChecked(false);
  OpenThroughDialog({WriteImage("grid.bmp", 64, 40, Pattern)});
  Drag(window_->controls().view, 100, 100, 260, 200);
  window_->controls().zoom_button->click();
  ResizeView(320, 200);
  EXPECT_TRUE(window_->zoomed());
  EXPECT_DOUBLE_EQ(window_->view_scale(), 5.0);
  EXPECT_EQ(window_->zoom_box(), (zelk::ZoomBox{50, 50, 130, 100}));
  EXPECT_EQ(window_->controls().view->Picture().PixelRgb(0, 0), Pattern(10, 10));
  EXPECT_EQ(window_->controls().view->Picture().PixelRgb(319, 199), Pattern(25, 19));
}

}  // namespace
}  // namespace zelk
