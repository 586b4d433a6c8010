// MainWindow: the view. The viewport decides what is shown; the window draws it,
// writes the caption and keeps the readout and the inspector on the pixel under the
// pointer.

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>

#include "app/inspector_panel.h"
#include "app/main_window.h"
#include "app/qt_desktop.h"
#include "core/colour/colour_hex.h"
#include "core/colour/named_colours.h"
#include "core/compare/compare_text.h"
#include "core/inspect/pixel_probe.h"
#include "core/view/blit.h"
#include "core/view/focus_rect.h"
#include "core/view/pixel_grid.h"
#include "core/view/readout.h"
#include "core/view/status_line.h"
#include "platform/desktop.h"
#include "support/support.h"

namespace zelk {

void MainWindow::Render() {
  ImageView* view = controls_.view;
  ViewImage& picture = view->Picture();
  if (picture.Width() != viewport_.view_width() || picture.Height() != viewport_.view_height())
    picture.Reset(viewport_.view_width(), viewport_.view_height());
  const Bitmap& image = browser_.image();
  // The render and the pointer readout share the viewport's mapping, so the
  // coordinates named under the pointer are always those of the pixel drawn there.
  if (image.Empty()) {
    picture.Reset(picture.Width(), picture.Height());
  } else if (Comparing()) {
    RenderComparison(picture);
  } else {
    RenderMapped(image, picture, viewport_.mapping());
  }
  if (viewport_.zoomed()) {
    if (viewport_.grid_shown())
      DrawPixelGrid(picture, viewport_.mapping(), viewport_.image_width(),
                    viewport_.image_height());
  } else if (!viewport_.box().Empty()) {
    DrawFocusRect(picture, viewport_.box());
  }
  view->SetHint(image.Empty() ? QStringLiteral("Load Image, or drop image files here") : QString());
  view->RepaintNow();
}

void MainWindow::ViewChanged() {
  Render();
  controls_.zoom_button->setText(viewport_.zoomed() ? QStringLiteral("&Zoom Out")
                                                    : QStringLiteral("&Zoom In"));
  ShowCaption();
  RequestRegionStats();
  RefreshPointerReadout();
}

std::string MainWindow::StatusLineText() const {
  if (!browser_.HasCurrentEntry() || viewport_.scale() == kNoViewScale) return {};
  const std::string& path = browser_.files()[browser_.index()];
  const std::int64_t size = path == browser_.shown_path() && browser_.shown_size() >= 0
                                ? browser_.shown_size()
                                : FileSizeOf(path);
  return BuildStatusLine(browser_.index(), browser_.files().Count(), path, size,
                         browser_.image().Width(), browser_.image().Height(),
                         viewport_.Magnification());
}

void MainWindow::ShowCaption() {
  // Before anything is listed (or after the only entry was dropped) there is no entry
  // to describe; the caption keeps what it showed.
  const std::string caption = Comparing() ? CompareCaptionText() : StatusLineText();
  if (!caption.empty()) setWindowTitle(LiteralWindowTitle(DisplayText(caption)));
}

void MainWindow::RefitAfterResize() {
  // Also while a load runs: the image shown stays until the new one is complete, and
  // must fill the view as it now is.
  viewport_.Resize(controls_.view->DeviceWidth(), controls_.view->DeviceHeight(),
                   controls_.enforce_aspect_box->isChecked());
  ViewChanged();
}

void MainWindow::ApplyActualSizeSetting() {
  viewport_.SetActualSize(controls_.actual_size_box->isChecked());
  ViewChanged();
}

void MainWindow::DoEscape() {
  if (compare_.b().Loading()) {
    ApplyCompareResult(compare_.b().Cancel());
  } else if (browser_.Loading()) {
    ApplyBrowseResult(browser_.Cancel());
  } else if (viewport_.zoomed()) {
    DoToggleZoom();
  }
}

void MainWindow::DoToggleZoom() {
  if (browser_.image().Empty()) return;
  if (viewport_.zoomed()) {
    viewport_.Fit();
  } else {
    viewport_.ZoomIntoBox(controls_.enforce_aspect_box->isChecked());
  }
  ViewChanged();
}

void MainWindow::DoWheel(int notches, int x, int y) {
  viewport_.StepWholeAt(notches, x, y);
  ViewChanged();
}

void MainWindow::DoZoomStep(int notches) {
  viewport_.StepWholeAt(notches, viewport_.view_width() / 2, viewport_.view_height() / 2);
  ViewChanged();
}

void MainWindow::DoFit() {
  viewport_.Fit();
  ViewChanged();
}

void MainWindow::DoActualPixels() {
  const QPoint at = controls_.view->PointerInView();
  viewport_.ShowActualPixelsAt(at.x(), at.y());
  ViewChanged();
}

void MainWindow::DoToggleGrid() {
  viewport_.ToggleGrid();
  if (viewport_.zoomed()) Render();
}

void MainWindow::PressOnView(Qt::MouseButton, int x, int y) {
  // While an image loads the box and the pan wait for it, as the readout does.
  if (browser_.Loading()) return;
  if (viewport_.Press(x, y)) Render();
}

void MainWindow::MoveOverView(Qt::MouseButtons buttons, int x, int y) {
  bool changed = false;
  // While an image loads the box and the pan wait for it; the readout does not.
  if (!browser_.Loading()) {
    if (Comparing() && compare_.view() == CompareView::kSplit && (buttons & Qt::LeftButton) &&
        !controls_.view->SpaceHeld()) {
      // In the split view the left button moves the divider.
      compare_.SetDivider(x);
      changed = true;
    } else if ((buttons & Qt::MiddleButton) ||
               (controls_.view->SpaceHeld() && (buttons & Qt::LeftButton))) {
      changed = viewport_.PanFollowing(x, y);
    } else if (buttons & Qt::LeftButton) {
      changed = viewport_.DragLeft(x, y, controls_.enforce_aspect_box->isChecked());
    } else {
      viewport_.Hover(x, y);
    }
  }
  if (changed) {
    Render();
    if (viewport_.zoomed()) ShowCaption();
    RequestRegionStats();
  }
  // Unchanged, the screen shows what is under the pointer; just redrawn, the view's
  // own picture does.
  ShowColourReadout(x, y, !changed);
  InspectPixel(x, y);
}

void MainWindow::RefreshPointerReadout() {
  if (!controls_.view->mouse_move_attached) return;
  const std::optional<QPoint> at = controls_.view->KnownPointer();
  if (!at) return;
  ShowColourReadout(at->x(), at->y(), false);
  InspectPixel(at->x(), at->y());
}

void MainWindow::ShowColourReadout(int x, int y, bool from_screen) {
  // Before the first render there is no scale to map the pointer with.
  if (viewport_.scale() <= 0) return;
  const Bitmap& image = browser_.image();
  const SourcePoint point = viewport_.PixelAt(x, y);
  if (Comparing()) {
    // Both images' pixels at the point, whatever the view draws there.
    controls_.status_bar->showMessage(
        DisplayText(CompareReadoutText(image, compare_.b().image(), point)));
    controls_.status_bar->repaint();
    return;
  }
  std::string colour_text;
  try {
    std::optional<std::uint32_t> rgb;
    if (viewport_.grid_shown() && viewport_.zoomed()) {
      // Over the pixel grid, the image's own pixel: never the grid's colour.
      const bool inside =
          point.X >= 0 && point.Y >= 0 && point.X < image.Width() && point.Y < image.Height();
      rgb = inside ? image.PixelRgb(point.X, point.Y) : 0xFFFFFFu;
    } else if (from_screen && controls_.view->devicePixelRatioF() == 1.0) {
      // The colour shown on the screen under the pointer (the enlarged pixel, the box
      // outline, a window over the view); with a scale factor a screen pixel is read
      // at logical coordinates, which can be a neighbour's.
      const QPoint global = QCursor::pos();
      rgb = desktop_.ScreenPixel(global.x(), global.y());
    }
    // Where the screen cannot be read, or was not repainted yet, the view's own pixel.
    if (!rgb) rgb = controls_.view->Picture().PixelRgb(x, y);
    const std::string html = ColourRefHexToHtml(ColourRefHexText(ColourRefOfRgb(*rgb)));
    colour_text = ColourReadoutText(point, LookUpColourName(html));
  } catch (const std::exception&) {
    colour_text = ColourReadoutFailureText(point);
  }
  const std::optional<PixelRect> box = viewport_.BoxInImage();
  controls_.status_bar->showMessage(
      DisplayText(colour_text + (box ? ZoomBoxReadoutText(*box) : std::string())));
  controls_.status_bar->repaint();
}

void MainWindow::DoCopyColour() {
  const Bitmap& image = browser_.image();
  if (image.Empty() || viewport_.scale() <= 0) return;
  const QPoint at = controls_.view->PointerInView();
  const SourcePoint point = viewport_.PixelAt(at.x(), at.y());
  // The viewport spans both images while comparing: A's own size bounds A's pixels.
  if (point.X < 0 || point.Y < 0 || point.X >= image.Width() || point.Y >= image.Height()) return;
  char text[8];
  std::snprintf(text, sizeof text, "#%06X", image.PixelRgb(point.X, point.Y) & 0xFFFFFFu);
  desktop_.SetClipboardText(text);
}

bool MainWindow::InspectorShown() const {
  return controls_.inspector != nullptr && controls_.inspector->isVisible();
}

void MainWindow::DoToggleInspector() {
  if (controls_.inspector == nullptr) {
    controls_.inspector = new InspectorPanel(this);
    controls_.inspector->hide();
    controls_.view_row->addWidget(controls_.inspector);
  }
  InspectorPanel* inspector = controls_.inspector;
  inspector->setVisible(!inspector->isVisible());
  if (!inspector->isVisible()) inspector_.Stop();
  // The panel takes its room from the view, or gives it back: the picture follows
  // the view's new size now, as after a resize of the window.
  layout()->activate();
  RefitAfterResize();
}

void MainWindow::InspectPixel(int x, int y) {
  const Bitmap& image = browser_.image();
  if (!InspectorShown() || image.Empty() || viewport_.scale() <= 0) return;
  const SourcePoint point = viewport_.PixelAt(x, y);
  const Neighbourhood around = NeighbourhoodOf(image, point.X, point.Y);
  const NeighbourPixel& pixel =
      around[kNeighbourhoodRadius * kNeighbourhoodSide + kNeighbourhoodRadius];
  std::string name;
  if (pixel.inside)
    name = LookUpColourName(ColourRefHexToHtml(ColourRefHexText(ColourRefOfRgb(pixel.rgb))));
  controls_.inspector->ShowPixel(point.X, point.Y, around, name);
  if (Comparing()) {
    std::string text = ComparePixelText(image, compare_.b().image(), point);
    if (compare_.diff())
      text += "\n\n" + DiffStatsText(compare_.diff()->stats, compare_.tolerance());
    controls_.inspector->ShowComparison(text);
  }
}

void MainWindow::RequestRegionStats() {
  if (!InspectorShown() || browser_.image().Empty()) return;
  inspector_.Request(browser_.image(), viewport_.InspectedRegion(), *controls_.inspector);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // Space held turns the left button over the view into the pointer-following pan.
  // Only this window's keys count, and the key goes on to whatever has the focus.
  if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == this &&
      !static_cast<QKeyEvent*>(event)->isAutoRepeat())
    controls_.view->SetSpaceHeld(event->type() == QEvent::KeyPress);
  return QWidget::eventFilter(watched, event);
}

}  // namespace zelk
