// Comparing two images in the window: one mapping for both, three ways to look, the
// tolerance, the differences stepped through, B stepped through its folder.

#include <QCoreApplication>
#include <QElapsedTimer>

#include "core/compare/compare_render.h"
#include "main_window_fixture.h"

namespace zelk {
namespace {

class CompareTest : public MainWindowTest {
 protected:
  // A is the pattern; b1 differs from it at (10, 20) by 2 in green, b2 nowhere.
  void SetUpPair() {
    MakeWindow(400, 300);
    a_ = WriteImage("a.bmp", 40, 30, Pattern);
    std::filesystem::create_directories(dir_ / "b");
    b1_ = WriteImage("b/b1.bmp", 40, 30, [](int x, int y) {
      return Pattern(x, y) ^ (x == 10 && y == 20 ? 0x000200u : 0u);
    });
    b2_ = WriteImage("b/b2.bmp", 40, 30, Pattern);
    OpenThroughDialog({a_});
    desktop_.open_answers.push_back({b1_});
    window_->Compare();
    WaitForCount();
  }
  void WaitForCount() {
    QElapsedTimer waited;
    waited.start();
    while ((window_->comparison().b().Loading() || !window_->comparison().diff()) &&
           waited.elapsed() < 10000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents();
  }
  // The view pixel at the centre of image pixel (x, y).
  QPoint ViewPointOf(int x, int y) const {
    const Viewport& viewport = window_->viewport();
    for (int vy = 0; vy < viewport.view_height(); ++vy)
      for (int vx = 0; vx < viewport.view_width(); ++vx)
        if (viewport.PixelAt(vx, vy) == SourcePoint{x, y}) {
          int ex = vx, ey = vy;
          while (viewport.PixelAt(ex + 1, vy) == SourcePoint{x, y}) ++ex;
          while (viewport.PixelAt(vx, ey + 1) == SourcePoint{x, y}) ++ey;
          return QPoint((vx + ex) / 2, (vy + ey) / 2);
        }
    return QPoint(-1, -1);
  }
  std::uint32_t Drawn(const QPoint& at) const {
    return window_->controls().view->Picture().PixelRgb(at.x(), at.y());
  }
  std::string a_, b1_, b2_;
};

TEST_F(CompareTest, FlipSplitAndDifferenceDrawBothByOneMapping) {
  SetUpPair();
  ASSERT_TRUE(window_->comparison().active());
  EXPECT_NE(Caption().find("A " + a_ + "  W 40  H 30"), std::string::npos) << Caption();
  EXPECT_NE(Caption().find("B 1/2 " + b1_ + "  W 40  H 30"), std::string::npos) << Caption();
  EXPECT_NE(Caption().find("tolerance 0: 1 differ"), std::string::npos) << Caption();

  const QPoint at = ViewPointOf(10, 20);
  const std::uint32_t a_pixel = Pattern(10, 20), b_pixel = a_pixel ^ 0x000200u;
  EXPECT_EQ(Drawn(at), b_pixel);  // B first
  window_->Flip();
  EXPECT_EQ(Drawn(at), a_pixel);

  // Split: A left of the divider, B right of it, at the same places.
  window_->ShowSplit();
  const int divider = window_->comparison().divider();
  ASSERT_GT(at.x(), 0);
  for (int x = 0; x < window_->viewport().view_width(); x += 7) {
    if (x == divider) continue;
    const SourcePoint p = window_->viewport().PixelAt(x, at.y());
    if (p.X < 0 || p.X >= 40 || p.Y < 0 || p.Y >= 30) continue;
    const std::uint32_t a = Pattern(p.X, p.Y), b = p == SourcePoint{10, 20} ? a ^ 0x200u : a;
    EXPECT_EQ(Drawn(QPoint(x, at.y())), x < divider ? a : b) << x;
  }

  // Difference: the one differing pixel vivid, the rest A dimmed.
  window_->ShowDifference();
  EXPECT_EQ(Drawn(at), kDifferenceColour);
  const QPoint other = ViewPointOf(3, 4);
  EXPECT_EQ(Drawn(other), DimmedGrey(Pattern(3, 4)));
}

TEST_F(CompareTest, ToleranceNextDifferenceAndBsFolder) {
  SetUpPair();
  // A difference of 2 is not counted at tolerance 2, and is at 1.
  window_->ToleranceUp();
  window_->ToleranceUp();
  WaitForCount();
  EXPECT_NE(Caption().find("tolerance 2: equal"), std::string::npos) << Caption();
  window_->ToleranceDown();
  WaitForCount();
  EXPECT_NE(Caption().find("tolerance 1: 1 differ"), std::string::npos) << Caption();

  // N: the difference centred at a whole magnification, the readout on its pixel.
  window_->NextDifference();
  const Viewport& viewport = window_->viewport();
  EXPECT_EQ(viewport.mode(), ZoomMode::kWhole);
  EXPECT_EQ(viewport.PixelAt(viewport.view_width() / 2, viewport.view_height() / 2),
            (SourcePoint{10, 20}));
  EXPECT_EQ(StatusText().rfind("[X: 10 Y: 20] A #", 0), 0u) << StatusText();
  EXPECT_NE(StatusText().find("R 0 G 2 B 0"), std::string::npos) << StatusText();

  // Right steps B on through its folder; A and the zoom stay.
  const Viewport before = viewport;
  window_->ShowNext();
  WaitForCount();
  EXPECT_NE(Caption().find("B 2/2 " + b2_), std::string::npos) << Caption();
  EXPECT_NE(Caption().find("equal"), std::string::npos) << Caption();
  EXPECT_EQ(window_->viewport().mapping(), before.mapping());
  EXPECT_EQ(window_->browser().shown_path(), a_);

  // B again leaves: A as before, its own caption.
  window_->Compare();
  EXPECT_FALSE(window_->comparison().active());
  EXPECT_EQ(Caption().rfind("1/1 " + a_ + "  ", 0), 0u) << Caption();
  EXPECT_EQ(Drawn(ViewPointOf(10, 20)), Pattern(10, 20));
}

TEST_F(CompareTest, DifferentSizesAlignAtTheCornerAndWhatOneCoversDiffers) {
  MakeWindow(400, 300);
  const std::string a = WriteImage("a.bmp", 40, 30, Pattern);
  std::filesystem::create_directories(dir_ / "b");
  const std::string b = WriteImage("b/wide.bmp", 50, 20, Pattern);
  OpenThroughDialog({a});
  window_->CompareWith(b);
  WaitForCount();
  ASSERT_TRUE(window_->comparison().diff());
  // 10 x 20 only B covers, 40 x 10 only A covers.
  EXPECT_EQ(window_->comparison().diff()->stats.differing, 10u * 20 + 40u * 10);
  EXPECT_EQ(window_->viewport().image_width(), 50);
  EXPECT_EQ(window_->viewport().image_height(), 30);
  window_->AttachPointerReadout();
  const QPoint only_b = ViewPointOf(45, 5);
  SendMouse(window_->controls().view, QEvent::MouseMove, only_b.x(), only_b.y(), Qt::NoButton,
            Qt::NoButton);
  EXPECT_NE(StatusText().find("A none"), std::string::npos) << StatusText();
  window_->ShowDifference();
  EXPECT_EQ(Drawn(only_b), kDifferenceColour);
}

}  // namespace
}  // namespace zelk
