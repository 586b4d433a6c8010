// MainWindow: comparing the image shown (A) with a second image (B). Both are drawn
// by the one viewport's mapping over the size both span, so a pixel of A and the pixel
// of B at the same image coordinates are always drawn at the same place.

#include <QTimer>

#include "app/inspector_panel.h"
#include "app/main_window.h"
#include "app/qt_desktop.h"
#include "codecs/image_formats.h"
#include "core/compare/compare_render.h"
#include "core/compare/compare_text.h"
#include "core/files/file_spec.h"
#include "core/view/blit.h"
#include "core/view/pixel_grid.h"
#include "platform/desktop.h"
#include "support/support.h"

namespace zelk {

namespace {
// Next difference shows its cluster at most this large: a single pixel at 32 x 32
// screen pixels is plain to see, and the neighbours stay in view.
constexpr int kLargestDifferenceZoom = 32;
}  // namespace

bool MainWindow::Comparing() const {
  return compare_.active() && !browser_.image().Empty() && !compare_.b().image().Empty();
}

void MainWindow::DoCompare() {
  if (compare_.active()) {
    EndComparison();
    return;
  }
  if (browser_.image().Empty()) return;
  FileDialogRequest request;
  request.title = "Compare with :-";
  request.filters = PictureFileFilters();
  request.initial_dir = PathPart(browser_.shown_path());
  std::vector<std::string> chosen = desktop_.ChooseFilesToOpen(request);
  if (!chosen.empty()) CompareWith(chosen.front());
}

void MainWindow::CompareWith(const std::string& b) {
  if (browser_.image().Empty() && !browser_.Loading()) return;
  inspector_.ImageChanging();
  compare_.Stop();
  compare_.b().Forget();
  compare_.Begin();
  compare_.SetDivider(viewport_.view_width() / 2);
  ApplyCompareResult(compare_.b().OpenCommandLine(ExpandFileSpec(b)));
  if (!compare_.b().Loading() && compare_.b().image().Empty()) {
    compare_.End();
    controls_.status_bar->showMessage(DisplayText("Nothing to compare with in " + b));
  }
}

void MainWindow::StartComparingFromCommandLine(const std::string& a, const std::string& b) {
  QTimer::singleShot(0, this, [this, a, b] {
    Dispatch(CommandId::kOpenFiles, [this, a] {
      ApplyBrowseResult(browser_.OpenCommandLine(ExpandFileSpec(a)));
      if (!browser_.Loading() && browser_.image().Empty()) ViewChanged();
    });
    // Waits for A as a command given during its load does.
    Dispatch(CommandId::kCompare, [this, b] { CompareWith(b); });
  });
}

void MainWindow::EndComparison() {
  compare_.End();
  inspector_.ImageChanging();
  if (controls_.inspector != nullptr) controls_.inspector->ShowComparison({});
  FitCanvas(true);
  ViewChanged();
}

void MainWindow::FinishCompareLoad(std::uint64_t ticket) {
  commands_.RunExclusive([this, ticket] { ApplyCompareResult(compare_.b().Finish(ticket)); },
                         [this](const CommandQueue::Command& command) { RunGuarded(command); });
}

void MainWindow::ApplyCompareResult(const BrowseResult& result) {
  if (result.load_started) controls_.progress_timer->start(150);
  if (result.load_ended) {
    controls_.progress_timer->stop();
    controls_.status_bar->clearMessage();
  }
  if (!result.report.empty()) ReportMessage(result.report);
  if (result.image_replaced) {
    compare_.Stop();
    FitCanvas(true);
    compare_.Count(browser_.image());
  }
  ViewChanged();
}

void MainWindow::FitCanvas(bool keep_zoom) {
  const Bitmap& a = browser_.image();
  int w = a.Width(), h = a.Height();
  if (Comparing()) {
    w = std::max(w, compare_.b().image().Width());
    h = std::max(h, compare_.b().image().Height());
  }
  if (keep_zoom) {
    viewport_.KeepOrShowImage(w, h, controls_.actual_size_box->isChecked(),
                              controls_.enforce_aspect_box->isChecked());
  } else {
    viewport_.ShowImage(w, h, controls_.actual_size_box->isChecked(),
                        controls_.enforce_aspect_box->isChecked());
  }
}

void MainWindow::CompareCounted() {
  ShowCaption();
  if (compare_.view() == CompareView::kDifference) Render();
  RefreshPointerReadout();
}

void MainWindow::DoCompareView(CompareView view) {
  if (!compare_.active()) return;
  compare_.SetView(view);
  if (compare_.divider() < 0 || compare_.divider() > viewport_.view_width())
    compare_.SetDivider(viewport_.view_width() / 2);
  Render();
  RefreshPointerReadout();
}

void MainWindow::DoFlip() {
  if (!compare_.active()) return;
  compare_.Flip();
  Render();
  RefreshPointerReadout();
}

void MainWindow::DoTolerance(int delta) {
  if (!compare_.active()) return;
  compare_.SetTolerance(compare_.tolerance() + delta);
  if (Comparing()) compare_.Count(browser_.image());
  ShowCaption();
  controls_.status_bar->showMessage(
      DisplayText("Tolerance " + std::to_string(compare_.tolerance()) +
                  ": a channel differing by more counts as different"));
}

void MainWindow::DoStepDifference(bool forward) {
  if (!Comparing() || !compare_.diff()) return;
  const std::vector<DiffCluster>& clusters = compare_.clusters();
  // From the cluster last shown; else from the top-left pixel the view shows.
  SourcePoint from = viewport_.PixelAt(0, 0);
  if (compare_.current_cluster && *compare_.current_cluster < clusters.size())
    from = clusters[*compare_.current_cluster].first;
  else if (forward)
    from = {from.X - 1, from.Y};
  const std::optional<std::size_t> next =
      forward ? NextDiffCluster(clusters, from, true) : PreviousDiffCluster(clusters, from, true);
  if (!next) {
    controls_.status_bar->showMessage(QStringLiteral("No pixel differs"));
    return;
  }
  compare_.current_cluster = next;
  const DiffCluster& cluster = clusters[*next];
  viewport_.CentreWhole(cluster.bounds, kLargestDifferenceZoom);
  ViewChanged();
  // The readout names the cluster's first pixel, wherever the pointer is.
  controls_.status_bar->showMessage(DisplayText(
      CompareReadoutText(browser_.image(), compare_.b().image(), cluster.first) + "   difference " +
      std::to_string(*next + 1) + " of " + std::to_string(clusters.size())));
  if (InspectorShown())
    controls_.inspector->ShowComparison(
        ComparePixelText(browser_.image(), compare_.b().image(), cluster.first) + "\n\n" +
        DiffStatsText(compare_.diff()->stats, compare_.tolerance()));
}

void MainWindow::RenderComparison(ViewImage& picture) {
  const Bitmap& a = browser_.image();
  const Bitmap& b = compare_.b().image();
  switch (compare_.view()) {
    case CompareView::kFlip:
      RenderMapped(compare_.showing_b() ? b : a, picture, viewport_.mapping());
      break;
    case CompareView::kSplit: {
      const int divider = std::clamp(compare_.divider(), 0, picture.Width());
      RenderSplit(a, b, picture, viewport_.mapping(), divider);
      // The divider: a one-pixel line of the colour that differs most from both sides.
      for (int y = 0; y < picture.Height() && divider < picture.Width(); ++y)
        picture.Row(y)[divider] = 0xFFFF00FFu;
      break;
    }
    case CompareView::kDifference:
      if (compare_.diff()) {
        RenderDifference(a, compare_.diff()->mask, picture, viewport_.mapping());
      } else {
        RenderMapped(a, picture, viewport_.mapping());  // until the count is done
      }
      break;
  }
}

std::string MainWindow::CompareCaptionText() const {
  const Bitmap& a = browser_.image();
  const Bitmap& b = compare_.b().image();
  const ImageBrowser& bb = compare_.b();
  const DiffStats* stats = compare_.diff() ? &compare_.diff()->stats : nullptr;
  return CompareCaption(browser_.shown_path(), a.Width(), a.Height(), bb.index(),
                        bb.files().Count(), bb.shown_path(), b.Width(), b.Height(),
                        viewport_.Magnification(), compare_.tolerance(), stats);
}

}  // namespace zelk
