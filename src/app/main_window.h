#pragma once
// The main window: its controls, the viewing state every command shares, and the
// commands that wire the modules together. The pixel, geometry, colour, text and file
// logic lives in the core library; this class only decides which of it runs when.
// Its state is private: tests drive it through the same commands a user triggers and
// read it through the accessors below.

#include <QCheckBox>
#include <QFrame>
#include <QKeySequence>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/image_view.h"
#include "core/bitmap.h"
#include "core/files/file_list.h"
#include "core/inspect/region_stats.h"
#include "core/view/geometry.h"
#include "core/view/view_mapping.h"

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
  };

  // ---- Commands (buttons, right-clicks, keys, drops, timers) ----------------
  // Load Image: the open dialog, then the first of the chosen files.
  void OpenFiles();
  // Files dropped on the window, opened as if chosen together in the open dialog.
  void OpenSelection(const std::vector<std::string>& paths);
  // A decode of the command line's file that main started before the window existed;
  // OpenCommandLineArgument uses it instead of decoding the file again.
  void AdoptEarlyDecode(std::unique_ptr<DecodeJob> job);
  // Opens the file or folder named on the command line as soon as events are
  // processed (the window is shown first).
  void StartOpeningCommandLineArgument();
  // The file or folder named on the command line, among its folder's images.
  void OpenCommandLineArgument();
  void ShowPrevious();
  void ShowNext();
  // Zoom In into the box (or a default one), or Zoom Out back to the fitted view.
  void ToggleZoom();
  // Escape: stops a load in progress (the image shown stays as it was), otherwise
  // zooms out.
  void Escape();
  void Print();
  void Quit();
  // Convert: the image written in the format its new name's extension picks.
  void ConvertCurrentFile();
  // The right-click commands; each returns true when it marked the click handled.
  bool SaveVisibleView();
  bool CopyImageToClipboard();
  bool PasteImage();
  bool ReplaceColourRanges();
  bool CopyZoomBoxAsSvgPath();
  // Exact inspection (wheel and keys): whole magnifications 1, 2, 3, 4, 6 ... 128.
  void ZoomInStep();                 // +: one step up around the view's centre
  void ZoomOutStep();                // -: one step down; below the smallest, the fitted view
  void ShowFitted();                 // 0
  void ShowActualPixelsAtPointer();  // 1: one device pixel per image pixel
  void ToggleGrid();                 // G
  void ToggleInspector();            // I
  void CopyColourUnderPointer();     // Ctrl+Shift+C: "#RRGGBB"
  void ToggleFullScreen();           // F11
  void ShowKeysAndGestures();        // F1, ?

  // The inspector's statistics of the region last counted (nullopt while counting).
  const std::optional<RegionStats>& inspector_stats() const { return region_stats_; }

  // The tick 750 ms after a load or paste: the pointer readout starts again.
  void AttachPointerReadout();

  // Runs a command; an exception that reaches here is shown with the standard
  // exception display and the program runs on.
  void RunGuarded(const std::function<void()>& command);

  // ---- Read-only views of the state -------------------------------------------
  const Controls& controls() const { return controls_; }
  const Bitmap& image() const { return image_; }
  const FileList& files() const { return files_; }
  int current_index() const { return file_index_; }
  const ZoomBox& zoom_box() const { return zoom_box_; }
  double view_scale() const { return view_scale_; }
  bool loading() const { return loading_; }
  // True from the moment a load starts until its result is taken or dropped.
  bool load_in_progress() const { return load_job_ != nullptr; }
  bool zoomed() const { return zoomed_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildControls();
  void ConnectCommands();
  void ConnectClick(QAbstractButton* control, void (MainWindow::*command)());
  void ConnectRightClick(QWidget* control, bool (MainWindow::*command)());
  // The right-click commands, for keys (whose commands return nothing).
  void CopyImageToClipboardKey();
  void PasteImageKey();
  void AddShortcut(const QKeySequence& keys, void (MainWindow::*command)());

  // One command at a time: a command that arrives while another one pauses (retries,
  // message boxes and dialogs process events) runs once that one has ended.
  class CommandScope {
   public:
    explicit CommandScope(MainWindow& window);
    ~CommandScope();
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

   private:
    MainWindow& window_;
  };
  bool DeferWhileBusy(std::function<void()> command);
  void RunDeferredCommands();

  // Loading and the list.
  // Starts decoding entry index; an entry whose file has gone is dropped and the next
  // one in direction (+1 or -1) taken instead.
  void StartLoad(int index, int direction);
  // job becomes the load under way: progress after a moment, FinishLoad when done.
  void WatchLoad(std::unique_ptr<DecodeJob> job);
  // The running load stops at its next row; its result will be dropped.
  void SupersedeLoad();
  void FinishLoad(std::uint64_t ticket);
  // A pasted file's bytes decoded: listed and shown, or the clipboard's error.
  void FinishPaste(DecodeJob& job);
  // Runs work on a thread of its own and returns when it has ended, the window
  // repainting meanwhile (with status in the status bar after a moment) and other
  // commands waiting; throws what work threw. For writing and printing, which take
  // seconds on a large image and only read it.
  void RunWhileRepainting(const std::string& status, const std::function<void()>& work);
  void CancelLoad();
  void ShowLoadProgress();
  void ReportPassedOverFailures();
  // The image of the list entry path becomes the one shown, fitted, with a fresh
  // caption, title and readout.
  void ShowNewImage(Bitmap image, const std::string& path);
  // Points file_index_ at the entry of the image shown (-1 when it is not listed).
  void SelectShownEntry();
  void KeepShownImageListed();
  // Where previous and next count from: the entry being loaded, else the one shown.
  int NavigationIndex() const;
  bool HasCurrentEntry() const { return file_index_ >= 0 && file_index_ < files_.Count(); }
  void UpdateNavButtons();

  // The view.
  void RenderView();
  void RenderZoomed();
  void RefitAfterResize();
  void ApplyActualSizeSetting();
  void ToggleZoomNow();
  // Inspection.
  QPoint PointerInView() const;
  int CurrentWholeMagnification() const;  // 0 when fitted
  void ShowWholeZoom(const ViewMapping& mapping);
  void ZoomInWholeStepsAt(int notches, int x, int y);
  void WheelOverView(int notches, int x, int y);
  void PanFollowingPointer(int x, int y);
  bool InspectorShown() const;
  void InspectPixel(int x, int y);
  // The zoom box's pixels, or those a zoomed view shows, or the whole image.
  PixelRect InspectedRegion() const;
  // The zoom box in image pixels as the status line and the SVG path name it; none
  // when there is no box.
  std::optional<PixelRect> ZoomBoxInImage() const;
  void RequestRegionStats();
  void StartRegionStats();
  void FinishRegionStats(std::uint64_t ticket);
  // Stops the statistics thread and waits for it: before the image changes.
  void StopRegionStats();
  bool PointOutsideImage(int x, int y) const;
  void DrawZoomBox();
  void PressOnView(Qt::MouseButton button, int x, int y);
  void MoveOverView(Qt::MouseButtons buttons, int x, int y);
  void ShowColourReadout(int x, int y);
  void ShowStatusLine(double magnification);
  // The caption again, after the list changed under the image shown.
  void RefreshStatusLine();
  void EnsurePictureMatchesView();

  Desktop& desktop_;
  Controls controls_;
  QTimer* readout_delay_timer_ = nullptr;
  QTimer* progress_timer_ = nullptr;

  // The viewing state every command shares.
  Bitmap image_;            // the full-resolution working copy of the current image
  std::string shown_path_;  // the list entry image_ came from
  FileList files_;
  int file_index_ = -1;  // the entry of shown_path_, -1 when it is not listed
  ZoomBox zoom_box_;
  PanAnchor pan_anchor_;
  double view_scale_ = kNoViewScale;
  ViewMapping mapping_;      // which image pixel each view pixel shows, as drawn
  bool whole_zoom_ = false;  // zoomed at a whole magnification (wheel, keys)
  bool grid_shown_ = false;  // the pixel grid over zoomed views (G)
  bool space_held_ = false;
  QPoint last_pointer_{-1, -1};  // the last pointer position over the view

  // The inspector's statistics, counted on a thread of their own.
  QTimer* stats_timer_ = nullptr;
  std::thread stats_thread_;
  std::atomic<bool> stats_cancel_{false};
  std::uint64_t stats_ticket_ = 0;
  std::unique_ptr<RegionStatsScratch> stats_scratch_;
  std::optional<RegionStats> stats_result_;  // written by the thread, read after it ends
  PixelRect stats_region_;
  std::optional<RegionStats> region_stats_;  // Space down over the
                                             // view: the left button pans
  bool loading_ = true;                      // also while no image was ever loaded
  bool zoomed_ = false;

  int command_depth_ = 0;
  std::vector<std::function<void()>> deferred_commands_;

  std::unique_ptr<DecodeJob> load_job_;
  std::uint64_t load_ticket_ = 0;
  std::vector<std::unique_ptr<DecodeJob>> abandoned_jobs_;  // cancelled, not yet joined
  std::unique_ptr<DecodeJob> early_job_;
  // The first failure of a chain of failed loads, and how many followed it: one press
  // shows one message however many files were passed over.
  std::string first_failure_;
  int more_failures_ = 0;

  std::string caption_text_;  // the status line as bytes (the print title comes from it)
  std::string colour_range_text_;
  bool colour_range_text_used_ = false;
  std::uint32_t last_colour_ = 0xC0C0C0;  // the colour dialog starts silver
};

}  // namespace zelk
