#include <QCoreApplication>
#include <QMouseEvent>

#include "core/view/blit.h"
#include "core/view/focus_rect.h"
#include "form_fixture.h"

namespace zelk {
namespace {

void SendMouse(QWidget* target, QEvent::Type type, int x, int y, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
  const QPointF local(x, y);
  QMouseEvent event(type, local, target->mapToGlobal(local), button, buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &event);
}

void Drag(QWidget* view, int x0, int y0, int x1, int y1) {
  SendMouse(view, QEvent::MouseButtonPress, x0, y0, Qt::LeftButton, Qt::LeftButton);
  SendMouse(view, QEvent::MouseMove, (x0 + x1) / 2, (y0 + y1) / 2, Qt::NoButton, Qt::LeftButton);
  SendMouse(view, QEvent::MouseMove, x1, y1, Qt::NoButton, Qt::LeftButton);
  SendMouse(view, QEvent::MouseButtonRelease, x1, y1, Qt::LeftButton, Qt::NoButton);
}

TEST_F(FormTest, FitsTheImageIntoTheViewAnchoredTopLeft) {
  MakeForm(768, 500);
  const std::string path = WriteImage("wide.bmp", 2000, 1000, [](int, int) { return 0x204080u; });
  OpenThroughDialog({path});
  EXPECT_DOUBLE_EQ(form_->ViewScale, 0.384);
  const ViewImage& view = form_->Image1->Picture();
  EXPECT_EQ(view.PixelRgb(767, 383), 0x204080u);
  EXPECT_EQ(view.PixelRgb(0, 384), 0xFFFFFFu);
  // 2000 x 1000 x 3 bytes plus the 54-byte headers.
  EXPECT_EQ(Caption(), "1/1 " + path + "  6,000,054 bytes  W 2,000  H 1,000  Mag X 0.38");

  // Small images are enlarged to fit; at actual size they are shown 1:1.
  const std::string small = WriteImage("small.bmp", 100, 50, [](int, int) { return 0x102030u; });
  ResizeView(600, 400);
  OpenThroughDialog({small});
  EXPECT_DOUBLE_EQ(form_->ViewScale, 6.0);
  EXPECT_EQ(form_->Image1->Picture().PixelRgb(599, 299), 0x102030u);
  EXPECT_EQ(form_->Image1->Picture().PixelRgb(599, 300), 0xFFFFFFu);
  form_->CheckBox2->click();
  EXPECT_DOUBLE_EQ(form_->ViewScale, 1.0);
  EXPECT_EQ(form_->Image1->Picture().PixelRgb(99, 49), 0x102030u);
  EXPECT_EQ(form_->Image1->Picture().PixelRgb(100, 49), 0xFFFFFFu);
  EXPECT_EQ(Caption().substr(Caption().size() - 7), "Mag X 1");
}

TEST_F(FormTest, ActualSizeLoadOfALargeImageEndsZoomed) {
  MakeForm(768, 500);
  form_->CheckBox2->setChecked(true);
  const std::string path = WriteImage("big.png", 2000, 1000, Pattern);
  OpenThroughDialog({path});
  EXPECT_TRUE(form_->Zoomed);
  EXPECT_EQ(form_->Button1->text().toStdString(), "&Zoom Out");
  // The default box at scale 1 is the top-left part of the image, one pixel short of
  // the view's width, at the view's aspect ratio.
  EXPECT_EQ(form_->ZoomBox, (zelk::ZoomBox{0, 0, 767, 499}));
  EXPECT_EQ(form_->Image1->Picture().PixelRgb(0, 0), Pattern(0, 0));
}

TEST_F(FormTest, DragZoomPanAndZoomOutCopyWholePixels) {
  MakeForm(640, 400);
  form_->CheckBox1->setChecked(false);
  const std::string path = WriteImage("grid.png", 64, 40, Pattern);
  OpenThroughDialog({path});
  ASSERT_DOUBLE_EQ(form_->ViewScale, 10.0);
  ImageView* view = form_->Image1;

  Drag(view, 100, 100, 260, 200);
  EXPECT_EQ(form_->ZoomBox, (zelk::ZoomBox{100, 100, 260, 200}));
  form_->Button1->click();
  ASSERT_TRUE(form_->Zoomed);
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
  EXPECT_EQ(form_->ZoomBox, (zelk::ZoomBox{180, 100, 340, 200}));
  EXPECT_EQ(picture.PixelRgb(0, 0), Pattern(18, 10));
  EXPECT_EQ(picture.PixelRgb(639, 399), Pattern(33, 19));

  // Zoom out: the fitted view with the outline of the panned box.
  form_->Button1->click();
  EXPECT_FALSE(form_->Zoomed);
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

TEST_F(FormTest, TheReadoutNamesTheColourUnderThePointerAndTheBox) {
  MakeForm(640, 400);
  const std::string path =
      WriteImage("red.bmp", 2000, 40, [](int x, int) { return x < 1500 ? 0xFF0000u : 0xFF8000u; });
  OpenThroughDialog({path});
  ASSERT_DOUBLE_EQ(form_->ViewScale, 0.32);
  SendMouse(form_->Image1, QEvent::MouseMove, 10, 5, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(StatusText(), "HTML Colour at [X: 31 Y: 15]=#FF0000 [Red]");
  SendMouse(form_->Image1, QEvent::MouseMove, 600, 5, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(StatusText(), "HTML Colour at [X: 1,875 Y: 15]=#FF8000 [~ColorWheelOrange]");

  // While a load is in progress (and 750 ms after) the pointer shows nothing.
  OpenThroughDialog({path});
  form_->Image1->mouse_move_attached = false;
  SendMouse(form_->Image1, QEvent::MouseMove, 10, 5, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(StatusText(), "HTML Colour at [X: 1,875 Y: 15]=#FF8000 [~ColorWheelOrange]");
  form_->Timer3Timer();

  Drag(form_->Image1, 32, 0, 64, 10);
  SendMouse(form_->Image1, QEvent::MouseMove, 10, 5, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(StatusText().substr(StatusText().find("   Zoom")),
            "   Zoom Box on Coords (L:100 T: 0 R: 200 B: 62)");
}

TEST_F(FormTest, AResizeWhileZoomedStaysOnTheSameSourceRegion) {
  MakeForm(640, 400);
  form_->CheckBox1->setChecked(false);
  OpenThroughDialog({WriteImage("grid.bmp", 64, 40, Pattern)});
  Drag(form_->Image1, 100, 100, 260, 200);
  form_->Button1->click();
  ResizeView(320, 200);
  EXPECT_TRUE(form_->Zoomed);
  EXPECT_DOUBLE_EQ(form_->ViewScale, 5.0);
  EXPECT_EQ(form_->ZoomBox, (zelk::ZoomBox{50, 50, 130, 100}));
  EXPECT_EQ(form_->Image1->Picture().PixelRgb(0, 0), Pattern(10, 10));
  EXPECT_EQ(form_->Image1->Picture().PixelRgb(319, 199), Pattern(25, 19));
}

}  // namespace
}  // namespace zelk
