// TForm1: the fitted and zoomed views, the zoom box, panning and the colour readout.

#include <QCursor>

#include "app/qt_desktop.h"
#include "app/unit1.h"
#include "core/colour/colour_hex.h"
#include "core/colour/named_colours.h"
#include "core/view/blit.h"
#include "core/view/focus_rect.h"
#include "core/view/mouse_steps.h"
#include "core/view/readout.h"
#include "core/view/status_line.h"
#include "platform/desktop.h"
#include "support/support.h"

namespace zelk {

void TForm1::EnsurePictureMatchesView() {
  ViewImage& picture = Image1->Picture();
  if (picture.Width() != Image1->DeviceWidth() || picture.Height() != Image1->DeviceHeight())
    picture.Reset(Image1->DeviceWidth(), Image1->DeviceHeight());
}

void TForm1::ShowStatusLine(double magnification) {
  // Before anything is listed (or after the only entry was dropped) there is no
  // entry to describe; the caption keeps what it showed.
  if (!HasCurrentEntry()) return;
  const std::string& path = FileList[FileIndex];
  caption_text_ = BuildStatusLine(FileIndex, FileList.Count(), path, FileSizeOf(path), ImageWidth,
                                  ImageHeight, magnification);
  setWindowTitle(DisplayText(caption_text_));
}

void TForm1::RenderView() {
  const double old_scale = ViewScale;
  const zelk::ZoomBox old_box = ZoomBox;
  const int view_w = Image1->DeviceWidth(), view_h = Image1->DeviceHeight();
  ViewScale = FitViewScale(view_w, view_h, ImageWidth, ImageHeight, CheckBox2->isChecked());

  ViewImage& picture = Image1->Picture();
  picture.Reset(view_w, view_h);
  if (!SourceBitmap.Empty())
    StretchToView(SourceBitmap, picture, DisplayedExtent(ImageWidth, ViewScale),
                  DisplayedExtent(ImageHeight, ViewScale));

  Zoomed = false;
  Button1->setText(QStringLiteral("&Zoom In"));
  if (old_scale != kNoViewScale) ZoomBox = RescaleZoomBox(old_box, old_scale, ViewScale);
  if (ZoomBox.Left < ZoomBox.Right && ZoomBox.Top < ZoomBox.Bottom) DrawZoomBox();
  Image1->update();
  ShowStatusLine(ViewScale);
}

void TForm1::RenderZoomed() {
  EnsurePictureMatchesView();
  const PixelRect source = SourceRect(ZoomBox, ViewScale);
  CopySourceRectToView(SourceBitmap, source.Left, source.Top, source.Right, source.Bottom,
                       Image1->Picture());
  Image1->RepaintNow();
  ShowStatusLine(ZoomMagnification(Image1->DeviceWidth(), ViewScale, ZoomBox));
}

void TForm1::FormResize() {
  const bool was_zoomed = Zoomed;
  if (Loading) return;
  RenderView();
  if (was_zoomed) Button1Click();
}

void TForm1::CheckBox2Click() {
  RenderView();
}

void TForm1::Button1Click() {
  if (Loading) return;
  if (Button1->text() != QStringLiteral("&Zoom In")) {
    RenderView();
    return;
  }
  if (!ZoomBoxUsable(ZoomBox, ViewScale))
    ZoomBox = DefaultZoomBox(Image1->DeviceWidth(), Image1->DeviceHeight(), ImageWidth, ImageHeight,
                             ViewScale, CheckBox1->isChecked());
  RenderZoomed();
  Button1->setText(QStringLiteral("&Zoom Out"));
  Zoomed = true;
}

bool TForm1::PointOutsideImage(int x, int y) const {
  return zelk::PointOutsideImage(Loading, x, y, ViewScale, ImageWidth, ImageHeight);
}

void TForm1::DrawZoomBox() {
  if (ZoomBox.Empty()) return;
  EnsurePictureMatchesView();
  DrawFocusRect(Image1->Picture(), ZoomBox);
  Image1->update();
}

void TForm1::Image1MouseDown(Qt::MouseButton, int x, int y) {
  if (PointOutsideImage(x, y)) return;
  if (Zoomed) {
    PanAnchor = {x, y};
    return;
  }
  DrawZoomBox();
  ZoomBox = {x, y, x, y};
  DrawZoomBox();
}

void TForm1::Image1MouseMove(Qt::MouseButtons buttons, int x, int y) {
  ShowColourReadout(x, y);
  if (!(buttons & Qt::LeftButton)) {
    PanAnchor = {x, y};
    return;
  }
  if (Zoomed) {
    const PanStepResult step =
        PanStep(ZoomBox, PanAnchor, x, y, DisplayedExtent(ImageWidth, ViewScale),
                DisplayedExtent(ImageHeight, ViewScale));
    if (!step.Render) return;
    ZoomBox = step.Box;
    PanAnchor = step.Anchor;
    RenderZoomed();
    return;
  }
  if (PointOutsideImage(x, y)) return;
  DrawZoomBox();
  ZoomBox = TrackZoomBox(ZoomBox, x, y, CheckBox1->isChecked(), Image1->DeviceWidth(),
                         Image1->DeviceHeight());
  DrawZoomBox();
  PanAnchor = {x, y};
  Image1->RepaintNow();
}

void TForm1::ShowColourReadout(int x, int y) {
  // Before the first render there is no scale to map the pointer with.
  if (ViewScale <= 0) return;
  const SourcePoint point =
      ReadoutPoint(Zoomed, x, y, ViewScale, ZoomBox, Image1->DeviceWidth(), Image1->DeviceHeight());
  std::string colour_text;
  try {
    // The colour shown on the screen under the pointer (the enlarged pixel, the box
    // outline, a window over the view); where the screen cannot be read, the view's
    // own pixel.
    const QPoint global = QCursor::pos();
    std::optional<std::uint32_t> rgb = desktop_.ScreenPixel(global.x(), global.y());
    if (!rgb) rgb = Image1->Picture().PixelRgb(x, y);
    const std::string html = ColourRefHexToHtml(ColourRefHexText(ColourRefOfRgb(*rgb)));
    colour_text = ColourReadoutText(point, LookUpColourName(html));
  } catch (const std::exception&) {
    colour_text = ColourReadoutFailureText(point);
  }
  StatusBar1->showMessage(DisplayText(colour_text + ZoomBoxReadoutText(ZoomBox, ViewScale)));
  StatusBar1->repaint();
}

}  // namespace zelk
