#pragma once
// The main window: its controls and their wiring. The state behind them has owners of
// its own, and the window only connects them: the browser (the list, the image shown
// and the load under way), the viewport (what the view shows of the image), the
// inspector's counting, and the command table with its one dispatch point. Tests drive
// the window through the same commands a user triggers and read the state through the
// accessors below.

#include <QCheckBox>
#include <QFrame>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/command_table.h"
#include "app/compare_session.h"
#include "app/image_browser.h"
#include "app/image_view.h"
#include "app/inspector_controller.h"
#include "core/files/file_list.h"
#include "core/inspect/region_stats.h"
#include "core/view/viewport.h"
#include "platform/bitmap.h"

class QHBoxLayout;

namespace zelk {

class DecodeJob;
class Desktop;
class InspectorPanel;

// The top bar: children placed at fixed positions, some anchored to its right edge.
class TopPanel final : public QFrame {
 public:
  explicit TopPanel(QWidget* parent);
  void AnchorRight(QWidget* child, int right_margin);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::vector<std::pair<QWidget*, int>> right_anchored_;
};

// One command at a time: a command that arrives while another pauses (retries,
// message boxes and dialogs process events) runs once that one has ended. Commands
// that must not act on an image being replaced wait here for the load to end.
class CommandQueue {
 public:
  using Command = std::function<void()>;
  // Runs command now, or after the running one when one is running.
  void RunExclusive(const Command& command, const std::function<void(const Command&)>& run);
  // Keeps command until the load ends; a later one of the same id replaces it.
  void WaitForLoad(CommandId id, Command command);
  // The waiting commands, in the order they came; the queue is then empty.
  std::vector<std::pair<CommandId, Command>> TakeWaiting();
  bool Busy() const { return depth_ > 0; }

 private:
  int depth_ = 0;
  std::vector<Command> deferred_;
  std::vector<std::pair<CommandId, Command>> waiting_for_load_;
};

class MainWindow final : public QWidget {
  Q_OBJECT
 public:
  explicit MainWindow(Desktop& desktop, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The window's controls, in tab order, then the view and the status bar.
  struct Controls {
    TopPanel* top_panel = nullptr;
    QPushButton* load_button = nullptr;
    QPushButton* zoom_button = nullptr;
    QPushButton* previous_button = nullptr;
    QPushButton* next_button = nullptr;
    QCheckBox* enforce_aspect_box = nullptr;
    QPushButton* quit_button = nullptr;
    QPushButton* print_button = nullptr;
    QPushButton* convert_button = nullptr;
    QCheckBox* actual_size_box = nullptr;
    ImageView* view = nullptr;
    // Beside the view; built the first time I is pressed (most sessions never do).
    InspectorPanel* inspector = nullptr;
    QHBoxLayout* view_row = nullptr;  // the view, then the inspector
    QStatusBar* status_bar = nullptr;
    // 750 ms after a load or paste the pointer readout starts again.
    QTimer* readout_delay_timer = nullptr;
    // A load shows its progress after a moment.
    QTimer* progress_timer = nullptr;
  };

  // ---- Commands (buttons, right-clicks, keys, drops), each through the table ------
  void OpenFiles();
  void OpenSelection(const std::vector<std::string>& paths);
  // A decode of the command line's file that main started before the window existed.
  void AdoptEarlyDecode(std::unique_ptr<DecodeJob> job);
  // Opens the file or folder named on the command line as soon as events are
  // processed (the window is shown first).
  void StartOpeningCommandLineArgument();
  void OpenCommandLineArgument();
  void ShowPrevious();
  void ShowNext();
  void ToggleZoom();
  // Escape: stops a load in progress (the image shown stays), otherwise zooms out.
  void Escape();
  void Print();
  void Quit();
  void ConvertCurrentFile();
  // The right-click commands; each returns true when it marked the click handled.
  bool SaveVisibleView();
  bool CopyImageToClipboard();
  bool PasteImage();
  bool ReplaceColourRanges();
  bool CopyZoomBoxAsSvgPath();
  void ZoomInStep();
  void ZoomOutStep();
  void ShowFitted();
  void ShowActualPixelsAtPointer();
  void ToggleGrid();
  void ToggleInspector();
  void CopyColourUnderPointer();
  void ToggleFullScreen();
  void ShowKeysAndGestures();
  // Comparing: B (choose B, or leave), F, S, D, [ and ], N and Shift+N.
  void Compare();
  void Flip();
  void ShowSplit();
  void ShowDifference();
  void ToleranceDown();
  void ToleranceUp();
  void NextDifference();
  void PreviousDifference();
  // The tick 750 ms after a load or paste: the pointer readout starts again.
  void AttachPointerReadout();
  // Compares the image shown with the file b (and b's folder, stepped by Left and
  // Right); as B, Shift + a drop, and `--compare A B` do.
  void CompareWith(const std::string& b);
  // `--compare A B`: A opened as the command line opens a file, then compared with B.
  void StartComparingFromCommandLine(const std::string& a, const std::string& b);

  // Runs a command; an exception that reaches here is shown with the standard
  // exception display and the program runs on.
  void RunGuarded(const std::function<void()>& command);

  // ---- Read-only views of the state -------------------------------------------
  const Controls& controls() const { return controls_; }
  const Bitmap& image() const { return browser_.image(); }
  const FileList& files() const { return browser_.files(); }
  int current_index() const { return browser_.index(); }
  const ImageBrowser& browser() const { return browser_; }
  const Viewport& viewport() const { return viewport_; }
  const ZoomBox& zoom_box() const { return viewport_.box(); }
  double view_scale() const { return viewport_.scale(); }
  bool zoomed() const { return viewport_.zoomed(); }
  // True while a load is under way or before any image was shown.
  bool loading() const { return browser_.Loading() || browser_.image().Empty(); }
  bool load_in_progress() const { return browser_.Loading(); }
  const std::optional<RegionStats>& inspector_stats() const { return inspector_.stats(); }
  const CompareSession& comparison() const { return compare_; }
  // The caption as bytes (the print title comes from it).
  std::string StatusLineText() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildControls();
  void ConnectCommands();
  QAbstractButton* ButtonOf(Control control) const;

  // The one dispatch point: the table's rule for loads, one command at a time.
  void Dispatch(CommandId id);
  void Dispatch(CommandId id, std::function<void()> run);
  void Run(CommandId id);
  void RunCommandsWaitingForLoad(bool new_image_shown);

  // Loading.
  void ApplyBrowseResult(const BrowseResult& result);
  void FinishLoad(std::uint64_t ticket);
  void ShowLoadProgress();
  void ShowNewImage();
  void UpdateControls();
  void DoOpenFiles();
  void DoPaste();

  // The view.
  void Render();
  // The picture, caption, zoom button, inspector and readout after the viewport changed.
  void ViewChanged();
  void RefitAfterResize();
  void ApplyActualSizeSetting();
  void DoEscape();
  void DoToggleZoom();
  void DoWheel(int notches, int x, int y);
  void DoZoomStep(int notches);
  void DoFit();
  void DoActualPixels();
  void DoToggleGrid();
  void DoToggleInspector();
  void DoCopyColour();
  void PressOnView(Qt::MouseButton button, int x, int y);
  void MoveOverView(Qt::MouseButtons buttons, int x, int y);
  void ShowCaption();
  // The readout and the inspector's pixel for where the pointer is now.
  void RefreshPointerReadout();
  void ShowColourReadout(int x, int y, bool from_screen);
  void InspectPixel(int x, int y);
  void RequestRegionStats();
  bool InspectorShown() const;

  // Comparing (main_window_compare.cpp).
  bool Comparing() const;
  void DoCompare();
  void EndComparison();
  void FinishCompareLoad(std::uint64_t ticket);
  void ApplyCompareResult(const BrowseResult& result);
  void CompareCounted();
  void DoCompareView(CompareView view);
  void DoFlip();
  void DoTolerance(int delta);
  void DoStepDifference(bool forward);
  void RenderComparison(ViewImage& picture);
  std::string CompareCaptionText() const;
  // The size both images span: the viewport's image while comparing.
  void FitCanvas(bool keep_zoom);

  // The commands that write, print, copy, paste or change the image.
  void DoConvert();
  void DoSaveVisible();
  void DoPrint();
  void DoCopyImage();
  void DoReplaceColours();
  void DoCopySvgPath();
  // Runs work on a thread of its own while the window repaints, saying status in the
  // status bar after a moment; rethrows what work threw.
  void RunWhileRepainting(const std::string& status, const std::function<void()>& work);

  Desktop& desktop_;
  Controls controls_;
  ImageBrowser browser_;
  Viewport viewport_;
  InspectorController inspector_;
  CompareSession compare_;
  CommandQueue commands_;
  // What the colour replacement's dialogs offer next time.
  struct ColourReplacementMemory {
    std::string ranges;
    bool ranges_used = false;
    std::uint32_t colour = 0xC0C0C0;  // the colour dialog starts silver
  } colour_memory_;
};

}  // namespace zelk
