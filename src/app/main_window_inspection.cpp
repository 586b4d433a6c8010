// MainWindow: exact inspection. The wheel and the + and - keys step through whole
// magnifications (every image pixel a k x k block of device pixels) about the
// pointer or the view's centre, 1 shows one device pixel per image pixel there, the
// middle button (or Space with the left) pans with the picture under the pointer, and
// G lays a grid between the pixels.

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <cmath>

#include "app/inspector_panel.h"
#include "app/main_window.h"
#include "app/qt_desktop.h"
#include "core/colour/colour_hex.h"
#include "core/colour/named_colours.h"
#include "core/inspect/pixel_probe.h"
#include "core/view/readout.h"
#include "core/view/whole_zoom.h"
#include "platform/desktop.h"
#include "support/support.h"

namespace zelk {

namespace {

constexpr const char* kKeysHelp =
    "Mouse\n"
    "  Wheel: zoom in or out in whole steps (1, 2, 3, 4, 6, 8 ... 128 screen pixels\n"
    "    per image pixel), keeping the pixel under the pointer in place\n"
    "  Drag with the left button: draw a zoom box; when zoomed, pan\n"
    "  Drag with the middle button, or with Space held: pan, the picture following\n"
    "    the pointer exactly\n"
    "\n"
    "Keys\n"
    "  + and -: zoom in or out around the view's centre\n"
    "  0: the whole image fitted to the window\n"
    "  1: one screen pixel per image pixel, around the pointer\n"
    "  G: a grid between image pixels (from 8 screen pixels per image pixel)\n"
    "  Escape: stop a load, or zoom out\n"
    "  Left, Right, Page Up, Page Down: previous and next image of the folder\n"
    "  Ctrl+O: load images    Ctrl+P: print\n"
    "  Ctrl+C: copy the image    Ctrl+V: paste an image\n"
    "  Ctrl+Shift+C: copy the colour under the pointer as #RRGGBB\n"
    "  F11: full screen    F1 or ?: this list";

}  // namespace

QPoint MainWindow::PointerInView() const {
  const ImageView* view = controls_.view;
  // On X11 the pointer's position is known at any moment; elsewhere, where it last
  // moved over the view (in device pixels); else the view's centre.
  if (QGuiApplication::platformName() == QLatin1String("xcb")) {
    if (const std::optional<QPoint> at = view->PointerPosition()) return *at;
  }
  if (last_pointer_.x() >= 0 && last_pointer_.x() < view->DeviceWidth() && last_pointer_.y() >= 0 &&
      last_pointer_.y() < view->DeviceHeight())
    return last_pointer_;
  return QPoint(view->DeviceWidth() / 2, view->DeviceHeight() / 2);
}

int MainWindow::CurrentWholeMagnification() const {
  if (!zoomed_) return 0;
  if (whole_zoom_) return static_cast<int>(mapping_.x.Magnification() + 0.5);
  // A box zoom sits between two steps: count from the step just above it.
  return static_cast<int>(std::ceil(mapping_.x.Magnification()));
}

void MainWindow::ShowWholeZoom(const ViewMapping& mapping) {
  mapping_ = mapping;
  whole_zoom_ = true;
  zoomed_ = true;
  controls_.zoom_button->setText(QStringLiteral("&Zoom Out"));
  // The box follows the part shown, so the SVG path, the left-drag pan and Zoom Out
  // work on this view as on one zoomed into a box.
  const ViewImage& picture = controls_.view->Picture();
  const PixelRect shown =
      ShownImageRect(mapping_, picture.Width(), picture.Height(), image_.Width(), image_.Height());
  const auto fitted = [this](int pixel) {
    return static_cast<int>(std::ceil(pixel * view_scale_));
  };
  if (shown.Right > shown.Left)
    zoom_box_ = {fitted(shown.Left), fitted(shown.Top), fitted(shown.Right), fitted(shown.Bottom)};
  RenderZoomed();
}

void MainWindow::ZoomInWholeStepsAt(int notches, int x, int y) {
  if (loading_ || image_.Empty() || notches == 0) return;
  EnsurePictureMatchesView();
  int k = CurrentWholeMagnification();
  for (int i = 0; i < std::abs(notches); ++i)
    k = notches > 0 ? WholeZoomUp(k, view_scale_) : WholeZoomDown(k, view_scale_);
  if (k == 0) {
    RenderView();
    return;
  }
  if (zoomed_ && whole_zoom_ && k == CurrentWholeMagnification()) return;
  ShowWholeZoom(ZoomAt(mapping_, x, y, k));
}

void MainWindow::WheelOverView(int notches, int x, int y) {
  if (DeferWhileBusy([=, this] { WheelOverView(notches, x, y); })) return;
  const CommandScope scope(*this);
  last_pointer_ = QPoint(x, y);
  ZoomInWholeStepsAt(notches, x, y);
}

void MainWindow::ZoomInStep() {
  const ViewImage& picture = controls_.view->Picture();
  ZoomInWholeStepsAt(+1, picture.Width() / 2, picture.Height() / 2);
}

void MainWindow::ZoomOutStep() {
  const ViewImage& picture = controls_.view->Picture();
  ZoomInWholeStepsAt(-1, picture.Width() / 2, picture.Height() / 2);
}

void MainWindow::ShowFitted() {
  if (loading_ || image_.Empty()) return;
  RenderView();
}

void MainWindow::ShowActualPixelsAtPointer() {
  if (loading_ || image_.Empty()) return;
  EnsurePictureMatchesView();
  const QPoint at = PointerInView();
  ShowWholeZoom(ZoomAt(mapping_, at.x(), at.y(), 1));
}

void MainWindow::ToggleGrid() {
  grid_shown_ = !grid_shown_;
  if (zoomed_) RenderZoomed();
}

void MainWindow::PanFollowingPointer(int x, int y) {
  const int dx = x - pan_anchor_.X, dy = y - pan_anchor_.Y;
  pan_anchor_ = {x, y};
  if (!zoomed_ || (dx == 0 && dy == 0)) return;
  if (!whole_zoom_) {
    // A box zoom becomes the whole magnification nearest to it, about the pointer, so
    // the picture can follow the pointer to the device pixel.
    const int k = std::max(1, static_cast<int>(std::lround(mapping_.x.Magnification())));
    mapping_ = ZoomAt(mapping_, x, y, k);
  }
  const ViewImage& picture = controls_.view->Picture();
  ShowWholeZoom(PanWholeZoom(mapping_, dx, dy, picture.Width(), picture.Height(), image_.Width(),
                             image_.Height()));
}

void MainWindow::CopyColourUnderPointer() {
  if (image_.Empty() || view_scale_ <= 0) return;
  const QPoint at = PointerInView();
  const SourcePoint point = ReadoutPoint(mapping_, at.x(), at.y());
  if (point.X < 0 || point.Y < 0 || point.X >= image_.Width() || point.Y >= image_.Height()) return;
  char text[8];
  std::snprintf(text, sizeof text, "#%06X", image_.PixelRgb(point.X, point.Y) & 0xFFFFFFu);
  desktop_.SetClipboardText(text);
}

void MainWindow::ToggleFullScreen() {
  setWindowState(windowState() ^ Qt::WindowFullScreen);
}

void MainWindow::ShowKeysAndGestures() {
  ReportMessage(kKeysHelp);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // Space held over the view turns the left button into the pointer-following pan;
  // it is not passed on, so it never presses the focused button.
  if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space && controls_.view->underMouse()) {
    if (!static_cast<QKeyEvent*>(event)->isAutoRepeat())
      space_held_ = event->type() == QEvent::KeyPress;
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace zelk

namespace zelk {

bool MainWindow::InspectorShown() const {
  return controls_.inspector != nullptr && controls_.inspector->isVisible();
}

void MainWindow::ToggleInspector() {
  if (controls_.inspector == nullptr) {
    controls_.inspector = new InspectorPanel(this);
    controls_.inspector->hide();
    controls_.view_row->addWidget(controls_.inspector);
  }
  InspectorPanel* inspector = controls_.inspector;
  inspector->setVisible(!inspector->isVisible());
  // The panel takes its room from the view, or gives it back: the picture follows
  // the view's new size now, as after a resize of the window.
  layout()->activate();
  RefitAfterResize();
  if (inspector->isVisible()) {
    region_stats_.reset();
    RequestRegionStats();
  } else {
    StopRegionStats();
  }
}

void MainWindow::InspectPixel(int x, int y) {
  if (!InspectorShown() || image_.Empty() || view_scale_ <= 0) return;
  const SourcePoint point = ReadoutPoint(mapping_, x, y);
  const Neighbourhood around = NeighbourhoodOf(image_, point.X, point.Y);
  const NeighbourPixel& pixel =
      around[kNeighbourhoodRadius * kNeighbourhoodSide + kNeighbourhoodRadius];
  std::string name;
  if (pixel.inside) {
    name = LookUpColourName(ColourRefHexToHtml(ColourRefHexText(ColourRefOfRgb(pixel.rgb))));
  }
  controls_.inspector->ShowPixel(point.X, point.Y, around, name);
}

std::optional<PixelRect> MainWindow::ZoomBoxInImage() const {
  if (zoom_box_.Empty() || view_scale_ <= 0) return std::nullopt;
  if (zoomed_ && whole_zoom_) {
    // The box in fitted-view pixels can only approximate the part a whole-step zoom
    // shows (below 1:1 not every image column has a view column); name the part.
    const ViewImage& picture = controls_.view->Picture();
    const PixelRect shown = ShownImageRect(mapping_, picture.Width(), picture.Height(),
                                           image_.Width(), image_.Height());
    if (shown.Right > shown.Left) return shown;
  }
  return SourceRect(zoom_box_, view_scale_);
}

PixelRect MainWindow::InspectedRegion() const {
  if (zoomed_) {
    const ViewImage& picture = controls_.view->Picture();
    return ShownImageRect(mapping_, picture.Width(), picture.Height(), image_.Width(),
                          image_.Height());
  }
  if (!zoom_box_.Empty() && view_scale_ > 0) {
    const PixelRect box = SourceRect(zoom_box_, view_scale_);
    return {std::min(box.Left, box.Right), std::min(box.Top, box.Bottom),
            std::max(box.Left, box.Right), std::max(box.Top, box.Bottom)};
  }
  return {0, 0, image_.Width(), image_.Height()};
}

void MainWindow::RequestRegionStats() {
  if (InspectorShown()) stats_timer_->start();
}

void MainWindow::StartRegionStats() {
  if (!InspectorShown() || image_.Empty()) return;
  const PixelRect region = InspectedRegion();
  if (region_stats_ && region == stats_region_) return;
  StopRegionStats();
  stats_region_ = region;
  region_stats_.reset();
  controls_.inspector->ShowRegion(region, std::nullopt);
  if (!stats_scratch_) stats_scratch_ = std::make_unique<RegionStatsScratch>();
  const std::uint64_t ticket = ++stats_ticket_;
  stats_cancel_ = false;
  // The image does not change while the thread reads it: every change stops the
  // thread first (StopRegionStats).
  stats_thread_ = std::thread([this, region, ticket] {
    stats_result_ = ComputeRegionStats(image_, region, &stats_cancel_, stats_scratch_.get());
    QMetaObject::invokeMethod(
        this, [this, ticket] { RunGuarded([this, ticket] { FinishRegionStats(ticket); }); },
        Qt::QueuedConnection);
  });
}

void MainWindow::FinishRegionStats(std::uint64_t ticket) {
  if (ticket != stats_ticket_ || !stats_thread_.joinable()) return;
  stats_thread_.join();
  region_stats_ = std::move(stats_result_);
  if (region_stats_ && InspectorShown())
    controls_.inspector->ShowRegion(stats_region_, region_stats_);
}

void MainWindow::StopRegionStats() {
  if (!stats_thread_.joinable()) return;
  stats_cancel_ = true;
  stats_thread_.join();
  ++stats_ticket_;  // its posted result, if any, is dropped
  region_stats_.reset();
}

}  // namespace zelk
