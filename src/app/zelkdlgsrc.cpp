#include "app/zelkdlgsrc.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/qt_desktop.h"
#include "platform/desktop.h"
#include "support/support.h"

namespace zelk {

namespace {

const QColor kNavy(0x00, 0x00, 0x80);
const QColor kMaroon(0x80, 0x00, 0x00);
const QColor kAqua(0x00, 0xFF, 0xFF);
const QColor kSilver(0xC0, 0xC0, 0xC0);

// The named family where it is installed, otherwise the desktop's own UI family; the
// size is a character height in pixels either way, so the layout holds.
QFont DesignFont(const QString& family, int pixel_height) {
  QFont font = QApplication::font();
  if (QFontDatabase::hasFamily(family)) font.setFamily(family);
  font.setPixelSize(pixel_height);
  return font;
}

void SetColours(QWidget* widget, QPalette::ColorRole text_role, const QColor& text,
                QPalette::ColorRole back_role, const QColor& back) {
  QPalette palette = widget->palette();
  palette.setColor(text_role, text);
  palette.setColor(back_role, back);
  widget->setPalette(palette);
}

// A 16 x 16 folder, drawn in the given colours (normal and disabled states).
QPixmap FolderGlyph(const QColor& outline, const QColor& fill, const QColor& tab) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setPen(outline);
  painter.setBrush(tab);
  painter.drawRect(1, 3, 6, 2);
  painter.setBrush(fill);
  painter.drawRect(1, 5, 13, 8);
  painter.setPen(fill.lighter(140));
  painter.drawLine(2, 6, 13, 6);
  return pixmap;
}

QIcon FolderIcon() {
  QIcon icon;
  icon.addPixmap(
      FolderGlyph(QColor(0x80, 0x60, 0x00), QColor(0xF0, 0xC8, 0x40), QColor(0xE0, 0xB0, 0x30)),
      QIcon::Normal);
  icon.addPixmap(
      FolderGlyph(QColor(0x80, 0x80, 0x80), QColor(0xD0, 0xD0, 0xD0), QColor(0xC0, 0xC0, 0xC0)),
      QIcon::Disabled);
  return icon;
}

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Distances of right-anchored controls from the right edge of the client area.
constexpr int kOkRightGap = Tzelkgrabstr::kClientWidth - (317 + 75);
constexpr int kCancelRightGap = Tzelkgrabstr::kClientWidth - (393 + 75);
constexpr int kLabel2RightGap = Tzelkgrabstr::kClientWidth - (11 + 302);
constexpr int kEditWidthMargin = 30;

}  // namespace

Tzelkgrabstr::Tzelkgrabstr(QWidget* main_window)
    : QDialog(main_window, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setFont(DesignFont(QStringLiteral("Arial"), 11));
  resize(kClientWidth, kClientHeight);
  setMinimumHeight(kClientHeight);
  setMaximumHeight(kClientHeight);
  setSizeGripEnabled(false);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
  Panel1->setLineWidth(1);
  Panel1->setGeometry(0, 0, kClientWidth, kClientHeight);

  xbtn = new QPushButton(Panel1);
  xbtn->setObjectName(QStringLiteral("xbtn"));
  xbtn->setGeometry(6, 60, 25, 25);
  xbtn->setToolTip(QStringLiteral("Navigate To Directory"));
  xbtn->setIcon(FolderIcon());
  xbtn->setIconSize(QSize(16, 16));
  xbtn->setAutoDefault(false);
  xbtn->hide();
  connect(xbtn, &QPushButton::clicked, this, [this] { xbtnClick(); });

  BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"),
                            Panel1);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  BitBtn1->setGeometry(317, 60, 75, 25);
  BitBtn1->setDefault(true);
  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

  BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                            QStringLiteral("Cancel"), Panel1);
  BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
  BitBtn2->setGeometry(393, 60, 75, 25);
  BitBtn2->setAutoDefault(false);
  connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

  Edit2 = new QLineEdit(Panel1);
  Edit2->setObjectName(QStringLiteral("Edit2"));
  Edit2->setGeometry(9, 29, 459, 22);
  Edit2->setEchoMode(QLineEdit::Password);
  Edit2->hide();

  Edit1 = new QComboBox(Panel1);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setGeometry(9, 28, 460, 23);
  Edit1->setEditable(true);
  // The history is kept by Query alone; Enter must not add entries of its own.
  Edit1->setInsertPolicy(QComboBox::NoInsert);
  Edit1->setMaxVisibleItems(20);
  // No inline completion: Qt's swallows the Enter that should press OK whenever the
  // offered text is selected, and its case-blind matching swaps a typed text for a
  // history entry that differs only in letter case when the edit loses focus.
  Edit1->setCompleter(nullptr);
  Edit1->setFont(DesignFont(QStringLiteral("Arial"), 12));
  SetColours(Edit1, QPalette::Text, kNavy, QPalette::Base, Qt::white);
  SetColours(Edit1->lineEdit(), QPalette::Text, kNavy, QPalette::Base, Qt::white);
  Edit1->view()->installEventFilter(this);

  Label1 = new QLabel(Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->move(11, 9);
  Label1->setFont(DesignFont(QStringLiteral("Georgia"), 12));
  Label1->setAutoFillBackground(true);
  SetColours(Label1, QPalette::WindowText, kMaroon, QPalette::Window, kAqua);

  Label2 = new QLabel(Panel1);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setGeometry(11, 58, 302, 30);
  Label2->setWordWrap(true);
  Label2->setFont(DesignFont(QStringLiteral("Tahoma"), 11));
  Label2->setAutoFillBackground(true);
  SetColours(Label2, QPalette::WindowText, kMaroon, QPalette::Window, kSilver);
  Label2->hide();

  QWidget::setTabOrder(xbtn, BitBtn1);
  QWidget::setTabOrder(BitBtn1, BitBtn2);
  QWidget::setTabOrder(BitBtn2, Edit2);
  QWidget::setTabOrder(Edit2, Edit1);
}

bool Tzelkgrabstr::Query(const std::string& caption, const std::string& prompt,
                         std::string& value) {
  if (isVisible()) {
    const std::optional<std::string> answer = CurrentDesktop().InputText(caption, prompt, value);
    if (!answer) return false;
    value = *answer;
    return true;
  }

  setWindowTitle(FromUtf8(caption));
  Label1->setText(FromUtf8(prompt));
  Label1->adjustSize();
  const QString offered = FromUtf8(value);
  AddToHistory(offered);
  // Inserting into the list can move the combo box's current item; the text shown is
  // the offered value regardless.
  Edit1->setEditText(offered);

  CentreOverMainWindow();
  if (exec() != QDialog::Accepted) return false;

  const QString entered = Edit1->currentText();
  value = ToUtf8(entered);
  AddToHistory(entered);
  return true;
}

QStringList Tzelkgrabstr::History() const {
  QStringList items;
  for (int i = 0; i < Edit1->count(); ++i) items.append(Edit1->itemText(i));
  return items;
}

void Tzelkgrabstr::AddToHistory(const QString& text) {
  if (text.isEmpty() || text.size() >= kHistoryTextLimit) return;
  for (int i = 0; i < Edit1->count(); ++i) {
    if (Edit1->itemText(i).compare(text, Qt::CaseInsensitive) == 0) return;
  }
  const QString shown = Edit1->currentText();
  Edit1->insertItem(0, text);
  Edit1->setEditText(shown);
}

void Tzelkgrabstr::CentreOverMainWindow() {
  QRect over;
  if (QWidget* owner = parentWidget()) {
    over = owner->window()->frameGeometry();
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    over = screen->availableGeometry();
  } else {
    return;
  }
  const QRect frame = frameGeometry();
  move(over.center() - QPoint(frame.width() / 2, frame.height() / 2));
}

std::string Tzelkgrabstr::FolderChooserStart(const std::string& edit_text) {
  std::error_code error;
  if (!edit_text.empty() && std::filesystem::is_directory(edit_text, error)) return edit_text;
  const std::filesystem::path current = std::filesystem::current_path(error);
  return error ? std::string() : current.string();
}

std::string Tzelkgrabstr::FolderChooserTitle(const std::string& application_title) {
  return application_title + "\nChoose a Directory :-";
}

void Tzelkgrabstr::FormShow() {
  if (Edit1->isVisibleTo(this)) {
    Edit1->setFocus(Qt::OtherFocusReason);
    Edit1->lineEdit()->selectAll();
  } else if (Edit2->isVisibleTo(this)) {
    Edit2->setFocus(Qt::OtherFocusReason);
    Edit2->selectAll();
  }
}

void Tzelkgrabstr::FormResize() {
  // Only the width may change: the height is pinned by the size limits, and held
  // here too should a window manager ignore them.
  if (height() != kClientHeight) resize(width(), kClientHeight);
  const int w = width();
  Panel1->setGeometry(0, 0, w, kClientHeight);
  Edit1->resize(w - kEditWidthMargin, Edit1->height());
  Edit2->resize(w - kEditWidthMargin, Edit2->height());
  BitBtn1->move(w - kOkRightGap - BitBtn1->width(), BitBtn1->y());
  BitBtn2->move(w - kCancelRightGap - BitBtn2->width(), BitBtn2->y());
  Label2->resize(std::max(0, w - kLabel2RightGap - Label2->x()), Label2->height());
}

void Tzelkgrabstr::FormClose() {
  xbtn->hide();
}

void Tzelkgrabstr::xbtnClick() {
  const std::string start = FolderChooserStart(QStringToPath(Edit1->currentText()));
  const std::optional<std::string> chosen =
      CurrentDesktop().ChooseFolder(FolderChooserTitle(ApplicationTitle()), start);
  if (chosen && !chosen->empty()) Edit1->setEditText(PathToQString(*chosen));
}

bool Tzelkgrabstr::Edit1KeyDown(QKeyEvent* event) {
  QAbstractItemView* list = Edit1->view();
  if (event->key() != Qt::Key_Delete || !list->isVisible()) return false;
  const QModelIndex highlighted = list->currentIndex();
  if (highlighted.isValid()) {
    // Removing the current item would otherwise replace the text being edited.
    const QString shown = Edit1->currentText();
    Edit1->removeItem(highlighted.row());
    Edit1->setEditText(shown);
  }
  return true;
}

void Tzelkgrabstr::done(int result) {
  FormClose();
  QDialog::done(result);
}

void Tzelkgrabstr::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void Tzelkgrabstr::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  FormResize();
}

bool Tzelkgrabstr::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Edit1->view() && event->type() == QEvent::KeyPress &&
      Edit1KeyDown(static_cast<QKeyEvent*>(event))) {
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

namespace {

QPointer<Tzelkgrabstr>& Instance() {
  static QPointer<Tzelkgrabstr> instance;
  return instance;
}

void DeleteUnownedInstance() {
  Tzelkgrabstr* dialog = Instance().data();
  if (dialog && !dialog->parent()) delete dialog;
}

}  // namespace

void CreatePromptDialog(QWidget* main_window) {
  delete Instance().data();
  Instance() = new Tzelkgrabstr(main_window);
  if (!main_window) qAddPostRoutine(DeleteUnownedInstance);
}

Tzelkgrabstr& zelkgrabstr() {
  if (!Instance()) CreatePromptDialog(nullptr);
  return *Instance();
}

}  // namespace zelk
