// MainWindow: the fitted and zoomed views, the zoom box, panning and the colour readout.

#include <QCursor>

#include "app/main_window.h"
#include "app/qt_desktop.h"
#include "core/colour/colour_hex.h"
#include "core/colour/named_colours.h"
#include "core/view/blit.h"
#include "core/view/focus_rect.h"
#include "core/view/mouse_steps.h"
#include "core/view/pixel_grid.h"
#include "core/view/readout.h"
#include "core/view/status_line.h"
#include "core/view/view_mapping.h"
#include "platform/desktop.h"
#include "support/support.h"

namespace zelk {

void MainWindow::EnsurePictureMatchesView() {
  ViewImage& picture = controls_.view->Picture();
  if (picture.Width() != controls_.view->DeviceWidth() ||
      picture.Height() != controls_.view->DeviceHeight())
    picture.Reset(controls_.view->DeviceWidth(), controls_.view->DeviceHeight());
}

void MainWindow::ShowStatusLine(double magnification) {
  // Before anything is listed (or after the only entry was dropped) there is no
  // entry to describe; the caption keeps what it showed.
  if (!HasCurrentEntry()) return;
  // A copy: the file-size query pauses, and nothing may point into the list then.
  const std::string path = files_[file_index_];
  caption_text_ = BuildStatusLine(file_index_, files_.Count(), path, FileSizeOf(path),
                                  image_.Width(), image_.Height(), magnification);
  setWindowTitle(LiteralWindowTitle(DisplayText(caption_text_)));
}

void MainWindow::RefreshStatusLine() {
  if (view_scale_ == kNoViewScale) return;
  ShowStatusLine(zoomed_ ? mapping_.x.Magnification() : view_scale_);
}

void MainWindow::RenderView() {
  const double old_scale = view_scale_;
  const ZoomBox old_box = zoom_box_;
  const int view_w = controls_.view->DeviceWidth(), view_h = controls_.view->DeviceHeight();
  view_scale_ = FitViewScale(view_w, view_h, image_.Width(), image_.Height(),
                             controls_.actual_size_box->isChecked());

  ViewImage& picture = controls_.view->Picture();
  picture.Reset(view_w, view_h);
  // The render and the pointer readout share this mapping, so the coordinates named
  // under the pointer are always those of the pixel drawn there.
  mapping_ = FittedViewMapping(view_scale_);
  if (!image_.Empty()) RenderMapped(image_, picture, mapping_);
  controls_.view->SetHint(image_.Empty() ? QStringLiteral("Load Image, or drop image files here")
                                         : QString());

  zoomed_ = false;
  whole_zoom_ = false;
  controls_.zoom_button->setText(QStringLiteral("&Zoom In"));
  if (old_scale != kNoViewScale) zoom_box_ = RescaleZoomBox(old_box, old_scale, view_scale_);
  if (zoom_box_.Left < zoom_box_.Right && zoom_box_.Top < zoom_box_.Bottom) DrawZoomBox();
  controls_.view->update();
  ShowStatusLine(view_scale_);
  RequestRegionStats();
}

void MainWindow::RenderZoomed() {
  EnsurePictureMatchesView();
  ViewImage& picture = controls_.view->Picture();
  // A whole-magnification view keeps its own mapping; the box's otherwise.
  if (!whole_zoom_)
    mapping_ = ZoomBoxViewMapping(zoom_box_, view_scale_, picture.Width(), picture.Height());
  RenderMapped(image_, picture, mapping_);
  if (grid_shown_) DrawPixelGrid(picture, mapping_, image_.Width(), image_.Height());
  controls_.view->RepaintNow();
  ShowStatusLine(mapping_.x.Magnification());
  RequestRegionStats();
}

void MainWindow::RefitAfterResize() {
  if (DeferWhileBusy([this] { RefitAfterResize(); })) return;
  const CommandScope scope(*this);
  const bool was_zoomed = zoomed_;
  if (loading_) return;
  if (whole_zoom_) {
    // Whole magnifications stay as they are; the view shows more or less of them.
    const ViewMapping kept = mapping_;
    RenderView();
    ShowWholeZoom(kept);
    return;
  }
  RenderView();
  if (was_zoomed) ToggleZoomNow();
}

void MainWindow::ApplyActualSizeSetting() {
  if (DeferWhileBusy([this] { ApplyActualSizeSetting(); })) return;
  const CommandScope scope(*this);
  RenderView();
}

void MainWindow::ToggleZoom() {
  if (DeferWhileBusy([this] { ToggleZoom(); })) return;
  const CommandScope scope(*this);
  ToggleZoomNow();
}

void MainWindow::ToggleZoomNow() {
  if (loading_) return;
  if (zoomed_) {
    RenderView();
    return;
  }
  if (!ZoomBoxUsable(zoom_box_, view_scale_))
    zoom_box_ = DefaultZoomBox(controls_.view->DeviceWidth(), controls_.view->DeviceHeight(),
                               image_.Width(), image_.Height(), view_scale_,
                               controls_.enforce_aspect_box->isChecked());
  RenderZoomed();
  controls_.zoom_button->setText(QStringLiteral("&Zoom Out"));
  zoomed_ = true;
}

bool MainWindow::PointOutsideImage(int x, int y) const {
  return zelk::PointOutsideImage(loading_, x, y, view_scale_, image_.Width(), image_.Height());
}

void MainWindow::DrawZoomBox() {
  if (zoom_box_.Empty()) return;
  EnsurePictureMatchesView();
  DrawFocusRect(controls_.view->Picture(), zoom_box_);
  controls_.view->update();
}

void MainWindow::PressOnView(Qt::MouseButton, int x, int y) {
  if (PointOutsideImage(x, y)) return;
  if (zoomed_) {
    pan_anchor_ = {x, y};
    return;
  }
  DrawZoomBox();
  zoom_box_ = {x, y, x, y};
  DrawZoomBox();
}

void MainWindow::MoveOverView(Qt::MouseButtons buttons, int x, int y) {
  last_pointer_ = QPoint(x, y);
  ShowColourReadout(x, y);
  InspectPixel(x, y);
  if ((buttons & Qt::MiddleButton) || (space_held_ && (buttons & Qt::LeftButton))) {
    PanFollowingPointer(x, y);
    return;
  }
  if (!(buttons & Qt::LeftButton)) {
    pan_anchor_ = {x, y};
    return;
  }
  if (zoomed_) {
    const PanStepResult step =
        PanStep(zoom_box_, pan_anchor_, x, y, DisplayedExtent(image_.Width(), view_scale_),
                DisplayedExtent(image_.Height(), view_scale_));
    if (!step.Render) return;
    zoom_box_ = step.Box;
    pan_anchor_ = step.Anchor;
    RenderZoomed();
    return;
  }
  if (PointOutsideImage(x, y)) return;
  DrawZoomBox();
  zoom_box_ = TrackZoomBox(zoom_box_, x, y, controls_.enforce_aspect_box->isChecked(),
                           controls_.view->DeviceWidth(), controls_.view->DeviceHeight());
  DrawZoomBox();
  pan_anchor_ = {x, y};
  controls_.view->RepaintNow();
  RequestRegionStats();
}

void MainWindow::ShowColourReadout(int x, int y) {
  // Before the first render there is no scale to map the pointer with.
  if (view_scale_ <= 0) return;
  const SourcePoint point = ReadoutPoint(mapping_, x, y);
  std::string colour_text;
  try {
    // The colour shown on the screen under the pointer (the enlarged pixel, the box
    // outline, a window over the view); where the screen cannot be read, the view's
    // own pixel.
    // Over the pixel grid, the image's own pixel: never the grid's colour.
    const QPoint global = QCursor::pos();
    std::optional<std::uint32_t> rgb;
    if (grid_shown_ && zoomed_) {
      const bool inside =
          point.X >= 0 && point.Y >= 0 && point.X < image_.Width() && point.Y < image_.Height();
      rgb = inside ? image_.PixelRgb(point.X, point.Y) : 0xFFFFFFu;
    } else if (controls_.view->devicePixelRatioF() == 1.0) {
      rgb = desktop_.ScreenPixel(global.x(), global.y());
    }
    // With a scale factor a screen pixel is read at logical coordinates, which can be a
    // neighbour's; the view's own device pixel is exact.
    if (!rgb) rgb = controls_.view->Picture().PixelRgb(x, y);
    const std::string html = ColourRefHexToHtml(ColourRefHexText(ColourRefOfRgb(*rgb)));
    colour_text = ColourReadoutText(point, LookUpColourName(html));
  } catch (const std::exception&) {
    colour_text = ColourReadoutFailureText(point);
  }
  const std::optional<PixelRect> box = ZoomBoxInImage();
  controls_.status_bar->showMessage(
      DisplayText(colour_text + (box ? ZoomBoxReadoutText(*box) : std::string())));
  controls_.status_bar->repaint();
}

}  // namespace zelk
