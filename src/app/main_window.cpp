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
#include "core/window_size.h"
#include "platform/desktop.h"
#include "support/support.h"

namespace zelk {

namespace {
// The form's built-in client area, kept on screens of 640 x 480 or less.
constexpr WindowSize kBuiltInSize{622, 422};
constexpr int kPanelWidth = 622;

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

MainWindow::MainWindow(Desktop& desktop, QWidget* parent) : QWidget(parent), desktop_(desktop) {
  setWindowTitle(QStringLiteral("Zelk Lossless Image Zoomer"));
  BuildControls();
  ConnectCommands();
  setAcceptDrops(true);

  // Resizes while the window is being sized do nothing: loading_ is already set.
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
  // Every decode stops and its thread is joined while the window still exists: a
  // thread that ends posts its result to the window.
  early_job_.reset();
  load_job_.reset();
  abandoned_jobs_.clear();
  StopRegionStats();
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

  readout_delay_timer_ = new QTimer(this);
  readout_delay_timer_->setInterval(750);
  readout_delay_timer_->setSingleShot(true);
  progress_timer_ = new QTimer(this);
  progress_timer_->setSingleShot(true);
  stats_timer_ = new QTimer(this);
  stats_timer_->setSingleShot(true);
  stats_timer_->setInterval(60);
}

void MainWindow::ConnectClick(QAbstractButton* control, void (MainWindow::*command)()) {
  connect(control, &QAbstractButton::clicked, this,
          [this, command] { RunGuarded([&] { (this->*command)(); }); });
}

void MainWindow::ConnectRightClick(QWidget* control, bool (MainWindow::*command)()) {
  // A right-click runs the command; the controls have no menu of their own to show.
  control->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(control, &QWidget::customContextMenuRequested, this,
          [this, command](const QPoint&) { RunGuarded([&] { (this->*command)(); }); });
}

void MainWindow::AddShortcut(const QKeySequence& keys, void (MainWindow::*command)()) {
  auto* shortcut = new QShortcut(keys, this);
  shortcut->setContext(Qt::WindowShortcut);
  connect(shortcut, &QShortcut::activated, this,
          [this, command] { RunGuarded([&] { (this->*command)(); }); });
}

void MainWindow::ConnectCommands() {
  ConnectClick(controls_.load_button, &MainWindow::OpenFiles);
  ConnectClick(controls_.zoom_button, &MainWindow::ToggleZoom);
  ConnectClick(controls_.previous_button, &MainWindow::ShowPrevious);
  ConnectClick(controls_.next_button, &MainWindow::ShowNext);
  ConnectClick(controls_.quit_button, &MainWindow::Quit);
  ConnectClick(controls_.print_button, &MainWindow::Print);
  ConnectClick(controls_.convert_button, &MainWindow::ConvertCurrentFile);
  ConnectClick(controls_.actual_size_box, &MainWindow::ApplyActualSizeSetting);
  connect(readout_delay_timer_, &QTimer::timeout, this,
          [this] { RunGuarded([&] { AttachPointerReadout(); }); });
  connect(stats_timer_, &QTimer::timeout, this,
          [this] { RunGuarded([&] { StartRegionStats(); }); });
  connect(progress_timer_, &QTimer::timeout, this,
          [this] { RunGuarded([&] { ShowLoadProgress(); }); });

  ConnectRightClick(controls_.load_button, &MainWindow::ReplaceColourRanges);
  ConnectRightClick(controls_.zoom_button, &MainWindow::CopyZoomBoxAsSvgPath);
  ConnectRightClick(controls_.print_button, &MainWindow::CopyImageToClipboard);
  ConnectRightClick(controls_.convert_button, &MainWindow::SaveVisibleView);
  ConnectRightClick(controls_.actual_size_box, &MainWindow::PasteImage);

  controls_.view->on_mouse_down = [this](Qt::MouseButton button, int x, int y) {
    RunGuarded([&] { PressOnView(button, x, y); });
  };
  controls_.view->on_mouse_move = [this](Qt::MouseButtons buttons, int x, int y) {
    RunGuarded([&] { MoveOverView(buttons, x, y); });
  };
  controls_.view->on_wheel = [this](int notches, int x, int y) {
    RunGuarded([&] { WheelOverView(notches, x, y); });
  };
  qApp->installEventFilter(this);

  // Keys a viewer's users expect beside the mnemonics.
  AddShortcut(Qt::Key_Left, &MainWindow::ShowPrevious);
  AddShortcut(Qt::Key_PageUp, &MainWindow::ShowPrevious);
  AddShortcut(Qt::Key_Right, &MainWindow::ShowNext);
  AddShortcut(Qt::Key_PageDown, &MainWindow::ShowNext);
  AddShortcut(Qt::Key_Escape, &MainWindow::Escape);
  AddShortcut(Qt::Key_Plus, &MainWindow::ZoomInStep);
  AddShortcut(Qt::Key_Equal, &MainWindow::ZoomInStep);  // + without Shift
  AddShortcut(Qt::Key_Minus, &MainWindow::ZoomOutStep);
  AddShortcut(Qt::Key_0, &MainWindow::ShowFitted);
  AddShortcut(Qt::Key_1, &MainWindow::ShowActualPixelsAtPointer);
  AddShortcut(Qt::Key_G, &MainWindow::ToggleGrid);
  AddShortcut(Qt::Key_I, &MainWindow::ToggleInspector);
  AddShortcut(Qt::Key_F11, &MainWindow::ToggleFullScreen);
  AddShortcut(Qt::Key_F1, &MainWindow::ShowKeysAndGestures);
  AddShortcut(Qt::Key_Question, &MainWindow::ShowKeysAndGestures);
  AddShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), &MainWindow::OpenFiles);
  AddShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), &MainWindow::Print);
  AddShortcut(QKeySequence(Qt::CTRL | Qt::Key_C), &MainWindow::CopyImageToClipboardKey);
  AddShortcut(QKeySequence(Qt::CTRL | Qt::Key_V), &MainWindow::PasteImageKey);
  AddShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), &MainWindow::CopyColourUnderPointer);
}

void MainWindow::RunGuarded(const std::function<void()>& command) {
  RunShowingExceptions(desktop_, command);
}

void MainWindow::CopyImageToClipboardKey() {
  CopyImageToClipboard();
}

void MainWindow::PasteImageKey() {
  PasteImage();
}

void MainWindow::Escape() {
  if (load_job_) {
    CancelLoad();
  } else if (zoomed_) {
    ToggleZoom();
  }
}

MainWindow::CommandScope::CommandScope(MainWindow& window) : window_(window) {
  ++window_.command_depth_;
}

MainWindow::CommandScope::~CommandScope() {
  if (--window_.command_depth_ == 0) window_.RunDeferredCommands();
}

bool MainWindow::DeferWhileBusy(std::function<void()> command) {
  if (command_depth_ == 0) return false;
  deferred_commands_.push_back(std::move(command));
  return true;
}

void MainWindow::RunDeferredCommands() {
  // Each runs as a command of its own, in the order it arrived; one that is again
  // deferred (it paused, and more input came) joins the end of the queue.
  while (!deferred_commands_.empty() && command_depth_ == 0) {
    std::function<void()> command = std::move(deferred_commands_.front());
    deferred_commands_.erase(deferred_commands_.begin());
    RunGuarded(command);
  }
}

void MainWindow::Quit() {
  close();
}

// The owned objects are released with the window, so the window always agrees to
// close (Quit, the close box or a request from the session).
void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
}

void MainWindow::AttachPointerReadout() {
  readout_delay_timer_->stop();
  controls_.view->mouse_move_attached = true;
}

void MainWindow::UpdateNavButtons() {
  controls_.previous_button->setEnabled(file_index_ > 0);
  controls_.next_button->setEnabled(file_index_ < files_.Count() - 1);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  RunGuarded([&] { RefitAfterResize(); });
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
  RunGuarded([&] { OpenSelection(paths); });
}

}  // namespace zelk
