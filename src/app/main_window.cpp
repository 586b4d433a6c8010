// MainWindow: construction, controls and their wiring, window events, close handling.

#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QUrl>
#include <QVBoxLayout>

#include "app/decode_job.h"
#include "app/exception_net.h"
#include "app/qt_desktop.h"
#include "core/files/file_spec.h"
#include "core/files/paths.h"
#include "core/window_size.h"
#include "platform/desktop.h"
#include "support/support.h"

namespace zelk {

namespace {
// The form's built-in client area, kept on screens of 640 x 480 or less.
constexpr WindowSize kBuiltInSize{622, 422};
constexpr int kPanelWidth = 622;
// Enforce Aspect ends at 449; Convert and Quit take the last 121 pixels.
constexpr int kPanelMinimumWidth = 449 + 4 + 121;

QPushButton* MakeButton(QWidget* parent, const char* caption, int x, int y, int w, int h) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setGeometry(x, y, w, h);
  return button;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* caption, int x, int y, int w, int h) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
  box->setGeometry(x, y, w, h);
  return box;
}
}  // namespace

TopPanel::TopPanel(QWidget* parent) : QFrame(parent) {}

void TopPanel::AnchorRight(QWidget* child, int right_margin) {
  right_anchored_.emplace_back(child, right_margin);
}

void TopPanel::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  for (auto& [child, margin] : right_anchored_)
    child->move(width() - margin - child->width(), child->y());
}

MainWindow::MainWindow(Desktop& desktop, QWidget* parent)
    : QWidget(parent),
      desktop_(desktop),
      browser_(this, [this](std::uint64_t ticket) { FinishLoad(ticket); }),
      inspector_(this),
      compare_(
          this, [this](std::uint64_t ticket) { FinishCompareLoad(ticket); },
          [this] { CompareCounted(); }) {
  setWindowTitle(QStringLiteral("Zelk Lossless Image Zoomer"));
  // The statistics and the comparison's count read the image on threads of their own:
  // they stop before its pixels go.
  browser_.before_image_change = [this] {
    inspector_.ImageChanging();
    compare_.Stop();
  };
  BuildControls();
  ConnectCommands();
  setAcceptDrops(true);

  QScreen* screen = QGuiApplication::primaryScreen();
  const QSize screen_size = screen ? screen->size() : QSize(0, 0);
  const WindowSize size =
      InitialWindowSize(screen_size.width(), screen_size.height(), kBuiltInSize);
  // The size is the client area's; a window manager adds its frame around it.
  resize(size.width, size.height);
  if (screen) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - size.width) / 2, area.y() + (area.height() - size.height) / 2);
  }
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
}

void MainWindow::BuildControls() {
  resize(kBuiltInSize.width, kBuiltInSize.height);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  controls_.top_panel = new TopPanel(this);
  controls_.top_panel->setFixedHeight(41);
  controls_.top_panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  controls_.top_panel->setLineWidth(2);
  QFont panel_font(QStringLiteral("Times New Roman"));
  panel_font.setStyleHint(QFont::Serif);
  panel_font.setPixelSize(12);
  controls_.top_panel->setFont(panel_font);
  QPalette panel_palette = controls_.top_panel->palette();
  panel_palette.setColor(QPalette::ButtonText, QColor(0, 0, 128));
  panel_palette.setColor(QPalette::WindowText, QColor(0, 0, 128));
  controls_.top_panel->setPalette(panel_palette);
  controls_.top_panel->resize(kPanelWidth, 41);
  // Narrower than this, the right-anchored Convert and Quit would cover the controls
  // on the left.
  controls_.top_panel->setMinimumWidth(kPanelMinimumWidth);

  controls_.zoom_button = MakeButton(controls_.top_panel, "&Zoom In", 79, 7, 64, 23);
  controls_.zoom_button->setToolTip(QStringLiteral("Right-Click to Copy\nSVG Path to Clipboard"));
  controls_.zoom_button->setEnabled(false);
  controls_.load_button = MakeButton(controls_.top_panel, "&Load Image", 7, 7, 69, 23);
  controls_.load_button->setToolTip(QStringLiteral("Right-Click to Change Colours"));
  controls_.quit_button = MakeButton(controls_.top_panel, "&Quit", 570, 7, 35, 23);
  controls_.top_panel->AnchorRight(controls_.quit_button, kPanelWidth - 570 - 35);
  controls_.enforce_aspect_box =
      MakeCheckBox(controls_.top_panel, "&Enforce Aspect", 348, 10, 101, 17);
  controls_.enforce_aspect_box->setToolTip(
      QStringLiteral("Enforce Window Aspect Ratio on Zoom Boxes"));
  controls_.enforce_aspect_box->setChecked(true);
  controls_.previous_button = MakeButton(controls_.top_panel, "<--", 146, 7, 30, 23);
  controls_.next_button = MakeButton(controls_.top_panel, "-->", 179, 7, 30, 23);
  QFont arrow_font = QGuiApplication::font();
  arrow_font.setPixelSize(13);
  controls_.previous_button->setFont(arrow_font);
  controls_.next_button->setFont(arrow_font);
  controls_.previous_button->setEnabled(false);
  controls_.next_button->setEnabled(false);
  controls_.print_button = MakeButton(controls_.top_panel, "&Print", 212, 7, 45, 23);
  controls_.print_button->setToolTip(QStringLiteral("Right-Click to Copy Image to Clipboard"));
  controls_.print_button->setEnabled(false);
  controls_.convert_button = MakeButton(controls_.top_panel, "&Convert", 501, 7, 65, 23);
  controls_.convert_button->setToolTip(QStringLiteral("Right-Click to Save Visible Image to BMP"));
  controls_.top_panel->AnchorRight(controls_.convert_button, kPanelWidth - 501 - 65);
  controls_.actual_size_box = MakeCheckBox(controls_.top_panel, "&Actual Size", 262, 10, 81, 17);
  controls_.actual_size_box->setToolTip(
      QStringLiteral("Right-Click to Paste Image\nfrom the Clipboard."));

  // Tab order: Load Image, Zoom, <--, -->, Enforce Aspect, Quit, Print,
  // Convert, Actual Size.
  QWidget::setTabOrder(controls_.load_button, controls_.zoom_button);
  QWidget::setTabOrder(controls_.zoom_button, controls_.previous_button);
  QWidget::setTabOrder(controls_.previous_button, controls_.next_button);
  QWidget::setTabOrder(controls_.next_button, controls_.enforce_aspect_box);
  QWidget::setTabOrder(controls_.enforce_aspect_box, controls_.quit_button);
  QWidget::setTabOrder(controls_.quit_button, controls_.print_button);
  QWidget::setTabOrder(controls_.print_button, controls_.convert_button);
  QWidget::setTabOrder(controls_.convert_button, controls_.actual_size_box);

  controls_.view = new ImageView(this);
  controls_.view->setFocusPolicy(Qt::NoFocus);
  controls_.status_bar = new QStatusBar(this);
  controls_.status_bar->setFixedHeight(19);
  controls_.status_bar->setSizeGripEnabled(false);

  layout->addWidget(controls_.top_panel);
  controls_.view_row = new QHBoxLayout;
  controls_.view_row->setContentsMargins(0, 0, 0, 0);
  controls_.view_row->setSpacing(0);
  controls_.view_row->addWidget(controls_.view, 1);
  layout->addLayout(controls_.view_row, 1);
  layout->addWidget(controls_.status_bar);

  // A click leaves the keyboard focus where it was, so Space (with a left drag: pan)
  // reaches the view after a button was clicked; Tab still reaches every control, and
  // Space then presses it.
  for (QWidget* control : controls_.top_panel->findChildren<QAbstractButton*>())
    control->setFocusPolicy(Qt::TabFocus);

  controls_.readout_delay_timer = new QTimer(this);
  controls_.readout_delay_timer->setInterval(750);
  controls_.readout_delay_timer->setSingleShot(true);
  controls_.progress_timer = new QTimer(this);
  controls_.progress_timer->setSingleShot(true);
}

QAbstractButton* MainWindow::ButtonOf(Control control) const {
  switch (control) {
    case Control::kNone:
      return nullptr;
    case Control::kLoad:
      return controls_.load_button;
    case Control::kZoom:
      return controls_.zoom_button;
    case Control::kPrevious:
      return controls_.previous_button;
    case Control::kNext:
      return controls_.next_button;
    case Control::kPrint:
      return controls_.print_button;
    case Control::kConvert:
      return controls_.convert_button;
    case Control::kActualSize:
      return controls_.actual_size_box;
    case Control::kQuit:
      return controls_.quit_button;
  }
  return nullptr;
}

void MainWindow::ConnectCommands() {
  for (const CommandSpec& spec : CommandTable()) {
    const CommandId id = spec.id;
    if (QAbstractButton* button = ButtonOf(spec.click))
      connect(button, &QAbstractButton::clicked, this, [this, id] { Dispatch(id); });
    if (QAbstractButton* button = ButtonOf(spec.right_click)) {
      // A right-click runs the command; the controls have no menu of their own to show.
      button->setContextMenuPolicy(Qt::CustomContextMenu);
      connect(button, &QWidget::customContextMenuRequested, this,
              [this, id](const QPoint&) { Dispatch(id); });
    }
    for (const char* keys : spec.keys) {
      auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(keys)), this);
      shortcut->setContext(Qt::WindowShortcut);
      connect(shortcut, &QShortcut::activated, this, [this, id] { Dispatch(id); });
    }
  }
  connect(controls_.readout_delay_timer, &QTimer::timeout, this,
          [this] { RunGuarded([&] { AttachPointerReadout(); }); });
  connect(controls_.progress_timer, &QTimer::timeout, this,
          [this] { RunGuarded([&] { ShowLoadProgress(); }); });

  controls_.view->on_mouse_down = [this](Qt::MouseButton button, int x, int y) {
    RunGuarded([&] { PressOnView(button, x, y); });
  };
  controls_.view->on_mouse_move = [this](Qt::MouseButtons buttons, int x, int y) {
    RunGuarded([&] { MoveOverView(buttons, x, y); });
  };
  controls_.view->on_resize = [this] {
    commands_.RunExclusive([this] { RefitAfterResize(); },
                           [this](const CommandQueue::Command& command) { RunGuarded(command); });
  };
  controls_.view->on_wheel = [this](int notches, int x, int y) {
    Dispatch(CommandId::kWheel, [=, this] { DoWheel(notches, x, y); });
  };
  qApp->installEventFilter(this);
}

void MainWindow::RunGuarded(const std::function<void()>& command) {
  RunShowingExceptions(desktop_, command);
}

void CommandQueue::RunExclusive(const Command& command,
                                const std::function<void(const Command&)>& run) {
  if (depth_ > 0) {
    deferred_.push_back(command);
    return;
  }
  ++depth_;
  run(command);
  --depth_;
  // Each waiting one runs as a command of its own, in the order it arrived; one that
  // is again deferred (it paused, and more input came) joins the end of the queue.
  while (!deferred_.empty() && depth_ == 0) {
    Command next = std::move(deferred_.front());
    deferred_.erase(deferred_.begin());
    ++depth_;
    run(next);
    --depth_;
  }
}

void CommandQueue::WaitForLoad(CommandId id, Command command) {
  std::erase_if(waiting_for_load_, [id](const auto& entry) { return entry.first == id; });
  waiting_for_load_.emplace_back(id, std::move(command));
}

std::vector<std::pair<CommandId, CommandQueue::Command>> CommandQueue::TakeWaiting() {
  return std::exchange(waiting_for_load_, {});
}

void MainWindow::Dispatch(CommandId id) {
  Dispatch(id, [this, id] { Run(id); });
}

void MainWindow::Dispatch(CommandId id, std::function<void()> run) {
  commands_.RunExclusive(
      [this, id, run = std::move(run)] {
        if (browser_.Loading()) {
          switch (Command(id).while_loading) {
            case WhileLoading::kRunNow:
              break;
            case WhileLoading::kAfterLoad:
              commands_.WaitForLoad(id, run);
              return;
            case WhileLoading::kRefuse:
              controls_.status_bar->showMessage(
                  DisplayText(std::string(Command(id).name) + ": not while an image loads"));
              return;
          }
        }
        run();
      },
      [this](const CommandQueue::Command& command) { RunGuarded(command); });
}

void MainWindow::RunCommandsWaitingForLoad(bool new_image_shown) {
  for (auto& [id, command] : commands_.TakeWaiting()) {
    if (!new_image_shown) {
      controls_.status_bar->showMessage(
          DisplayText(std::string(Command(id).name) + " was not run: no new image was shown"));
      continue;
    }
    Dispatch(id, std::move(command));
  }
}

void MainWindow::Run(CommandId id) {
  switch (id) {
    case CommandId::kOpenFiles:
      return DoOpenFiles();
    case CommandId::kReplaceColours:
      return DoReplaceColours();
    case CommandId::kToggleZoom:
      return DoToggleZoom();
    case CommandId::kCopySvgPath:
      return DoCopySvgPath();
    case CommandId::kPrevious:
      if (compare_.active()) return ApplyCompareResult(compare_.b().Previous());
      return ApplyBrowseResult(browser_.Previous());
    case CommandId::kNext:
      if (compare_.active()) return ApplyCompareResult(compare_.b().Next());
      return ApplyBrowseResult(browser_.Next());
    case CommandId::kCompare:
      return DoCompare();
    case CommandId::kFlip:
      return DoFlip();
    case CommandId::kSplit:
      return DoCompareView(CompareView::kSplit);
    case CommandId::kDifference:
      return DoCompareView(CompareView::kDifference);
    case CommandId::kToleranceDown:
      return DoTolerance(-1);
    case CommandId::kToleranceUp:
      return DoTolerance(+1);
    case CommandId::kNextDifference:
      return DoStepDifference(true);
    case CommandId::kPreviousDifference:
      return DoStepDifference(false);
    case CommandId::kPrint:
      return DoPrint();
    case CommandId::kCopyImage:
      return DoCopyImage();
    case CommandId::kActualSize:
      return ApplyActualSizeSetting();
    case CommandId::kPaste:
      return DoPaste();
    case CommandId::kConvert:
      return DoConvert();
    case CommandId::kSaveVisible:
      return DoSaveVisible();
    case CommandId::kQuit:
      close();
      return;
    case CommandId::kEscape:
      return DoEscape();
    case CommandId::kZoomInStep:
      return DoZoomStep(+1);
    case CommandId::kZoomOutStep:
      return DoZoomStep(-1);
    case CommandId::kFit:
      return DoFit();
    case CommandId::kActualPixels:
      return DoActualPixels();
    case CommandId::kGrid:
      return DoToggleGrid();
    case CommandId::kInspector:
      return DoToggleInspector();
    case CommandId::kCopyColour:
      return DoCopyColour();
    case CommandId::kFullScreen:
      setWindowState(windowState() ^ Qt::WindowFullScreen);
      return;
    case CommandId::kHelp:
      ReportMessage(KeysAndGesturesText());
      return;
    case CommandId::kWheel:
    case CommandId::kLeftDrag:
    case CommandId::kPanDrag:
    case CommandId::kDrop:
    case CommandId::kDropToCompare:
      return;  // gestures carry their arguments: Dispatch(id, run)
  }
}

// The public commands, as a user gives them.
void MainWindow::OpenFiles() {
  Dispatch(CommandId::kOpenFiles);
}
void MainWindow::OpenSelection(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  Dispatch(CommandId::kDrop, [this, paths] {
    ChangeCurrentFolder(PathPart(paths.front()));
    ApplyBrowseResult(browser_.Open(paths));
  });
}
void MainWindow::ShowPrevious() {
  Dispatch(CommandId::kPrevious);
}
void MainWindow::ShowNext() {
  Dispatch(CommandId::kNext);
}
void MainWindow::ToggleZoom() {
  Dispatch(CommandId::kToggleZoom);
}
void MainWindow::Escape() {
  Dispatch(CommandId::kEscape);
}
void MainWindow::Print() {
  Dispatch(CommandId::kPrint);
}
void MainWindow::Quit() {
  Dispatch(CommandId::kQuit);
}
void MainWindow::ConvertCurrentFile() {
  Dispatch(CommandId::kConvert);
}
bool MainWindow::SaveVisibleView() {
  Dispatch(CommandId::kSaveVisible);
  return true;
}
bool MainWindow::CopyImageToClipboard() {
  Dispatch(CommandId::kCopyImage);
  return false;
}
bool MainWindow::PasteImage() {
  Dispatch(CommandId::kPaste);
  return true;
}
bool MainWindow::ReplaceColourRanges() {
  Dispatch(CommandId::kReplaceColours);
  return true;
}
bool MainWindow::CopyZoomBoxAsSvgPath() {
  Dispatch(CommandId::kCopySvgPath);
  return true;
}
void MainWindow::ZoomInStep() {
  Dispatch(CommandId::kZoomInStep);
}
void MainWindow::ZoomOutStep() {
  Dispatch(CommandId::kZoomOutStep);
}
void MainWindow::ShowFitted() {
  Dispatch(CommandId::kFit);
}
void MainWindow::ShowActualPixelsAtPointer() {
  Dispatch(CommandId::kActualPixels);
}
void MainWindow::ToggleGrid() {
  Dispatch(CommandId::kGrid);
}
void MainWindow::ToggleInspector() {
  Dispatch(CommandId::kInspector);
}
void MainWindow::CopyColourUnderPointer() {
  Dispatch(CommandId::kCopyColour);
}
void MainWindow::ToggleFullScreen() {
  Dispatch(CommandId::kFullScreen);
}
void MainWindow::ShowKeysAndGestures() {
  Dispatch(CommandId::kHelp);
}

void MainWindow::Compare() {
  Dispatch(CommandId::kCompare);
}
void MainWindow::Flip() {
  Dispatch(CommandId::kFlip);
}
void MainWindow::ShowSplit() {
  Dispatch(CommandId::kSplit);
}
void MainWindow::ShowDifference() {
  Dispatch(CommandId::kDifference);
}
void MainWindow::ToleranceDown() {
  Dispatch(CommandId::kToleranceDown);
}
void MainWindow::ToleranceUp() {
  Dispatch(CommandId::kToleranceUp);
}
void MainWindow::NextDifference() {
  Dispatch(CommandId::kNextDifference);
}
void MainWindow::PreviousDifference() {
  Dispatch(CommandId::kPreviousDifference);
}

// The owned objects are released with the window, so the window always agrees to
// close (Quit, the close box or a request from the session).
void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
}

void MainWindow::AttachPointerReadout() {
  controls_.readout_delay_timer->stop();
  controls_.view->mouse_move_attached = true;
}

// Dropped files are only read: the drop is always a copy, never the move a file
// manager proposes by default (after a move it would delete the user's files).
void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!(event->possibleActions() & Qt::CopyAction) || !event->mimeData()->hasUrls()) return;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) {
      event->setDropAction(Qt::CopyAction);
      event->accept();
      return;
    }
  }
}

void MainWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    // Decode the percent-encoded path as bytes, so names that are not valid UTF-8
    // arrive unchanged.
    const QByteArray bytes =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    paths.emplace_back(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  }
  if (paths.empty() || !(event->possibleActions() & Qt::CopyAction)) return;
  event->setDropAction(Qt::CopyAction);
  event->accept();
  if (event->modifiers() & Qt::ShiftModifier) {
    // Shift: the dropped file becomes B, compared with the image shown.
    const std::string b = paths.front();
    Dispatch(CommandId::kDropToCompare, [this, b] { CompareWith(b); });
    return;
  }
  RunGuarded([&] { OpenSelection(paths); });
}

}  // namespace zelk
