// TForm1: construction, controls and their wiring, window events, close handling.

#include "app/unit1.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QUrl>
#include <QVBoxLayout>

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

TForm1::TForm1(Desktop& desktop, QWidget* parent) : QWidget(parent), desktop_(desktop) {
  setWindowTitle(QStringLiteral("Zelk Lossless Image Zoomer"));
  BuildControls();
  ConnectHandlers();
  setAcceptDrops(true);

  // Resizes while the window is being sized do nothing: Loading is already set.
  Loading = true;
  ViewScale = kNoViewScale;
  LoadFromList = false;
  QScreen* screen = QGuiApplication::primaryScreen();
  const QSize screen_size = screen ? screen->size() : QSize(0, 0);
  const WindowSize size =
      InitialWindowSize(screen_size.width(), screen_size.height(), kBuiltInSize);
  resize(size.width, size.height);
  if (screen) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - size.width) / 2, area.y() + (area.height() - size.height) / 2);
  }
  Timer1->start();
}

TForm1::~TForm1() = default;

void TForm1::BuildControls() {
  resize(kBuiltInSize.width, kBuiltInSize.height);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  Panel1 = new TopPanel(this);
  Panel1->setFixedHeight(41);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setLineWidth(2);
  QFont panel_font(QStringLiteral("Times New Roman"));
  panel_font.setStyleHint(QFont::Serif);
  panel_font.setPixelSize(12);
  Panel1->setFont(panel_font);
  QPalette panel_palette = Panel1->palette();
  panel_palette.setColor(QPalette::ButtonText, QColor(0, 0, 128));
  panel_palette.setColor(QPalette::WindowText, QColor(0, 0, 128));
  Panel1->setPalette(panel_palette);
  Panel1->resize(kPanelWidth, 41);

  Button1 = MakeButton(Panel1, "&Zoom In", 79, 7, 64, 23);
  Button1->setToolTip(QStringLiteral("Right-Click to Copy\nSVG Path to Clipboard"));
  Button1->setEnabled(false);
  Button3 = MakeButton(Panel1, "&Load Image", 7, 7, 69, 23);
  Button3->setToolTip(QStringLiteral("Right-Click to Change Colours"));
  Button4 = MakeButton(Panel1, "&Quit", 570, 7, 35, 23);
  Panel1->AnchorRight(Button4, kPanelWidth - 570 - 35);
  CheckBox1 = MakeCheckBox(Panel1, "&Enforce Aspect", 348, 10, 101, 17);
  CheckBox1->setToolTip(QStringLiteral("Enforce Window Aspect Ratio on Zoom Boxes"));
  CheckBox1->setChecked(true);
  prvimg = MakeButton(Panel1, "<--", 146, 7, 30, 23);
  nxtimg = MakeButton(Panel1, "-->", 179, 7, 30, 23);
  QFont arrow_font = QGuiApplication::font();
  arrow_font.setPixelSize(13);
  prvimg->setFont(arrow_font);
  nxtimg->setFont(arrow_font);
  prvimg->setEnabled(false);
  nxtimg->setEnabled(false);
  Button2 = MakeButton(Panel1, "&Print", 212, 7, 45, 23);
  Button2->setToolTip(QStringLiteral("Right-Click to Copy Image to Clipboard"));
  Button2->setEnabled(false);
  Button5 = MakeButton(Panel1, "&Convert", 501, 7, 65, 23);
  Button5->setToolTip(QStringLiteral("Right-Click to Save Visible Image to BMP"));
  Panel1->AnchorRight(Button5, kPanelWidth - 501 - 65);
  CheckBox2 = MakeCheckBox(Panel1, "&Actual Size", 262, 10, 81, 17);
  CheckBox2->setToolTip(QStringLiteral("Right-Click to Paste Image\nfrom the Clipboard."));

  // The design's tab order: Load Image, Zoom, <--, -->, Enforce Aspect, Quit, Print,
  // Convert, Actual Size.
  QWidget::setTabOrder(Button3, Button1);
  QWidget::setTabOrder(Button1, prvimg);
  QWidget::setTabOrder(prvimg, nxtimg);
  QWidget::setTabOrder(nxtimg, CheckBox1);
  QWidget::setTabOrder(CheckBox1, Button4);
  QWidget::setTabOrder(Button4, Button2);
  QWidget::setTabOrder(Button2, Button5);
  QWidget::setTabOrder(Button5, CheckBox2);

  Image1 = new ImageView(this);
  Image1->setFocusPolicy(Qt::NoFocus);
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setFixedHeight(19);
  StatusBar1->setSizeGripEnabled(false);

  layout->addWidget(Panel1);
  layout->addWidget(Image1, 1);
  layout->addWidget(StatusBar1);

  Timer1 = new QTimer(this);
  Timer1->setInterval(200);
  Timer1->setSingleShot(true);
  Timer3 = new QTimer(this);
  Timer3->setInterval(750);
  Timer3->setSingleShot(true);
}

void TForm1::SetContextPopup(QWidget* control, std::function<bool()> handler) {
  // A right-click runs the command; the controls have no menu of their own to show.
  control->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(control, &QWidget::customContextMenuRequested, this,
          [this, handler](const QPoint&) { Guarded([&] { handler(); }); });
}

void TForm1::AddShortcut(int key, void (TForm1::*handler)()) {
  auto* shortcut = new QShortcut(QKeySequence(key), this);
  shortcut->setContext(Qt::WindowShortcut);
  connect(shortcut, &QShortcut::activated, this,
          [this, handler] { Guarded([&] { (this->*handler)(); }); });
}

void TForm1::ConnectHandlers() {
  connect(Button1, &QPushButton::clicked, this, [this] { Guarded([&] { Button1Click(); }); });
  connect(Button2, &QPushButton::clicked, this, [this] { Guarded([&] { Button2Click(); }); });
  connect(Button3, &QPushButton::clicked, this, [this] { Guarded([&] { Button3Click(); }); });
  connect(Button4, &QPushButton::clicked, this, [this] { Guarded([&] { Button4Click(); }); });
  connect(Button5, &QPushButton::clicked, this, [this] { Guarded([&] { Button5Click(); }); });
  connect(prvimg, &QPushButton::clicked, this, [this] { Guarded([&] { prvimgClick(); }); });
  connect(nxtimg, &QPushButton::clicked, this, [this] { Guarded([&] { nxtimgClick(); }); });
  connect(CheckBox2, &QCheckBox::clicked, this, [this] { Guarded([&] { CheckBox2Click(); }); });
  connect(Timer1, &QTimer::timeout, this, [this] { Guarded([&] { Timer1Timer(); }); });
  connect(Timer3, &QTimer::timeout, this, [this] { Guarded([&] { Timer3Timer(); }); });

  SetContextPopup(Button1, [this] { return Button1ContextPopup(); });
  SetContextPopup(Button2, [this] { return Button2ContextPopup(); });
  SetContextPopup(Button3, [this] { return Button3ContextPopup(); });
  SetContextPopup(Button5, [this] { return Button5ContextPopup(); });
  SetContextPopup(CheckBox2, [this] { return CheckBox2ContextPopup(); });

  Image1->on_mouse_down = [this](Qt::MouseButton button, int x, int y) {
    Guarded([&] { Image1MouseDown(button, x, y); });
  };
  Image1->on_mouse_move = [this](Qt::MouseButtons buttons, int x, int y) {
    Guarded([&] { Image1MouseMove(buttons, x, y); });
  };

  // Keys a viewer's users expect beside the mnemonics.
  AddShortcut(Qt::Key_Left, &TForm1::prvimgClick);
  AddShortcut(Qt::Key_PageUp, &TForm1::prvimgClick);
  AddShortcut(Qt::Key_Right, &TForm1::nxtimgClick);
  AddShortcut(Qt::Key_PageDown, &TForm1::nxtimgClick);
  AddShortcut(Qt::Key_Escape, &TForm1::ZoomOutKey);
}

void TForm1::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    desktop_.ShowException(ApplicationTitle(), e.what());
  } catch (...) {
    desktop_.ShowException(ApplicationTitle(), "An unknown error occurred.");
  }
}

void TForm1::ZoomOutKey() {
  if (Zoomed) Button1Click();
}

void TForm1::Button4Click() {
  close();
}

bool TForm1::FormCloseQuery() {
  // The owned objects are released with the window, so a close that does not follow
  // leaves everything usable; the window always agrees to close.
  return true;
}

void TForm1::closeEvent(QCloseEvent* event) {
  bool can_close = true;
  Guarded([&] { can_close = FormCloseQuery(); });
  if (can_close) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TForm1::Timer3Timer() {
  Timer3->stop();
  Image1->mouse_move_attached = true;
}

void TForm1::UpdateNavButtons() {
  prvimg->setEnabled(FileIndex > 0);
  nxtimg->setEnabled(FileIndex < FileList.Count() - 1);
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Guarded([&] { FormResize(); });
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (sized_for_frame_) return;
  sized_for_frame_ = true;
  // The opening size is the outer size; once the frame is known, take it off the
  // client area so the whole window has that size.
  const QSize frame_extra = frameGeometry().size() - geometry().size();
  if (frame_extra.width() > 0 || frame_extra.height() > 0)
    resize(width() - frame_extra.width(), height() - frame_extra.height());
}

// Dropped files are only read: the drop is always a copy, never the move a file
// manager proposes by default (after a move it would delete the user's files).
void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (!(event->possibleActions() & Qt::CopyAction) || !event->mimeData()->hasUrls()) return;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) {
      event->setDropAction(Qt::CopyAction);
      event->accept();
      return;
    }
  }
}

void TForm1::dropEvent(QDropEvent* event) {
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
  Guarded([&] { LoadSelection(paths); });
}

}  // namespace zelk
